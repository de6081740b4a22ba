#pragma once

#include <QIcon>
#include <QList>
#include <QString>

// The picture of a file in both panes, an index into their image lists
// (1 to 10 file kinds; folders use 11 and never come here). The extension is
// the text after the last "." (the whole name when there is none), compared
// in lower case; unknown extensions give 10.
int GetFileIconIndex(const QString& sFileName);

inline constexpr int kPlainFileIcon = 3;   // text, and files whose kind has no picture of its own
inline constexpr int kOtherFileIcon = 10;  // links and unknown extensions
inline constexpr int kFolderIcon = 11;

class QStyle;

// The panes' pictures by index, 1 to 11: the file kinds of the table, 10 a
// link or other file, 11 a folder.
QList<QIcon> StandardFileIcons(const QStyle* style);
