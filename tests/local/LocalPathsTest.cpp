#include "local/clsLocalPaths.h"

#include "ScriptedPrompter.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString kNoticeTitle = "Kelvo Client [Notice]";

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
    const LocalEntry* find(const QString& sName) const
    {
        for (const LocalEntry& e : entries)
            if (e.sName == sName) return &e;
        return nullptr;
    }
    QSet<QString> names() const
    {
        QSet<QString> set;
        for (const LocalEntry& e : entries) set << e.sName;
        return set;
    }
};

class LocalPathsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString folder() const { return m_dir.path() + QLatin1Char('/'); }
    QString at(const QString& sName) const { return folder() + sName; }
    void Write(const QString& sName, const QByteArray& data = "x") { ASSERT_TRUE(WriteTestFile(at(sName), data)); }
    QByteArray Read(const QString& sName) const { return ReadTestFile(at(sName)); }
    void ExpectNotice(const ScriptedPrompter& prompter, const QString& sText)
    {
        ASSERT_FALSE(prompter.shown().isEmpty());
        const auto& box = prompter.shown().last();
        EXPECT_EQ(box.sTitle, kNoticeTitle);
        EXPECT_EQ(box.sText, sText);
        EXPECT_EQ(box.buttons, PromptButtons::OkCancel);
        EXPECT_EQ(box.icon, PromptIcon::Critical);
    }

    TestEnvironment m_env;
    QTemporaryDir m_dir;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* sName, const QString& sValue) : m_name(sName), m_bWasSet(qEnvironmentVariableIsSet(sName))
    {
        m_old = qgetenv(sName);
        qputenv(sName, sValue.toUtf8());
    }
    ~ScopedEnv()
    {
        if (m_bWasSet) qputenv(m_name, m_old);
        else qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_bWasSet;
    QByteArray m_old;
};

}  // namespace

