#include "settings/FileRegistryBackend.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringList>

namespace {

constexpr QFileDevice::Permissions kOwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr int kLockTimeoutMs = 5000;

// Characters that would break the line format, plus '%' itself.
bool NeedsEscape(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || c == '%' || c == '=' || c == '[' || c == ']' || c == '\\' || c == '@'
           || c == ';';
}

QByteArray Encode(const QString& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        if (NeedsEscape(c)) {
            const auto u = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Decode(const QByteArray& encoded, QString& text)
{
    QByteArray utf8;
    utf8.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c != '%') {
            if (NeedsEscape(c)) return false;  // a raw character that should have been escaped
            utf8 += c;
            continue;
        }
        if (i + 2 >= encoded.size()) return false;
        const int hi = HexDigit(encoded[i + 1]);
        const int lo = HexDigit(encoded[i + 2]);
        if (hi < 0 || lo < 0) return false;
        utf8 += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    // Stateless: a sequence cut off at the end is an error, not something
    // the decoder waits for more bytes to finish (it would give nothing).
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder(utf8);
    return !decoder.hasError();
}

bool SamePath(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool IsBelow(const QString& path, const QString& ancestor)
{
    return path.size() > ancestor.size() && path.at(ancestor.size()) == QLatin1Char('\\')
           && path.startsWith(ancestor, Qt::CaseInsensitive);
}

// A key path is usable when it has at least one component and no empty ones
// (the registry refuses a leading, trailing or doubled backslash).
bool ValidKeyPath(const QString& path)
{
    if (path.isEmpty()) return false;
    const QStringList parts = path.split(QLatin1Char('\\'));
    for (const QString& part : parts)
        if (part.isEmpty()) return false;
    return true;
}

using Store = FileRegistryBackend::Store;
using Key = FileRegistryBackend::Key;
using Value = FileRegistryBackend::Value;

Key* FindKey(Store& store, const QString& path)
{
    for (Key& key : store)
        if (SamePath(key.path, path)) return &key;
    return nullptr;
}

bool KeyExists(const Store& store, const QString& path)
{
    for (const Key& key : store)
        if (SamePath(key.path, path) || IsBelow(key.path, path)) return true;
    return false;
}

Value* FindValue(Key& key, const QString& name)
{
    for (Value& value : key.values)
        if (value.name.compare(name, Qt::CaseInsensitive) == 0) return &value;
    return nullptr;
}

}  // namespace

FileRegistryBackend::FileRegistryBackend(QString folder) : m_sFolder(std::move(folder)) {}

QString FileRegistryBackend::DefaultFolder()
{
    const QString redirected = qEnvironmentVariable("KELVO_REGISTRY_DIR");
    if (!redirected.isEmpty()) return redirected;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/kelvo/registry");
}

QString FileRegistryBackend::fileForRoot(quint32 root) const
{
    switch (root) {
    case kHKEY_LOCAL_MACHINE: return m_sFolder + QStringLiteral("/HKEY_LOCAL_MACHINE.reg");
    case kHKEY_CURRENT_USER: return m_sFolder + QStringLiteral("/HKEY_CURRENT_USER.reg");
    default: return {};
    }
}

QByteArray FileRegistryBackend::Serialize(const Store& store)
{
    QByteArray out = "; Kelvo settings store\n";
    for (const Key& key : store) {
        QByteArray path;
        const QStringList parts = key.path.split(QLatin1Char('\\'));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i) path += '\\';
            path += Encode(parts[i]);
        }
        out += '[' + path + "]\n";
        for (const Value& value : key.values) {
            out += value.name.isEmpty() ? QByteArray("@") : Encode(value.name);
            out += '=' + Encode(value.data) + '\n';
        }
    }
    return out;
}

bool FileRegistryBackend::Parse(const QByteArray& text, Store& store)
{
    store.clear();
    const QList<QByteArray> lines = text.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty() || line.startsWith(';')) continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']') || line.size() < 3) return false;
            QStringList parts;
            for (const QByteArray& encoded : line.mid(1, line.size() - 2).split('\\')) {
                QString part;
                // A component holds no '\\': the path could not be split
                // back into the same components when it is written out.
                if (!Decode(encoded, part) || part.isEmpty() || part.contains(QLatin1Char('\\'))) return false;
                parts << part;
            }
            const QString path = parts.join(QLatin1Char('\\'));
            if (FindKey(store, path)) return false;  // duplicate key
            store.append(Key{path, {}});
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0 || store.isEmpty()) return false;
        const QByteArray rawName = line.left(eq);
        Value value;
        if (rawName != "@" && (!Decode(rawName, value.name) || value.name.isEmpty())) return false;
        if (!Decode(line.mid(eq + 1), value.data)) return false;
        if (FindValue(store.last(), value.name)) return false;  // duplicate value
        store.last().values.append(value);
    }
    return true;
}

