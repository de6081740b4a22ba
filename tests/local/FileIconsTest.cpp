#include "local/FileIcons.h"

#include <QStringList>

#include <gtest/gtest.h>

// The icon of a file goes by the text after its last dot, in any letter case.
TEST(FileIcons, EveryExtensionOfTheTableInAnyCaseAndTenForTheRest)
{
    const std::pair<int, QStringList> rows[] = {
        {8, {"avi", "mpg", "mpeg", "mov"}},  {4, {"gif"}}, {1, {"jpg", "jpeg", "jpe", "bmp", "tiff", "tif"}},
        {2, {"htm", "html", "xml", "asp", "shtml", "shtm"}}, {5, {"js", "css", "cgi", "pl"}}, {6, {"mp3", "ram", "au", "vaw"}},
        {7, {"zip", "arj"}}, {9, {"exe", "com", "bat"}}, {3, {"txt", "log", "doc", "rtf", "ftp", "ini", "dat", "xls"}},
    };
    for (const auto& [nIndex, extensions] : rows) {
        for (const QString& ext : extensions) {
            const QString mixed = ext.left(1).toUpper() + ext.mid(1);
            for (const QString& name : {"file." + ext, "FILE." + ext.toUpper(), "a.b." + mixed, ext})
                EXPECT_EQ(GetFileIconIndex(name), nIndex) << name.toStdString();
        }
    }
    for (const auto& [name, nIndex] : {std::pair{"archive.tar.ZIP", 7}, {".gif", 4} /* a hidden Unix file */, {"page.html.txt", 3},
                                       {"README", 10}, {"archive.tar.gz", 10}, {"sound.wav", 10}, {"ends.with.dot.", 10},
                                       {"", 10}, {".", 10}, {"zip.", 10}, {"photo.gifs", 10}, {"photo.gi", 10},
                                       {"notes.txt.bak", 10}, {"x.mp4", 10}, {"run.sh", 10}})
        EXPECT_EQ(GetFileIconIndex(name), nIndex) << name;
}
