#pragma once

#include "settings/RegistryBackend.h"

#include <QList>
#include <QString>

#include <functional>

// The registry emulated in plain text files, one per root, in one folder that
// only the user can read (it holds the firewall password).
//
// Every change re-reads the file under a lock file, applies itself and writes
// the whole file to a temporary file that is synced and renamed over the old
// one, so two processes never lose each other's values and a crash or a full
// disk leaves the previous content in place. A file that cannot be parsed
// reads as empty; the next change moves it aside as a backup instead of
// overwriting it.
//
// File format (UTF-8, one item a line):
//   [Software\Kelvo\Settings]     a key; each path component percent-encoded
//   FTP%20PASV=1                  a value: encoded name '=' encoded data
//   @=text                        the key's default value
class FileRegistryBackend final : public RegistryBackend {
public:
    explicit FileRegistryBackend(QString folder);

    // $KELVO_REGISTRY_DIR when set, else "kelvo/registry" in the user's
    // configuration folder.
    static QString DefaultFolder();

    QString folder() const { return m_sFolder; }
    QString fileForRoot(quint32 root) const;  // empty for an unknown root

    RegistryStatus readValue(quint32 root, const QString& keyPath, const QString& valueName,
                             QString& value) override;
    RegistryStatus writeValue(quint32 root, const QString& keyPath, const QString& valueName,
                              const QString& value) override;
    RegistryStatus deleteValue(quint32 root, const QString& keyPath, const QString& valueName) override;
    RegistryStatus deleteKey(quint32 root, const QString& keyPath) override;

    // Exposed for tests of the file format.
    struct Value {
        QString name;
        QString data;
    };
    struct Key {
        QString path;  // components joined by '\', letter case as first written
        QList<Value> values;
    };
    using Store = QList<Key>;
    static QByteArray Serialize(const Store& store);
    static bool Parse(const QByteArray& text, Store& store);  // false: corrupt

private:
    enum class LoadResult { Ok, Missing, Corrupt, Unreadable };
    LoadResult load(const QString& file, Store& store) const;
    RegistryStatus change(quint32 root, const std::function<RegistryStatus(Store&)>& apply);

    QString m_sFolder;
};
