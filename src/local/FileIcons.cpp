#include "local/FileIcons.h"

#include <QIcon>
#include <QLatin1String>
#include <QList>
#include <QStyle>

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

}  // namespace

int GetFileIconIndex(const QString& sFileName)
{
    // lastIndexOf gives -1 without a dot, so the whole name is the extension.
    const QString sExtension = sFileName.mid(sFileName.lastIndexOf(QLatin1Char('.')) + 1).toLower();
    for (const IconRow& row : kIconRows)
        for (const char* extension : row.extensions)
            if (extension && sExtension == QLatin1String(extension)) return row.nIndex;
    return kOtherFileIcon;
}

QList<QIcon> StandardFileIcons(const QStyle* style)
{
    // One picture per kind; the theme's own where it has one.
    const std::pair<const char*, QStyle::StandardPixmap> kinds[] = {
        {"image-x-generic", QStyle::SP_FileIcon},        // 1 pictures
        {"text-html", QStyle::SP_FileIcon},              // 2 web pages
        {"text-x-generic", QStyle::SP_FileIcon},         // 3 text and other files
        {"image-x-generic", QStyle::SP_FileIcon},        // 4 gif
        {"text-x-script", QStyle::SP_FileIcon},          // 5 scripts
        {"audio-x-generic", QStyle::SP_MediaVolume},     // 6 sound
        {"package-x-generic", QStyle::SP_FileIcon},      // 7 archives
        {"video-x-generic", QStyle::SP_MediaPlay},       // 8 video
        {"application-x-executable", QStyle::SP_ComputerIcon},  // 9 programs
        {"emblem-symbolic-link", QStyle::SP_FileLinkIcon},      // 10 links and the rest
        {"folder", QStyle::SP_DirIcon},                  // 11 folders
    };
    QList<QIcon> icons;
    for (const auto& [name, fallback] : kinds) icons << QIcon::fromTheme(QLatin1String(name), style->standardIcon(fallback));
    return icons;
}
