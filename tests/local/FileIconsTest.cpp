#include "local/FileIcons.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

TEST(FileIcons, EveryExtensionOfTheTableInAnyCase)
{
    const struct {
        int nIndex;
        QStringList extensions;
    } rows[] = {
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
    for (const auto& row : rows) {
        for (const QString& ext : row.extensions) {
            QString mixed = ext;
            mixed[0] = mixed[0].toUpper();
            for (const QString& name : {QStringLiteral("file.") + ext, QStringLiteral("FILE.") + ext.toUpper(),
                                        QStringLiteral("a.b.") + mixed, ext})
                EXPECT_EQ(GetFileIconIndex(name), row.nIndex) << name.toStdString();
        }
    }
}

TEST(FileIcons, OtherNamesGetTen)
{
    for (const char* name : {"README", "archive.tar.gz", "sound.wav", "ends.with.dot.", "", ".", "zip.", "photo.gifs",
                             "photo.gi", "notes.txt.bak", "x.mp4", "run.sh"})
        EXPECT_EQ(GetFileIconIndex(QString::fromLatin1(name)), 10) << name;
}

TEST(FileIcons, OnlyTheTextAfterTheLastDotCounts)
{
    EXPECT_EQ(GetFileIconIndex(QStringLiteral("archive.tar.ZIP")), 7);
    EXPECT_EQ(GetFileIconIndex(QStringLiteral("zip")), 7);
    EXPECT_EQ(GetFileIconIndex(QStringLiteral(".gif")), 4);  // a hidden Unix file: the extension is gif
    EXPECT_EQ(GetFileIconIndex(QStringLiteral("page.html.txt")), 3);
}
