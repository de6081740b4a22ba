#pragma once

#include <optional>

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QPair>
#include <QString>

// Private-profile ("INI") files, read and written the way the Windows calls
// GetPrivateProfileStringA and WritePrivateProfileStringA treat them, so that
// files written by either side read back the same on the other:
// - section and key names compare ignoring letter case;
// - an existing key is rewritten in place, a new key goes after the last
//   line of its section, a new section at the end of the file;
// - every other line (comments, blank lines, other sections and keys) keeps
//   its bytes; lines end in LF or CRLF when read, new lines end in CRLF;
// - text is Windows-1252 on disk;
// - values read back without surrounding blanks and without one pair of
//   surrounding quotes (double or single).
namespace PrivateProfile {

// Windows-1252: the code of a character (-1 when it has none), the character
// of a code, and whole texts. Codes that Windows-1252 leaves unassigned map
// to the control characters of the same number, as Windows maps them.
int AnsiCode(QChar c);
QChar FromAnsiCode(uchar code);
QString FromAnsi(const QByteArray& bytes);
bool ToAnsi(const QString& sText, QByteArray& bytes);

// True when sText can be written as a name or value: every character has a
// Windows-1252 code, and there is no line break or NUL.
bool CanStore(const QString& sText);

// The value of sKey in sSection of sFile, else sDefault; cut to nSize - 1
// characters, as a buffer of nSize characters with its ending NUL would be.
// A missing or unreadable file reads as empty.
QString GetString(const QString& sSection, const QString& sKey, const QString& sDefault, int nSize,
                  const QString& sFile);

// Sets the keys of sSection in sFile in the order given, as one atomic
// replacement of the file, which is left readable by its owner alone. False
// (and the file untouched) when a name or value cannot be stored, the file
// cannot be read, or the new file cannot be written.
using Entries = QList<QPair<QString, QString>>;
// The two above on a file's bytes: what GetString would read from data,
// and the bytes WriteStrings would write over data (nothing when a name or
// value cannot be stored).
QString GetStringIn(const QByteArray& data, const QString& sSection, const QString& sKey, const QString& sDefault, int nSize);
std::optional<QByteArray> WithStrings(const QByteArray& data, const QString& sSection, const Entries& entries);
bool WriteStrings(const QString& sSection, const Entries& entries, const QString& sFile);
bool WriteString(const QString& sSection, const QString& sKey, const QString& sValue, const QString& sFile);

}  // namespace PrivateProfile
