#include "local/clsLocalPaths.h"

#include "ScriptedPrompter.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// Collects what a listing delivers, in the order it arrives.
struct Listing {
    clsLocalPaths paths;
    QList<LocalEntry> entries;
    QList<int> batchSizes;
    QStringList events;  // "entries", "listed <path>", "log <text>"

    Listing()
    {
        paths.onUpdateLocalEntries = [this](const QList<LocalEntry>& batch) {
            entries += batch;
            batchSizes << int(batch.size());
            if (events.isEmpty() || events.last() != QLatin1String("entries")) events << "entries";
        };
        paths.onAddToLocalPaths = [this](const QString& s) { events << "listed " + s; };
        paths.onLogMessage = [this](const QString& s) { events << "log " + s; };
    }
    const LocalEntry* find(const QString& sName) const { for (const LocalEntry& e : entries) if (e.sName == sName) return &e; return nullptr; }
    QStringList names() const { QStringList list; for (const LocalEntry& e : entries) list << e.sName; return list; }
};

class LocalPathsTest : public ::testing::Test {
protected:
    QString folder() const { return m_dir.path() + QLatin1Char('/'); }
    QString at(const QString& sName) const { return folder() + sName; }
    void Write(const QString& sName, const QByteArray& data = "x") { ASSERT_TRUE(WriteTestFile(at(sName), data)); }
    QByteArray Read(const QString& sName) const { return ReadTestFile(at(sName)); }
    void ExpectNotice(const QString& sText)
    {
        ASSERT_FALSE(prompter.shown().isEmpty());
        const auto& box = prompter.shown().last();
        EXPECT_EQ(std::tuple(box.sTitle, box.sText, box.buttons, box.icon),
                  std::tuple(QString("Kelvo Client [Notice]"), sText, PromptButtons::OkCancel, PromptIcon::Critical));
    }

    TestEnvironment m_env;
    QTemporaryDir m_dir;
    ScriptedPrompter prompter;
    ScopedPrompter m_scoped{prompter};
};

// Sets an environment variable for the lifetime of the object.
struct ScopedEnv {
    const char* name;
    const bool bHadOld = qEnvironmentVariableIsSet(name);
    const QByteArray old = qgetenv(name);
    ScopedEnv(const char* sName, const QString& sValue) : name(sName) { qputenv(sName, sValue.toUtf8()); }
    ~ScopedEnv() { bHadOld ? qputenv(name, old) : qunsetenv(name); }
};

}  // namespace

