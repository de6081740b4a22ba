#pragma once

#include <QString>

#include <optional>

// How names a server lists become local paths, and the masks of folder
// transfers. Every place that makes a local file name from a server's name
// goes through LocalPath, so that no listing can make us write outside the
// folder the user chose.
namespace NameRules {

// A name from a listing that may become a local file name: not empty, not
// "." or "..", no separators or NUL (and no drive or device names on
// Windows).
bool IsSafeName(const QString& sName);

// sFolder + "/" + sName when sName is safe and the result stays inside
// sFolder; nothing otherwise.
std::optional<QString> LocalPath(const QString& sFolder, const QString& sName);

// Wildcard match with * and ?, case-sensitive as FTP names are.
bool MatchesMask(const QString& sName, const QString& sMask);

// Splits "folder/*.txt" (or with "\") into folder and pattern ("*" when none
// is given).
void SplitMask(const QString& sMask, QString& sFolder, QString& sPattern);

}  // namespace NameRules