TEST_F(LocalPathsTest, ListsEveryEntryWithItsAttributesButNotTheDots)
{
    Write("plain.txt", "hello");
    Write(".hidden");
    Write("...");
    Write("locked.txt");
    ASSERT_EQ(::chmod(QFile::encodeName(at("locked.txt")).constData(), 0444), 0);
    ASSERT_TRUE(QDir().mkdir(at("sub")));
    ASSERT_TRUE(QDir().mkdir(at(".hiddenDir")));
    ASSERT_TRUE(QFile::link("plain.txt", at("link")));
    ASSERT_TRUE(QFile::link("nowhere", at("dangling")));
    QFile big(at("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(Q_INT64_C(5368709120)));  // sparse: takes no space
    big.close();
    const QDateTime when(QDate(2021, 3, 4), QTime(5, 6, 7));
    {
        QFile f(at("plain.txt"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    }

    Listing listing;
    listing.paths.RetrieveLocalFolderContents(folder());
    EXPECT_EQ(listing.names(), (QSet<QString>{"plain.txt", ".hidden", "...", "locked.txt", "sub", ".hiddenDir", "link",
                                              "dangling", "big.bin"}));
    EXPECT_EQ(listing.entries.size(), 9);
    EXPECT_EQ(listing.events, (QStringList{"entries", "listed " + folder()}));

    using namespace LocalAttrib;
    const struct {
        const char* name;
        int nAttrib;
    } expected[] = {
        {"plain.txt", Archive},       {".hidden", Archive | Hidden},        {"...", Archive | Hidden},
        {"locked.txt", Archive | ReadOnly}, {"sub", Directory},             {".hiddenDir", Directory | Hidden},
        {"link", Archive | ReparsePoint}, {"dangling", Unreadable},
    };
    for (const auto& e : expected) {
        const LocalEntry* entry = listing.find(QString::fromLatin1(e.name));
        ASSERT_NE(entry, nullptr) << e.name;
        EXPECT_EQ(entry->nAttrib, e.nAttrib) << e.name;
    }
    EXPECT_EQ(listing.find("plain.txt")->lSize, 5);
    EXPECT_EQ(listing.find("plain.txt")->dtDate, when);
    EXPECT_EQ(listing.find("plain.txt")->dtDate.date(), when.date());  // the local wall clock
    EXPECT_EQ(listing.find("plain.txt")->dtDate.time(), when.time());
    EXPECT_EQ(listing.find("link")->lSize, 5);  // the target's size
    EXPECT_EQ(listing.find("big.bin")->lSize, Q_INT64_C(5368709120));
    // A link whose target is gone is reported from the link itself.
    EXPECT_EQ(listing.find("dangling")->lSize, qint64(qstrlen("nowhere")));
    EXPECT_TRUE(listing.find("dangling")->dtDate.isValid());
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
    EXPECT_EQ(big.entries.size(), kCount + 1);  // and the folder "empty"
    EXPECT_EQ(big.names().size(), kCount + 1);
    for (int size : big.batchSizes) { EXPECT_LE(size, clsLocalPaths::kEntryBatch); }
    EXPECT_EQ(big.events, (QStringList{"entries", "listed " + folder()}));
}

TEST_F(LocalPathsTest, WildcardListingMatchesFilesAndFolders)
{
    for (const char* name : {"a.gif", "B.GIF", "c.txt", "x.tar.gif", ".gif", "noext", "d.gifs"})
        Write(QString::fromLatin1(name));
    ASSERT_TRUE(QDir().mkdir(at("pics.gif")));
    ASSERT_TRUE(QDir().mkdir(at("other")));

    auto list = [&](const QString& sPattern) {
        Listing listing;
        listing.paths.RetrieveDefinedLocalFolderContents(folder(), sPattern);
        EXPECT_EQ(listing.events.last(), "listed " + folder()) << sPattern.toStdString();
        return listing.names();
    };
    // Letter case aside, as on the original platform.
    const QSet<QString> gifs{"a.gif", "B.GIF", "x.tar.gif", ".gif", "pics.gif"};
    EXPECT_EQ(list("*.gif"), gifs);
    EXPECT_EQ(list("*.GIF"), gifs);
    EXPECT_EQ(list("?.txt"), QSet<QString>{"c.txt"});
    EXPECT_EQ(list("*.none"), QSet<QString>{});
    const QSet<QString> all{"a.gif", "B.GIF", "c.txt", "x.tar.gif", ".gif", "noext", "d.gifs", "pics.gif", "other"};
    EXPECT_EQ(list("*.*"), all);  // names without a dot too
    EXPECT_EQ(list("*"), all);
    EXPECT_EQ(list("n*.*"), QSet<QString>{"noext"});
    // In name order, letter case aside.
    Listing listing;
    listing.paths.RetrieveLocalFolderContents(folder());
    QStringList order;
    for (const LocalEntry& e : listing.entries) order << e.sName;
    EXPECT_EQ(order, (QStringList{".gif", "a.gif", "B.GIF", "c.txt", "d.gifs", "noext", "other", "pics.gif", "x.tar.gif"}));
}

TEST_F(LocalPathsTest, FoldersThatCannotBeReadAreLoggedAndNotListed)
{
    const QString sMissing = at("gone/");
    Listing missing;
    missing.paths.RetrieveLocalFolderContents(sMissing);
    EXPECT_EQ(missing.events, QStringList{"log Cannot read the contents of " + sMissing});

    // A folder that vanished after it was shown.
    ASSERT_TRUE(QDir().mkdir(at("brief")));
    ASSERT_TRUE(QDir().rmdir(at("brief")));
    Listing vanished;
    vanished.paths.RetrieveDefinedLocalFolderContents(at("brief/"), "*.txt");
    EXPECT_EQ(vanished.events, QStringList{"log Cannot read the contents of " + at("brief/")});

    Write("file");
    Listing notFolder;
    notFolder.paths.RetrieveLocalFolderContents(at("file/"));
    EXPECT_EQ(notFolder.events, QStringList{"log Cannot read the contents of " + at("file/")});
}

TEST_F(LocalPathsTest, FoldersRefusedToTheUserAreLoggedAndNotListed)
{
    // Root reads anything, so the refused reader is another user ("nobody")
    // looking at root's folders; without root, our own folders refuse us.
    const bool bRoot = ::geteuid() == 0;
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
    const QString sClosed = at("closed/");
    const QString sNoSearch = at("nosearch/");
    ASSERT_TRUE(QDir().mkdir(sClosed));
    ASSERT_TRUE(QDir().mkdir(sNoSearch));
    Write("closed/inside");
    Write("nosearch/inside");
    // Unreadable; and readable but not searchable, so the names can be read
    // but not the entries' dates and sizes.
    ASSERT_EQ(::chmod(QFile::encodeName(sClosed).constData(), bRoot ? 0700 : 0000), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(sNoSearch).constData(), bRoot ? 0704 : 0400), 0);

    const int status = InChild([&] {
        const uid_t nobody = 65534;
        if (bRoot && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) return 99;
        int failures = 0;
        Listing closed;
        closed.paths.RetrieveLocalFolderContents(sClosed);
        if (closed.events != QStringList{"log Cannot read the contents of " + sClosed}) failures |= 1;
        Listing noSearch;
        noSearch.paths.RetrieveLocalFolderContents(sNoSearch);
        if (noSearch.events != QStringList{"log Cannot read the contents of " + sNoSearch}) failures |= 2;
        return failures;
    });
    ::chmod(QFile::encodeName(sClosed).constData(), 0700);
    ::chmod(QFile::encodeName(sNoSearch).constData(), 0700);
    EXPECT_EQ(status, 0) << "1: unreadable folder, 2: unsearchable folder, 99: could not become nobody";
}

TEST_F(LocalPathsTest, DeleteAndCreateShowTheirNotices)
{
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    clsLocalPaths paths;

    Write("doomed");
    paths.DeleteLocalFile(at("doomed"));
    EXPECT_FALSE(QFile::exists(at("doomed")));
    EXPECT_TRUE(prompter.shown().isEmpty());

    ASSERT_TRUE(QDir().mkdir(at("folder")));
    Write("readonly");
    ASSERT_EQ(::chmod(QFile::encodeName(at("readonly")).constData(), 0444), 0);
    for (const char* sName : {"missing", "folder", "readonly"}) {
        prompter.AnswerMessage(PromptResult::Ok);
        paths.DeleteLocalFile(at(sName));
        ExpectNotice(prompter, "Cannot delete " + at(sName));
    }
    EXPECT_TRUE(QFileInfo(at("folder")).isDir());
    EXPECT_EQ(Read("readonly"), "x");

    paths.CreateLocalFolder(at("new"));
    EXPECT_TRUE(QFileInfo(at("new")).isDir());
    EXPECT_EQ(prompter.shown().size(), 3);
    for (const QString& sPath : {at("new"), at("no/parent")}) {
        prompter.AnswerMessage(PromptResult::Cancel);  // the answer changes nothing
        paths.CreateLocalFolder(sPath);
        ExpectNotice(prompter, "Cannot create " + sPath);
    }
    EXPECT_FALSE(QFile::exists(at("no")));
    EXPECT_TRUE(prompter.ScriptDone());
}

TEST_F(LocalPathsTest, RenameNeverReplacesAnExistingEntry)
{
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    clsLocalPaths paths;
    Write("a", "first");
    Write("b", "second");
    ASSERT_TRUE(QDir().mkdir(at("dirA")));
    ASSERT_TRUE(QDir().mkdir(at("dirB")));  // empty: a plain rename would replace it

    const struct {
        QString from, to;
    } refused[] = {{at("a"), at("b")}, {at("dirA"), at("dirB")}, {at("a"), at("dirB")}, {at("missing"), at("c")}};
    for (const auto& r : refused) {
        prompter.AnswerMessage(PromptResult::Ok);
        paths.RenameLocalFile(r.from, r.to);
        ExpectNotice(prompter, "Cannot rename " + r.from);
    }
    EXPECT_EQ(Read("a"), "first");
    EXPECT_EQ(Read("b"), "second");
    EXPECT_TRUE(QFileInfo(at("dirA")).isDir());
    EXPECT_TRUE(QFileInfo(at("dirB")).isDir());

    // Letter case makes a different name here.
    paths.RenameLocalFile(at("a"), at("A"));
    paths.RenameLocalFile(at("dirA"), at("dirB/moved"));
    EXPECT_EQ(Read("A"), "first");
    EXPECT_FALSE(QFile::exists(at("a")));
    EXPECT_TRUE(QFileInfo(at("dirB/moved")).isDir());
    EXPECT_EQ(prompter.shown().size(), 4);
}

TEST_F(LocalPathsTest, RemoveFolderRemovesOnlyEmptyFolders)
{
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    clsLocalPaths paths;
    ASSERT_TRUE(QDir().mkdir(at("full")));
    Write("full/keep", "kept");
    ASSERT_TRUE(QDir().mkdir(at("empty")));

    for (const QString& sPath : {at("full"), at("missing")}) {
        prompter.AnswerMessage(PromptResult::Ok);
        paths.RemoveLocalFolder(sPath);
        ExpectNotice(prompter, "Cannot remove " + sPath
                                   + " ... Folder may contain files or is write protected or is in use! ");
    }
    EXPECT_EQ(Read("full/keep"), "kept");

    paths.RemoveLocalFolder(at("empty"));
    EXPECT_FALSE(QFile::exists(at("empty")));
    EXPECT_EQ(prompter.shown().size(), 2);
}

TEST_F(LocalPathsTest, RecycleMovesToTheUsersTrashAfterAsking)
{
    const ScopedEnv home("HOME", m_env.path());
    const ScopedEnv data("XDG_DATA_HOME", m_env.path("data"));
    const QString sTrashFiles = m_env.path("data/Trash/files/");
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    Write("file.txt", "content");
    ASSERT_TRUE(QDir().mkdir(at("folder")));
    Write("folder/inside");

    prompter.AnswerMessage(PromptResult::No);
    clsLocalPaths::SendToRecycleBin(at("file.txt"), RecycleFlags::AllowUndo);
    EXPECT_EQ(Read("file.txt"), "content");
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].buttons, PromptButtons::YesNo);
    EXPECT_TRUE(prompter.shown()[0].sText.contains(at("file.txt")));

    prompter.AnswerMessage(PromptResult::Yes);
    clsLocalPaths::SendToRecycleBin(at("file.txt"), RecycleFlags::AllowUndo);
    EXPECT_FALSE(QFile::exists(at("file.txt")));
    QFile trashed(sTrashFiles + "file.txt");
    ASSERT_TRUE(trashed.open(QIODevice::ReadOnly));
    EXPECT_EQ(trashed.readAll(), "content");

    clsLocalPaths::SendToRecycleBin(at("folder"), RecycleFlags::AllowUndo | RecycleFlags::NoConfirmation);
    EXPECT_FALSE(QFile::exists(at("folder")));
    EXPECT_TRUE(QFile::exists(sTrashFiles + "folder/inside"));

    prompter.AnswerMessage(PromptResult::Ok);
    clsLocalPaths::SendToRecycleBin(at("missing"), RecycleFlags::AllowUndo);
    ExpectNotice(prompter, "Cannot delete " + at("missing"));
    EXPECT_TRUE(prompter.ScriptDone());
}

TEST_F(LocalPathsTest, WithoutATrashNothingIsDeletedUnasked)
{
    // The data folder is a file, so no trash can be made there.
    const ScopedEnv home("HOME", m_env.path());
    const ScopedEnv data("XDG_DATA_HOME", m_env.path("data"));
    {
        QFile blocker(m_env.path("data"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    Write("keep", "kept");
    Write("drop");

    prompter.AnswerMessage(PromptResult::No);  // moving there cannot be done: not for good either
    clsLocalPaths::SendToRecycleBin(at("keep"), RecycleFlags::AllowUndo | RecycleFlags::NoConfirmation);
    EXPECT_EQ(Read("keep"), "kept");
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(prompter.shown()[0].icon, PromptIcon::Exclamation);
    EXPECT_TRUE(prompter.shown()[0].sText.contains(QLatin1String("cannot be moved to the Trash")));

    prompter.AnswerMessage(PromptResult::Yes);  // asked, then the user's word
    clsLocalPaths::SendToRecycleBin(at("drop"), RecycleFlags::AllowUndo | RecycleFlags::NoConfirmation);
    EXPECT_FALSE(QFile::exists(at("drop")));
    EXPECT_TRUE(prompter.ScriptDone());
}

TEST(LocalDrives, RootFirstThenRealVolumes)
{
    clsLocalPaths paths;
    QStringList drives;
    paths.onLogicalDriveFound = [&](const QString& s) { drives << s; };
    paths.RetreiveLogicalDrives();
    ASSERT_FALSE(drives.isEmpty());
    EXPECT_EQ(drives.first(), "/");
    EXPECT_EQ(drives.count("/"), 1);
    EXPECT_EQ(QSet<QString>(drives.begin(), drives.end()).size(), drives.size());
    for (const QString& drive : drives) {
        EXPECT_TRUE(drive.endsWith(QLatin1Char('/'))) << drive.toStdString();
        EXPECT_TRUE(QFileInfo(drive).isDir()) << drive.toStdString();
        EXPECT_FALSE(drive.startsWith(QLatin1String("/proc/")) || drive.startsWith(QLatin1String("/sys/")))
            << drive.toStdString();
    }

    for (const char* type : {"ext4", "xfs", "btrfs", "vfat", "exfat", "ntfs3", "nfs4", "fuse.sshfs"}) {
        EXPECT_TRUE(IsRealVolumeType(type)) << type;
    }
    for (const char* type : {"proc", "sysfs", "tmpfs", "devtmpfs", "cgroup2", "squashfs", "overlay", "devpts", ""}) {
        EXPECT_FALSE(IsRealVolumeType(type)) << type;
    }
}

TEST(LocalPathCompare, ExactOnThisPlatform)
{
    EXPECT_TRUE(PathsEqual("/tmp/Data/", "/tmp/Data/"));
#ifdef Q_OS_WIN
    EXPECT_TRUE(PathsEqual("C:\\Temp\\", "c:\\TEMP\\"));
    EXPECT_EQ(NormalizedPathForCompare("c:\\temp\\"), "C:\\TEMP\\");
#else
    EXPECT_FALSE(PathsEqual("/tmp/Data/", "/tmp/data/"));
    EXPECT_EQ(NormalizedPathForCompare("/tmp/Data/"), "/tmp/Data/");
#endif
}