TEST_F(LocalPathsTest, ListsEveryEntryWithItsAttributesButNotTheDots)
{
    Write("plain.txt", "hello");
    for (const char* name : {".hidden", "...", "locked.txt"}) Write(name);
    ASSERT_EQ(::chmod(QFile::encodeName(at("locked.txt")).constData(), 0444), 0);
    for (const char* name : {"sub", ".hiddenDir"}) ASSERT_TRUE(QDir().mkdir(at(name)));
    ASSERT_TRUE(QFile::link("plain.txt", at("link")));
    ASSERT_TRUE(QFile::link("nowhere", at("dangling")));
    QFile big(at("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(Q_INT64_C(5368709120)));  // sparse: takes no space
    QFile plain(at("plain.txt"));
    const QDateTime when(QDate(2021, 3, 4), QTime(5, 6, 7));
    ASSERT_TRUE(plain.open(QIODevice::ReadWrite) && plain.setFileTime(when, QFileDevice::FileModificationTime));

    Listing listing;
    listing.paths.RetrieveLocalFolderContents(folder());
    EXPECT_EQ(listing.entries.size(), 9);
    EXPECT_EQ(listing.events, (QStringList{"entries", "listed " + folder()}));
    using namespace LocalAttrib;
    const struct { const char* name; int nAttrib; qint64 size; /* -1: a folder's, whatever the file system says */ } expected[] = {
        {"plain.txt", Archive, 5}, {".hidden", Archive | Hidden, 1}, {"...", Archive | Hidden, 1},
        {"locked.txt", Archive | ReadOnly, 1}, {"sub", Directory, -1}, {".hiddenDir", Directory | Hidden, -1},
        {"link", Archive | ReparsePoint, 5} /* the target's size */, {"big.bin", Archive, Q_INT64_C(5368709120)},
        {"dangling", Unreadable, 7},  // a link whose target is gone, told by the link itself: "nowhere"
    };
    for (const auto& e : expected) {
        const LocalEntry* entry = listing.find(QString::fromLatin1(e.name));
        ASSERT_NE(entry, nullptr) << e.name;
        EXPECT_EQ(entry->nAttrib, e.nAttrib) << e.name;
        if (e.size >= 0) {
            EXPECT_EQ(entry->lSize, e.size) << e.name;
        }
        EXPECT_TRUE(entry->dtDate.isValid()) << e.name;
    }
    EXPECT_EQ(listing.find("plain.txt")->dtDate, when);
    EXPECT_EQ(listing.find("plain.txt")->dtDate.toString("yyyy-MM-dd hh:mm:ss"), "2021-03-04 05:06:07") << "the local clock";
}

TEST_F(LocalPathsTest, EmptyAndLargeFolders)
{
    ASSERT_TRUE(QDir().mkdir(at("empty")));
    Listing empty;
    empty.paths.RetrieveLocalFolderContents(at("empty/"));
    EXPECT_EQ(empty.events, QStringList{"listed " + at("empty/")});

    // More entries than one batch holds: each arrives exactly once, in
    // batches no larger than promised, and the notice comes last.
    const int kCount = clsLocalPaths::kEntryBatch * 2 + 500;
    for (int i = 0; i < kCount; ++i) Write(QStringLiteral("f%1").arg(i));
    Listing big;
    big.paths.RetrieveLocalFolderContents(folder());
    QStringList names = big.names();
    EXPECT_EQ(names.size(), kCount + 1);  // and the folder "empty"
    EXPECT_EQ(names.removeDuplicates(), 0);
    for (int size : big.batchSizes) { EXPECT_LE(size, clsLocalPaths::kEntryBatch); }
    EXPECT_EQ(big.events, (QStringList{"entries", "listed " + folder()}));
}

TEST_F(LocalPathsTest, WildcardListingMatchesFilesAndFolders)
{
    for (const char* name : {"a.gif", "B.GIF", "c.txt", "x.tar.gif", ".gif", "noext", "d.gifs"})
        Write(QString::fromLatin1(name));
    for (const char* name : {"pics.gif", "other"}) ASSERT_TRUE(QDir().mkdir(at(name)));

    // Letter case aside, as on the original platform; "*.*" takes names
    // without a dot too. In name order, letter case aside.
    const QStringList gifs{".gif", "a.gif", "B.GIF", "pics.gif", "x.tar.gif"},
        all{".gif", "a.gif", "B.GIF", "c.txt", "d.gifs", "noext", "other", "pics.gif", "x.tar.gif"};
    for (const auto& [pattern, names] : {std::pair{"*.gif", gifs}, {"*.GIF", gifs}, {"?.txt", {"c.txt"}}, {"*.none", {}},
                                         {"*.*", all}, {"*", all}, {"", all}, {"n*.*", {"noext"}}}) {
        Listing listing;
        listing.paths.RetrieveDefinedLocalFolderContents(folder(), QLatin1String(pattern));
        EXPECT_EQ(listing.events.last(), "listed " + folder()) << pattern;
        EXPECT_EQ(listing.names(), names) << pattern;
    }
}

TEST_F(LocalPathsTest, FoldersThatCannotBeReadAreLoggedAndNotListed)
{
    // Root reads anything, so the refused reader is another user ("nobody")
    // looking at root's folders; without root, our own folders refuse us.
    const bool bRoot = ::geteuid() == 0;
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
    ASSERT_TRUE(QDir().mkdir(at("brief")) && QDir().rmdir(at("brief")));  // vanished after it was shown
    Write("file");
    Write("closed/inside");
    Write("nosearch/inside");
    // Unreadable; and readable but not searchable, so the names can be read
    // but not the entries' dates and sizes.
    ASSERT_EQ(::chmod(QFile::encodeName(at("closed")).constData(), bRoot ? 0700 : 0000), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(at("nosearch")).constData(), bRoot ? 0704 : 0400), 0);
    const QStringList folders = {at("gone/"), at("brief/"), at("file/"), at("closed/"), at("nosearch/")};
    const int status = InChild([&] {
        const uid_t nobody = 65534;
        if (bRoot && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) return 99;
        int failures = 0;
        for (int i = 0; i < folders.size(); ++i) {
            Listing listing;
            if (i == 1) listing.paths.RetrieveDefinedLocalFolderContents(folders[i], "*.txt");
            else listing.paths.RetrieveLocalFolderContents(folders[i]);
            if (listing.events != QStringList{"log Cannot read the contents of " + folders[i]}) failures |= 1 << i;
        }
        return failures;
    });
    for (const char* name : {"closed", "nosearch"}) ::chmod(QFile::encodeName(at(name)).constData(), 0700);
    EXPECT_EQ(status, 0) << "a bit per folder: 1 missing, 2 vanished, 4 a file, 8 unreadable, 16 unsearchable; "
                            "99: could not become nobody";
}

TEST_F(LocalPathsTest, DeleteCreateRenameAndRemoveShowANoticeWhenRefused)
{
    clsLocalPaths paths;
    for (const char* name : {"doomed", "readonly"}) Write(name);
    Write("a", "first");
    Write("b", "second");
    ASSERT_EQ(::chmod(QFile::encodeName(at("readonly")).constData(), 0444), 0);
    Write("full/keep", "kept");
    for (const char* name : {"dirA", "dirB" /* empty: a plain rename would replace it */, "empty"})
        ASSERT_TRUE(QDir().mkdir(at(name)));
    const QString inUse = " ... Folder may contain files or is write protected or is in use! ";
    const std::pair<std::function<void()>, QString> steps[] = {
        {[&] { paths.DeleteLocalFile(at("doomed")); }, ""},
        {[&] { paths.DeleteLocalFile(at("missing")); }, "Cannot delete " + at("missing")},
        {[&] { paths.DeleteLocalFile(at("dirA")); }, "Cannot delete " + at("dirA")},
        {[&] { paths.DeleteLocalFile(at("readonly")); }, "Cannot delete " + at("readonly")},
        {[&] { paths.CreateLocalFolder(at("new")); }, ""},
        {[&] { paths.CreateLocalFolder(at("new")); }, "Cannot create " + at("new")},
        {[&] { paths.CreateLocalFolder(at("no/parent")); }, "Cannot create " + at("no/parent")},
        // Renaming never replaces an existing entry.
        {[&] { paths.RenameLocalFile(at("a"), at("b")); }, "Cannot rename " + at("a")},
        {[&] { paths.RenameLocalFile(at("dirA"), at("dirB")); }, "Cannot rename " + at("dirA")},
        {[&] { paths.RenameLocalFile(at("a"), at("dirB")); }, "Cannot rename " + at("a")},
        {[&] { paths.RenameLocalFile(at("missing"), at("c")); }, "Cannot rename " + at("missing")},
        {[&] { paths.RenameLocalFile(at("a"), at("A")); }, ""},  // letter case makes a different name here
        {[&] { paths.RenameLocalFile(at("dirA"), at("dirB/moved")); }, ""},
        {[&] { paths.RemoveLocalFolder(at("full")); }, "Cannot remove " + at("full") + inUse},
        {[&] { paths.RemoveLocalFolder(at("missing")); }, "Cannot remove " + at("missing") + inUse},
        {[&] { paths.RemoveLocalFolder(at("empty")); }, ""},
    };
    for (const auto& [step, notice] : steps) {
        const qsizetype nShown = prompter.shown().size();
        // Whichever button the user takes, the notice changes nothing.
        if (!notice.isEmpty()) prompter.AnswerMessage(nShown % 2 ? PromptResult::Cancel : PromptResult::Ok);
        step();
        EXPECT_EQ(prompter.shown().size(), nShown + !notice.isEmpty()) << notice.toStdString();
        if (!notice.isEmpty()) ExpectNotice(notice);
    }
    Listing after;
    after.paths.RetrieveLocalFolderContents(folder());
    EXPECT_EQ(after.names(), (QStringList{"A", "b", "dirB", "full", "new", "readonly"}));
    EXPECT_EQ(Read("A") + Read("b") + Read("readonly") + Read("full/keep"), "firstsecondxkept");
    EXPECT_TRUE(QFileInfo(at("dirB/moved")).isDir());
}

TEST_F(LocalPathsTest, RecycleMovesToTheUsersTrashAfterAskingAndNeverDeletesUnasked)
{
    const ScopedEnv home("HOME", m_env.path()), data("XDG_DATA_HOME", m_env.path("data"));
    for (const char* name : {"folder/inside", "keep", "drop"}) Write(name);
    Write("file.txt", "content");
    const auto recycle = [](const QString& sPath, int flags = 0) { clsLocalPaths::SendToRecycleBin(sPath, RecycleFlags::AllowUndo | flags); };

    prompter.AnswerMessage(PromptResult::No);
    recycle(at("file.txt"));
    EXPECT_EQ(Read("file.txt"), "content");
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].buttons, PromptButtons::YesNo);
    EXPECT_TRUE(prompter.shown()[0].sText.contains(at("file.txt")));
    prompter.AnswerMessage(PromptResult::Yes);
    recycle(at("file.txt"));
    EXPECT_FALSE(QFile::exists(at("file.txt")));
    EXPECT_EQ(ReadTestFile(m_env.path("data/Trash/files/file.txt")), "content");
    recycle(at("folder"), RecycleFlags::NoConfirmation);
    EXPECT_FALSE(QFile::exists(at("folder")));
    EXPECT_TRUE(QFile::exists(m_env.path("data/Trash/files/folder/inside")));
    prompter.AnswerMessage(PromptResult::Ok);
    recycle(at("missing"));
    ExpectNotice("Cannot delete " + at("missing"));

    // Without a trash (the data folder is a file, so none can be made there)
    // deleting for good is asked first, and the answer is the user's word.
    ASSERT_TRUE(QDir(m_env.path("data")).removeRecursively() && WriteTestFile(m_env.path("data"), ""));
    prompter.AnswerMessage(PromptResult::No);
    recycle(at("keep"), RecycleFlags::NoConfirmation);
    EXPECT_EQ(Read("keep"), "x");
    ASSERT_EQ(prompter.shown().size(), 4);
    const auto& ask = prompter.shown()[3];
    EXPECT_EQ(std::tuple(ask.buttons, ask.icon, ask.sText.contains("cannot be moved to the Trash")), std::tuple(PromptButtons::YesNo, PromptIcon::Exclamation, true));
    prompter.AnswerMessage(PromptResult::Yes);
    recycle(at("drop"), RecycleFlags::NoConfirmation);
    EXPECT_FALSE(QFile::exists(at("drop")));
    EXPECT_TRUE(prompter.ScriptDone());
}

