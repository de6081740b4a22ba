#include "sites/SiteProfiles.h"

#include "settings/AppPaths.h"
#include "sites/PrivateProfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace SiteProfiles {

namespace {

const QString kSection = QStringLiteral("PROFILE");
const QString kExtension = QStringLiteral(".Profile");
constexpr int kShift = 10;
constexpr int kValueBuffer = 50;
constexpr int kAddressBuffer = 75;
constexpr qsizetype kLongestFileName = 255;  // bytes, as most file systems allow

QString EntryPath(const QString& sEntry) { return GetAppFilePath(QStringLiteral("Profiles/") + sEntry); }

bool HasControl(const QString& sText)
{
    return std::any_of(sText.cbegin(), sText.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// Why sName cannot name a file in the profiles folder; empty when it can.
// A name of blanks only is a valid file name and stays allowed.
QString NameProblem(const QString& sName)
{
    if (sName.contains(u'/') || sName.contains(u'\\'))
        return QStringLiteral("The site name \"%1\" cannot be saved: a site name cannot hold \"/\" or \"\\\".")
            .arg(sName);
    if (HasControl(sName))
        return QStringLiteral("The site name cannot be saved: it holds a control character (such as a tab).");
    if (sName == QLatin1String(".") || sName == QLatin1String(".."))
        return QStringLiteral("The site name \"%1\" cannot be saved: it is not a usable file name.").arg(sName);
    const QString fileName = sName + kExtension;
    if (QFile::encodeName(fileName).size() > kLongestFileName)
        return QStringLiteral("The site name cannot be saved: it is too long for a file name.");
    const QFileInfo info(QDir(FolderPath()).filePath(fileName));
    if (info.fileName() != fileName || QDir::cleanPath(info.absolutePath()) != QDir::cleanPath(FolderPath()))
        return QStringLiteral("The site name \"%1\" cannot be saved: it is not a usable file name.").arg(sName);
    return QString();
}

QString FieldProblem(const QString& sField)
{
    return QStringLiteral("The %1 holds a character that cannot be stored in a site profile.").arg(sField);
}

// Folder and entry names from the list: one file inside the folder.
bool IsEntryName(const QString& sEntry)
{
    return !sEntry.isEmpty() && !sEntry.contains(u'/') && !sEntry.contains(u'\\')
           && sEntry != QLatin1String(".") && sEntry != QLatin1String("..");
}

}  // namespace

QString FolderPath() { return GetAppFilePath(QStringLiteral("Profiles")); }

QStringList ListSites()
{
    // Without QDir::CaseSensitive the pattern ignores letter case. Windows
    // knows no hidden dot-files, so ".Profile" (the empty site name) counts.
    QStringList names = QDir(FolderPath()).entryList({QLatin1Char('*') + kExtension},
                                                     QDir::Files | QDir::Hidden, QDir::Unsorted);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return names;
}

QString Save(const SiteProfile& profile, bool bStorePassword)
{
    const QString nameProblem = NameProblem(profile.sName);
    if (!nameProblem.isEmpty()) return nameProblem;

    // Shifted control characters would become line breaks, or blanks that
    // reading trims away.
    QString sUser;
    if (HasControl(profile.sUserName) || !EncodeProfileString(profile.sUserName, sUser))
        return FieldProblem(QStringLiteral("user name"));
    QString sPass;
    if (bStorePassword && !profile.sPassword.isEmpty()
        && (HasControl(profile.sPassword) || !EncodeProfileString(profile.sPassword, sPass)))
        return FieldProblem(QStringLiteral("password"));

    const QString sTls = profile.bUseTls ? QStringLiteral("1") : QStringLiteral("0");
    const struct {
        const char* key;
        const QString& value;
        const char* field;
    } fields[] = {
        {"sname", profile.sName, "site name"}, {"adresa", profile.sAddress, "address"},
        {"ID", sUser, "user name"},            {"pass", sPass, "password"},
        {"port", profile.sPort, "port"},           {"tls", sTls, "TLS choice"},
    };
    PrivateProfile::Entries entries;
    for (const auto& field : fields) {
        if (!PrivateProfile::CanStore(field.value)) return FieldProblem(QLatin1String(field.field));
        entries.append({QLatin1String(field.key), field.value});
    }

    const QString folder = FolderPath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        return QStringLiteral("The folder \"%1\" for the site profiles could not be created.")
            .arg(QDir::toNativeSeparators(folder));
    // The profiles hold passwords: their folder is the user's alone.
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString file = EntryPath(profile.sName + kExtension);
    if (!PrivateProfile::WriteStrings(kSection, entries, file))
        return QStringLiteral("The site profile \"%1\" could not be written.").arg(QDir::toNativeSeparators(file));
    return QString();
}

SiteProfile Read(const QString& sEntry)
{
    SiteProfile profile;
    if (!IsEntryName(sEntry)) return profile;
    const QString file = EntryPath(sEntry);
    auto get = [&](const char* key, int nSize) {
        return PrivateProfile::GetString(kSection, QLatin1String(key), QString(), nSize, file);
    };
    profile.sName = get("sname", kValueBuffer);
    profile.sAddress = get("adresa", kAddressBuffer);
    profile.sUserName = DecodeProfileString(get("ID", kValueBuffer));
    profile.sPassword = DecodeProfileString(get("pass", kValueBuffer));
    profile.sPort = get("port", kValueBuffer);
    profile.bUseTls = get("tls", kValueBuffer).trimmed() == QLatin1String("1");
    return profile;
}

bool Delete(const QString& sEntry)
{
    if (!IsEntryName(sEntry)) return false;
    const QString file = EntryPath(sEntry);
    return QFileInfo(file).isFile() && QFile::remove(file);
}

bool EncodeProfileString(const QString& sText, QString& sOut)
{
    sOut.clear();
    sOut.reserve(sText.size());
    for (QChar c : sText) {
        const int code = PrivateProfile::AnsiCode(c);
        if (code < 0 || code > 255 - kShift) return false;
        sOut += PrivateProfile::FromAnsiCode(static_cast<uchar>(code + kShift));
    }
    return true;
}

QString DecodeProfileString(const QString& sText)
{
    // A character that cannot go down by 10 stays as it is.
    const QString text = sText.left(sText.indexOf(QChar(u'\0')));
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const int code = PrivateProfile::AnsiCode(c);
        out += code < kShift ? c : PrivateProfile::FromAnsiCode(static_cast<uchar>(code - kShift));
    }
    return out;
}

}  // namespace SiteProfiles
