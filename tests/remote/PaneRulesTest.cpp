// The rules of the two file panes, table by table: which drops a pane takes,
// how dropped files and typed paths are read, what a row shows, and the
// remote operations' name rules.
#include "local/LocalPane.h"
#include "remote/RemoteCommands.h"
#include "remote/RemotePane.h"
#include "ui/FilePane.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
using Drop = FilePane::DropKind;
const QStringList kFile{QStringLiteral("/home/u/a.txt")};
}  // namespace

TEST(PaneRules, WhichDropsAPaneTakes)
{
    const struct {
        bool bRows, bOwnRows;
        QStringList files;
        bool bAcceptFiles;
        Drop kind;
    } rows[] = {
        {true, false, {}, false, Drop::Rows},     // the other pane's rows
        {true, true, {}, true, Drop::Refused},    // its own rows
        {false, false, kFile, true, Drop::Files},
        {false, false, kFile, false, Drop::Refused},  // the local pane takes no files from elsewhere
        {false, false, {}, true, Drop::Refused},      // text, or URLs that are no local files
    };
    for (const auto& row : rows)
        EXPECT_EQ(FilePane::ClassifyDrop(row.bRows, row.bOwnRows, row.files, row.bAcceptFiles), row.kind)
            << row.bRows << row.bOwnRows << row.files.size() << row.bAcceptFiles;
    EXPECT_EQ(FilePane::LocalFiles({QUrl::fromLocalFile(kFile[0])}), kFile);
    EXPECT_TRUE(FilePane::LocalFiles({QUrl::fromLocalFile(kFile[0]), QUrl(QStringLiteral("https://x/b"))}).isEmpty());
}

TEST(PaneRules, DroppedFilesGoByFolderInTheOrderDropped)
{
    const QList<LocalPane::DroppedFolder> folders = LocalPane::GroupByFolder(
        {"/a/x.txt", "/b/y.txt", "/a/sub/", "/a/x.txt", "/", "/a/../b/z"});
    ASSERT_EQ(folders.size(), 2);
    EXPECT_EQ(folders[0].sFolder, QStringLiteral("/a/"));
    EXPECT_EQ(folders[0].names, QStringList({"x.txt", "sub"}));
    EXPECT_EQ(folders[1].sFolder, QStringLiteral("/b/"));
    EXPECT_EQ(folders[1].names, QStringList({"y.txt", "z"}));

    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("f")));
    const QList<FilePaneRow> found = LocalPane::RowsOf(dir.path() + QLatin1Char('/'), {"f", "gone.txt"});
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].smallIcon, LocalPane::kFolderIcon);
}

TEST(PaneRules, TypedFolders)
{
    const QString home = QDir::homePath();
    const struct {
        const char* current;
        const char* typed;
        QString folder;
    } rows[] = {
        {"/srv/", "/tmp", QStringLiteral("/tmp/")},
        {"/srv/", " /tmp/x/../y/ ", QStringLiteral("/tmp/y/")},
        {"/srv/", "data", QStringLiteral("/srv/data/")},
        {"/srv/a/", "..", QStringLiteral("/srv/")},
        {"/srv/", "~/docs", home + QStringLiteral("/docs/")},
        {"/srv/", "/", QStringLiteral("/")},
        {"/srv/", "  ", QString()},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LocalPane::TypedFolder(QLatin1String(row.current), QLatin1String(row.typed)), row.folder) << row.typed;
}

TEST(PaneRules, RowsShowTheirKind)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QDateTime when(QDate(2003, 12, 31), QTime(13, 2));
    const struct {
        const char* name;
        int nAttrib;
        int icon;
        const char* size;
        const char* kind;
    } local[] = {
        {"notes.zzz", 0, LocalPane::kOtherFileIcon, "5000000000", "F"},  // no picture of its own: 3
        {"prog.exe", 0, 9, "5000000000", "F"},
        {"pic.gif", 0, 4, "5000000000", "F"},
        {"folder.gif", LocalAttrib::Directory, LocalPane::kFolderIcon, "", "D"},
        {"dead.zzz", LocalAttrib::Unreadable, 10, "5000000000", "F"},  // unreadable: keeps the table's index
    };
    for (const auto& row : local) {
        const FilePaneRow made = LocalPane::MakeRow({QLatin1String(row.name), when, 5000000000LL, row.nAttrib});
        EXPECT_EQ(made.smallIcon, row.icon) << row.name;
        EXPECT_EQ(made.subItems, QStringList({row.size, "12/31/03 1:02 PM", row.kind})) << row.name;
    }
    const struct {
        const char* name;
        int nKind;
        int icon;
        const char* kind;
    } remote[] = {
        {"notes.txt", 0, 3, "F"}, {"setup.exe", 0, 9, "F"}, {"archive.weird", 0, 3, "F"},
        {"sub", 1, RemotePane::kFolderIcon, "D"}, {"tosub", 2, RemotePane::kLinkIcon, "E"}, {"pic.gif", 2, 4, "E"},
    };
    for (const auto& row : remote) {
        FilePaneRow made;
        ASSERT_TRUE(RemotePane::MakeRow(QLatin1String(row.name), when, 5, row.nKind, made));
        EXPECT_EQ(made.smallIcon, row.icon) << row.name;
        EXPECT_EQ(made.subItems.value(2), QLatin1String(row.kind)) << row.name;
    }
    FilePaneRow none;
    EXPECT_FALSE(RemotePane::MakeRow(QStringLiteral("x"), when, 1, 3, none));
}

TEST(PaneRules, RemoteNameRules)
{
    const struct {
        const char* name;
        const char* extension;
    } extensions[] = {{"a.txt", "txt"}, {"a.b.TXT", "TXT"}, {"noext", "noext"}, {"dot.", ""}, {".profile", "profile"}};
    for (const auto& row : extensions)
        EXPECT_EQ(RemoteOperations::Extension(QLatin1String(row.name)), QLatin1String(row.extension)) << row.name;
    EXPECT_EQ(RemoteOperations::MoveTarget(QStringLiteral("sub"), QStringLiteral("a")), QStringLiteral("sub/a"));
    EXPECT_EQ(RemoteOperations::MoveTarget(QStringLiteral("/sub/"), QStringLiteral("a")), QStringLiteral("/sub/a"));
}
