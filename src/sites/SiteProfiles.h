#pragma once

#include <QString>
#include <QStringList>

// The saved sites: one "<site name>.Profile" file per site in the program's
// "Profiles" folder, a private-profile file with the section "PROFILE" and
// the keys "sname", "adresa", "ID", "pass" and "port", and "tls" ("1" for
// FTP over TLS; files written before it existed have none and are plain FTP,
// and readers that do not know it pass it by).
struct SiteProfile {
    QString sName;      // "sname"
    QString sAddress;   // "adresa"
    QString sUserName;  // "ID", stored shifted
    QString sPassword;  // "pass", stored shifted; empty unless saved with the password
    QString sPort;      // "port", as typed (may be empty)
    bool bUseTls = false;  // "tls"
};

namespace SiteProfiles {

// GetAppFilePath("Profiles").
QString FolderPath();

// The profile file names ("Home.Profile", ...) in the folder: names matching
// "*.Profile" in any letter case, sorted ignoring case.
QStringList ListSites();

// Writes the keys of `profile` to "Profiles/<sName>.Profile", updating
// an existing file in place. The password is stored only when
// bStorePassword is true and it is not empty. Nothing is written when the
// name cannot be a file name in the folder or a field cannot be stored;
// returns an empty string on success, else the reason in words for a
// message box.
QString Save(const SiteProfile& profile, bool bStorePassword);

// Reads the profile file named by a list entry ("Home.Profile"): missing
// files and keys read as empty; values cut to 49 characters (74 for the
// address); user name and password unshifted.
SiteProfile Read(const QString& sEntry);

// Removes the profile file named by a list entry. True when it was removed.
bool Delete(const QString& sEntry);

// The reversible +10 shift of user names and passwords, per Windows-1252
// character code. Encode returns false (and leaves sOut unspecified) when a
// character has no code, or a code above 245, that could be shifted.
bool EncodeProfileString(const QString& sText, QString& sOut);
QString DecodeProfileString(const QString& sText);

}  // namespace SiteProfiles
