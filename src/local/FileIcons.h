#pragma once

#include <QString>

// The picture of a file in both panes, an index into their image lists
// (1 to 10 file kinds; folders use 11 and never come here). The extension is
// the text after the last "." (the whole name when there is none), compared
// in lower case; unknown extensions give 10.
int GetFileIconIndex(const QString& sFileName);