TEST(LocalPlaces, DrivesRootFirstThenRealVolumesAndPathsCompareExactly)
{
    clsLocalPaths paths;
    QStringList drives;
    paths.onLogicalDriveFound = [&](const QString& s) { drives << s; };
    paths.RetreiveLogicalDrives();
    ASSERT_FALSE(drives.isEmpty());
    EXPECT_EQ(drives.first(), "/");
    EXPECT_EQ(QSet<QString>(drives.begin(), drives.end()).size(), drives.size());
    for (const QString& drive : drives) {
        EXPECT_TRUE(drive.endsWith(QLatin1Char('/'))) << drive.toStdString();
        EXPECT_TRUE(QFileInfo(drive).isDir()) << drive.toStdString();
        EXPECT_FALSE(drive.startsWith(QLatin1String("/proc/")) || drive.startsWith(QLatin1String("/sys/")))
            << drive.toStdString();
    }

    for (const char* type : {"ext4", "xfs", "btrfs", "vfat", "exfat", "ntfs3", "nfs4", "fuse.sshfs"}) EXPECT_TRUE(IsRealVolumeType(type)) << type;
    for (const char* type : {"proc", "sysfs", "tmpfs", "devtmpfs", "cgroup2", "squashfs", "overlay", "devpts", ""}) EXPECT_FALSE(IsRealVolumeType(type)) << type;
    EXPECT_TRUE(PathsEqual("/tmp/Data/", "/tmp/Data/"));
    EXPECT_FALSE(PathsEqual("/tmp/Data/", "/tmp/data/"));
}
