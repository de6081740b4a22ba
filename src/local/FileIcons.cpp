#include "local/FileIcons.h"

#include <QLatin1String>

namespace {

struct IconRow {
    int nIndex;
    const char* extensions[8];  // unused places stay null
};

// Searched top to bottom; "vaw" (not "wav") is what the panes have always used.
constexpr IconRow kIconRows[] = {
    {8, {"avi", "mpg", "mpeg", "mov"}},
    {4, {"gif"}},
    {1, {"jpg", "jpeg", "jpe", "bmp", "tiff", "tif"}},
    {2, {"htm", "html", "xml", "asp", "shtml", "shtm"}},
    {5, {"js", "css", "cgi", "pl"}},
    {6, {"mp3", "ram", "au", "vaw"}},
    {7, {"zip", "arj"}},
    {9, {"exe", "com", "bat"}},
    {3, {"txt", "log", "doc", "rtf", "ftp", "ini", "dat", "xls"}},
};
constexpr int kOtherIndex = 10;

}  // namespace

int GetFileIconIndex(const QString& sFileName)
{
    // lastIndexOf gives -1 without a dot, so the whole name is the extension.
    const QString sExtension = sFileName.mid(sFileName.lastIndexOf(QLatin1Char('.')) + 1).toLower();
    for (const IconRow& row : kIconRows)
        for (const char* extension : row.extensions)
            if (extension && sExtension == QLatin1String(extension)) return row.nIndex;
    return kOtherIndex;
}
