// The rules of the two file panes, table by table: which drops a pane takes,
// how dropped files and typed paths are read, what a row shows, and the
// remote operations' name rules.
#include "local/FileIcons.h"
#include "local/LocalPane.h"
#include "remote/RemoteCommands.h"
#include "remote/RemotePane.h"
#include "remote/TransferEngines.h"
#include "ui/FilePane.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>

#include <optional>
#include <tuple>

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
    EXPECT_EQ(found[0].entry.kind, ListingEntry::Folder);
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

TEST(PaneRules, RowsCarryTheirKindAndEntry)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QDateTime when(QDate(2003, 12, 31), QTime(13, 2));
    // The picture: a folder's own; a file's kind from the extension table,
    // the plain file where the table has none; a link keeps the table's.
    // A row acts as its picture shows it.
    using E = ListingEntry;
    const struct {
        const char* name;
        int nAttrib, kind, acts, icon;
        const char* size;
        const char* letter;
    } local[] = {
        {"notes.zzz", 0, E::File, E::File, kPlainFileIcon, "5000000000", "F"},
        {"prog.exe", 0, E::File, E::File, 9, "5000000000", "F"},
        {"folder.gif", LocalAttrib::Directory, E::Folder, E::Folder, kFolderIcon, "", "D"},
        {"dead.zzz", LocalAttrib::Unreadable, E::Link, E::Link, kOtherFileIcon, "5000000000", "F"},  // a link to nothing
        {"dead.txt", LocalAttrib::Unreadable, E::Link, E::File, kPlainFileIcon, "5000000000", "F"},
    };
    for (const auto& row : local) {
        const FilePaneRow made = LocalPane::MakeRow({QLatin1String(row.name), when, 5000000000LL, row.nAttrib});
        EXPECT_EQ(std::tie(made.entry.kind, made.kind, made.smallIcon), std::tie(row.kind, row.acts, row.icon)) << row.name;
        EXPECT_EQ(QStringList({made.subItem(1), made.subItem(2), made.subItem(3)}), QStringList({row.size, "12/31/03 1:02 PM", row.letter}))
            << row.name;
        EXPECT_EQ(std::pair(made.entry.date, made.entry.nDatePrecision), std::pair(when, 1));
    }
    const struct {
        const char* name;
        int kind, acts, icon;
        const char* letter;
    } remote[] = {
        {"notes.txt", E::File, E::File, kPlainFileIcon, "F"}, {"archive.weird", E::File, E::File, kPlainFileIcon, "F"},
        {"sub", E::Folder, E::Folder, kFolderIcon, "D"},      {"tosub", E::Link, E::Link, kOtherFileIcon, "E"},
        {"pic.gif", E::Link, E::File, 4, "E"},  // shown, and acting, as a picture file
    };
    for (const auto& row : remote) {
        ListingEntry entry{.name = QLatin1String(row.name), .date = when, .size = 5, .nDatePrecision = 60, .kind = row.kind,
                           .nMode = 0640, .bSpecial = false, .rare = nullptr};
        entry.setRawName(QByteArray(row.name));
        FilePaneRow made;
        ASSERT_TRUE(RemotePane::MakeRow(entry, made));
        EXPECT_EQ(std::pair(made.kind, made.smallIcon), std::pair(row.acts, row.icon)) << row.name;
        EXPECT_EQ(made.subItem(1) + made.subItem(3), QStringLiteral("5") + QLatin1String(row.letter));
        EXPECT_EQ(std::tie(made.entry.rare, made.entry.nDatePrecision, made.entry.nMode, made.entry.kind),
                  std::tie(entry.rare, entry.nDatePrecision, entry.nMode, entry.kind));
    }
    FilePaneRow none;
    ListingEntry odd;
    odd.kind = 3;
    EXPECT_FALSE(RemotePane::MakeRow(odd, none));
}

TEST(PaneRules, WhatBecomesOfAFileThatExists)
{
    using TransferEngines::Outcome;
    const QDateTime t(QDate(2020, 5, 1), QTime(10, 0));
    const ExistingFiles::Facts none, src{true, 100, t, 1}, same{true, 100, t.addSecs(30), 60}, shorter{true, 40, t, 1},
        longer{true, 300, t, 1};
    const struct {
        const char* what;
        ExistingFiles::Facts destination;
        int answer;  // 99: no question expected
        bool bResumeAllowed;
        Outcome::Step step;
        qint64 offset;
    } cases[] = {
        {"no destination", none, 99, false, Outcome::Transfer, 0},
        {"the same within the listing's minute", same, 99, false, Outcome::Skip, 0},
        {"overwrite", shorter, TransferEngines::kOverwrite, true, Outcome::Transfer, 0},
        {"resume a shorter copy", shorter, TransferEngines::kResume, true, Outcome::Transfer, 40},
        {"resume a longer copy: left alone", longer, TransferEngines::kResume, false, Outcome::Skip, 0},
        {"skip", longer, TransferEngines::kSkip, false, Outcome::Skip, 0},
        {"cancel", shorter, TransferEngines::kCancel, true, Outcome::Cancel, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<bool> asked;
        const Outcome outcome = TransferEngines::DecideExisting(src, c.destination, [&](bool bResumeAllowed) {
            asked = bResumeAllowed;
            return c.answer;
        });
        EXPECT_EQ(asked, c.answer == 99 ? std::nullopt : std::optional<bool>(c.bResumeAllowed));
        EXPECT_EQ(std::pair(outcome.step, outcome.nOffset), std::pair(c.step, c.offset));
    }
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