FileRegistryBackend::LoadResult FileRegistryBackend::load(const QString& file, Store& store) const
{
    store.clear();
    QFile in(file);
    if (!in.exists()) return LoadResult::Missing;
    if (!in.open(QIODevice::ReadOnly)) return LoadResult::Unreadable;
    const QByteArray text = in.readAll();
    if (in.error() != QFileDevice::NoError) return LoadResult::Unreadable;
    if (!Parse(text, store)) {
        store.clear();
        return LoadResult::Corrupt;
    }
    return LoadResult::Ok;
}

RegistryStatus FileRegistryBackend::change(quint32 root, const std::function<RegistryStatus(Store&)>& apply)
{
    const QString file = fileForRoot(root);
    if (file.isEmpty()) return RegistryStatus::Failed;

    if (!QFileInfo(m_sFolder).isDir()) {
        // Another process may create the folder at the same moment; that
        // is as good as creating it here.
        QDir().mkpath(QFileInfo(m_sFolder).absolutePath());
        if (!QDir().mkdir(m_sFolder, kOwnerOnlyFolder) && !QFileInfo(m_sFolder).isDir())
            return RegistryStatus::Failed;
    }

    QLockFile lock(m_sFolder + QStringLiteral("/store.lock"));
    if (!lock.tryLock(kLockTimeoutMs)) {
        return lock.error() == QLockFile::PermissionError ? RegistryStatus::AccessDenied : RegistryStatus::Failed;
    }

    Store store;
    switch (load(file, store)) {
    case LoadResult::Ok:
    case LoadResult::Missing: break;
    case LoadResult::Unreadable: return RegistryStatus::AccessDenied;
    case LoadResult::Corrupt: {
        // Keep what we could not read; a person may still recover it.
        const QString backup =
            file + QStringLiteral(".corrupt-")
            + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        if (!QFile::rename(file, backup)) return RegistryStatus::Failed;
        break;
    }
    }

    const RegistryStatus status = apply(store);
    if (status != RegistryStatus::Ok) return status;

    // Unbuffered, so that a short write (a full disk, a size limit) shows in
    // write()'s result: a buffered QSaveFile only meets it while committing,
    // and then renames the truncated file into place all the same.
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return RegistryStatus::AccessDenied;
    out.setPermissions(kOwnerOnlyFile);
    const QByteArray text = Serialize(store);
    if (out.write(text) != text.size() || out.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return RegistryStatus::Failed;
    }
    return out.commit() ? RegistryStatus::Ok : RegistryStatus::Failed;
}

RegistryStatus FileRegistryBackend::readValue(quint32 root, const QString& keyPath, const QString& valueName,
                                              QString& value)
{
    const QString file = fileForRoot(root);
    if (file.isEmpty() || !ValidKeyPath(keyPath)) return RegistryStatus::Failed;
    Store store;
    switch (load(file, store)) {
    case LoadResult::Ok: break;
    case LoadResult::Missing:
    case LoadResult::Corrupt: return RegistryStatus::NotFound;
    case LoadResult::Unreadable: return RegistryStatus::AccessDenied;
    }
    Key* key = FindKey(store, keyPath);
    if (!key) return RegistryStatus::NotFound;
    const Value* found = FindValue(*key, valueName);
    if (!found) return RegistryStatus::NotFound;
    value = found->data;
    return RegistryStatus::Ok;
}

RegistryStatus FileRegistryBackend::writeValue(quint32 root, const QString& keyPath, const QString& valueName,
                                               const QString& value)
{
    if (!ValidKeyPath(keyPath)) return RegistryStatus::Failed;
    return change(root, [&](Store& store) {
        Key* key = FindKey(store, keyPath);
        if (!key) {
            store.append(Key{keyPath, {}});
            key = &store.last();
        }
        if (Value* existing = FindValue(*key, valueName))
            existing->data = value;
        else
            key->values.append(Value{valueName, value});
        return RegistryStatus::Ok;
    });
}

RegistryStatus FileRegistryBackend::deleteValue(quint32 root, const QString& keyPath, const QString& valueName)
{
    if (!ValidKeyPath(keyPath)) return RegistryStatus::Failed;
    return change(root, [&](Store& store) {
        Key* key = FindKey(store, keyPath);
        if (!key) return RegistryStatus::NotFound;
        for (qsizetype i = 0; i < key->values.size(); ++i) {
            if (key->values[i].name.compare(valueName, Qt::CaseInsensitive) == 0) {
                key->values.removeAt(i);
                return RegistryStatus::Ok;
            }
        }
        return RegistryStatus::NotFound;
    });
}

RegistryStatus FileRegistryBackend::deleteKey(quint32 root, const QString& keyPath)
{
    if (!ValidKeyPath(keyPath)) return RegistryStatus::Failed;
    return change(root, [&](Store& store) {
        if (!KeyExists(store, keyPath)) return RegistryStatus::NotFound;
        store.removeIf([&](const Key& key) { return SamePath(key.path, keyPath) || IsBelow(key.path, keyPath); });
        return RegistryStatus::Ok;
    });
}
