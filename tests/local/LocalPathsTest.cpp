#include "local/clsLocalPaths.h"

#include "ScriptedPrompter.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kNoticeTitle = QStringLiteral("Kelvo Client [Notice]");

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
            if (events.isEmpty() || events.last() != QLatin1String("entries")) events << QStringLiteral("entries");
        };
        paths.onAddToLocalPaths = [this](const QString& s) { events << QStringLiteral("listed ") + s; };
        paths.onLogMessage = [this](const QString& s) { events << QStringLiteral("log ") + s; };
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
    void Write(const QString& sName, const QByteArray& data = "x")
    {
        QFile f(at(sName));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QByteArray Read(const QString& sName) const
    {
        QFile f(at(sName));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
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

// Runs `body` in a child process and returns its exit status (-1 when it did
// not exit normally). The child never returns into the test framework.
int InChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    Write(QStringLiteral("plain.txt"), "hello");
    Write(QStringLiteral(".hidden"));
    Write(QStringLiteral("..."));
    Write(QStringLiteral("locked.txt"));
    ASSERT_EQ(::chmod(QFile::encodeName(at(QStringLiteral("locked.txt"))).constData(), 0444), 0);
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("sub"))));
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral(".hiddenDir"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("plain.txt"), at(QStringLiteral("link"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("nowhere"), at(QStringLiteral("dangling"))));
    const QDateTime when(QDate(2021, 3, 4), QTime(5, 6, 7));
    {
        QFile f(at(QStringLiteral("plain.txt")));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    }

    Listing listing;
    listing.paths.RetrieveLocalFolderContents(folder());
    EXPECT_EQ(listing.names(), (QSet<QString>{"plain.txt", ".hidden", "...", "locked.txt", "sub", ".hiddenDir", "link",
                                              "dangling"}));
    EXPECT_EQ(listing.entries.size(), 8);
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
    EXPECT_EQ(listing.find(QStringLiteral("plain.txt"))->lSize, 5);
    EXPECT_EQ(listing.find(QStringLiteral("plain.txt"))->dtDate, when);
    EXPECT_EQ(listing.find(QStringLiteral("plain.txt"))->dtDate.date(), when.date());  // the local wall clock
    EXPECT_EQ(listing.find(QStringLiteral("plain.txt"))->dtDate.time(), when.time());
    EXPECT_EQ(listing.find(QStringLiteral("link"))->lSize, 5);  // the target's size
    // A link whose target is gone is reported from the link itself.
    EXPECT_EQ(listing.find(QStringLiteral("dangling"))->lSize, qint64(qstrlen("nowhere")));
    EXPECT_TRUE(listing.find(QStringLiteral("dangling"))->dtDate.isValid());
}

TEST_F(LocalPathsTest, EmptyAndLargeFolders)
{
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("empty"))));
    Listing empty;
    empty.paths.RetrieveLocalFolderContents(at(QStringLiteral("empty/")));
    EXPECT_EQ(empty.events, QStringList{"listed " + at(QStringLiteral("empty/"))});

    // More entries than one batch holds: each arrives exactly once, in
    // batches no larger than promised, and the notice comes last.
    const int kCount = clsLocalPaths::kEntryBatch * 2 + 500;
    for (int i = 0; i < kCount; ++i) Write(QStringLiteral("f%1").arg(i));
    Listing big;
    big.paths.RetrieveLocalFolderContents(folder());
    EXPECT_EQ(big.entries.size(), kCount + 1);  // and the folder "empty"
    EXPECT_EQ(big.names().size(), kCount + 1);
    for (int size : big.batchSizes) EXPECT_LE(size, clsLocalPaths::kEntryBatch);
    EXPECT_EQ(big.events, (QStringList{"entries", "listed " + folder()}));
}

TEST_F(LocalPathsTest, SizesAreSixtyFourBit)
{
    QFile f(at(QStringLiteral("big.bin")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(Q_INT64_C(5368709120)));  // sparse: takes no space
    f.close();
    Listing listing;
    listing.paths.RetrieveLocalFolderContents(folder());
    ASSERT_NE(listing.find(QStringLiteral("big.bin")), nullptr);
    EXPECT_EQ(listing.find(QStringLiteral("big.bin"))->lSize, Q_INT64_C(5368709120));
}

TEST_F(LocalPathsTest, WildcardListingMatchesFilesAndFolders)
{
    for (const char* name : {"a.gif", "B.GIF", "c.txt", "x.tar.gif", ".gif", "noext", "d.gifs"})
        Write(QString::fromLatin1(name));
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("pics.gif"))));
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("other"))));

    auto list = [&](const QString& sPattern) {
        Listing listing;
        listing.paths.RetrieveDefinedLocalFolderContents(folder(), sPattern);
        EXPECT_EQ(listing.events.last(), "listed " + folder()) << sPattern.toStdString();
        return listing.names();
    };
    // Letter case aside, as on the original platform.
    const QSet<QString> gifs{"a.gif", "B.GIF", "x.tar.gif", ".gif", "pics.gif"};
    EXPECT_EQ(list(QStringLiteral("*.gif")), gifs);
    EXPECT_EQ(list(QStringLiteral("*.GIF")), gifs);
    EXPECT_EQ(list(QStringLiteral("?.txt")), QSet<QString>{"c.txt"});
    EXPECT_EQ(list(QStringLiteral("*.none")), QSet<QString>{});
    const QSet<QString> all{"a.gif", "B.GIF", "c.txt", "x.tar.gif", ".gif", "noext", "d.gifs", "pics.gif", "other"};
    EXPECT_EQ(list(QStringLiteral("*.*")), all);  // names without a dot too
    EXPECT_EQ(list(QStringLiteral("*")), all);
    EXPECT_EQ(list(QStringLiteral("n*.*")), QSet<QString>{"noext"});
    // In name order, letter case aside.
    Listing listing;
    listing.paths.RetrieveLocalFolderContents(folder());
    QStringList order;
    for (const LocalEntry& e : listing.entries) order << e.sName;
    EXPECT_EQ(order, (QStringList{".gif", "a.gif", "B.GIF", "c.txt", "d.gifs", "noext", "other", "pics.gif", "x.tar.gif"}));
}

TEST_F(LocalPathsTest, FoldersThatCannotBeReadAreLoggedAndNotListed)
{
    const QString sMissing = at(QStringLiteral("gone/"));
    Listing missing;
    missing.paths.RetrieveLocalFolderContents(sMissing);
    EXPECT_EQ(missing.events, QStringList{"log Cannot read the contents of " + sMissing});

    // A folder that vanished after it was shown.
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("brief"))));
    ASSERT_TRUE(QDir().rmdir(at(QStringLiteral("brief"))));
    Listing vanished;
    vanished.paths.RetrieveDefinedLocalFolderContents(at(QStringLiteral("brief/")), QStringLiteral("*.txt"));
    EXPECT_EQ(vanished.events, QStringList{"log Cannot read the contents of " + at(QStringLiteral("brief/"))});

    Write(QStringLiteral("file"));
    Listing notFolder;
    notFolder.paths.RetrieveLocalFolderContents(at(QStringLiteral("file/")));
    EXPECT_EQ(notFolder.events, QStringList{"log Cannot read the contents of " + at(QStringLiteral("file/"))});
}

TEST_F(LocalPathsTest, FoldersRefusedToTheUserAreLoggedAndNotListed)
{
    // Root reads anything, so the refused reader is another user ("nobody")
    // looking at root's folders; without root, our own folders refuse us.
    const bool bRoot = ::geteuid() == 0;
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
    const QString sClosed = at(QStringLiteral("closed/"));
    const QString sNoSearch = at(QStringLiteral("nosearch/"));
    ASSERT_TRUE(QDir().mkdir(sClosed));
    ASSERT_TRUE(QDir().mkdir(sNoSearch));
    Write(QStringLiteral("closed/inside"));
    Write(QStringLiteral("nosearch/inside"));
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

    Write(QStringLiteral("doomed"));
    paths.DeleteLocalFile(at(QStringLiteral("doomed")));
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("doomed"))));
    EXPECT_TRUE(prompter.shown().isEmpty());

    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("folder"))));
    Write(QStringLiteral("readonly"));
    ASSERT_EQ(::chmod(QFile::encodeName(at(QStringLiteral("readonly"))).constData(), 0444), 0);
    for (const QString& sName : {QStringLiteral("missing"), QStringLiteral("folder"), QStringLiteral("readonly")}) {
        prompter.AnswerMessage(PromptResult::Ok);
        paths.DeleteLocalFile(at(sName));
        ExpectNotice(prompter, QStringLiteral("Cannot delete ") + at(sName));
    }
    EXPECT_TRUE(QFileInfo(at(QStringLiteral("folder"))).isDir());
    EXPECT_EQ(Read(QStringLiteral("readonly")), "x");

    paths.CreateLocalFolder(at(QStringLiteral("new")));
    EXPECT_TRUE(QFileInfo(at(QStringLiteral("new"))).isDir());
    EXPECT_EQ(prompter.shown().size(), 3);
    for (const QString& sPath : {at(QStringLiteral("new")), at(QStringLiteral("no/parent"))}) {
        prompter.AnswerMessage(PromptResult::Cancel);  // the answer changes nothing
        paths.CreateLocalFolder(sPath);
        ExpectNotice(prompter, QStringLiteral("Cannot create ") + sPath);
    }
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("no"))));
    EXPECT_TRUE(prompter.ScriptDone());
}

TEST_F(LocalPathsTest, RenameNeverReplacesAnExistingEntry)
{
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    clsLocalPaths paths;
    Write(QStringLiteral("a"), "first");
    Write(QStringLiteral("b"), "second");
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("dirA"))));
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("dirB"))));  // empty: a plain rename would replace it

    const struct {
        QString from, to;
    } refused[] = {{at("a"), at("b")}, {at("dirA"), at("dirB")}, {at("a"), at("dirB")}, {at("missing"), at("c")}};
    for (const auto& r : refused) {
        prompter.AnswerMessage(PromptResult::Ok);
        paths.RenameLocalFile(r.from, r.to);
        ExpectNotice(prompter, QStringLiteral("Cannot rename ") + r.from);
    }
    EXPECT_EQ(Read(QStringLiteral("a")), "first");
    EXPECT_EQ(Read(QStringLiteral("b")), "second");
    EXPECT_TRUE(QFileInfo(at(QStringLiteral("dirA"))).isDir());
    EXPECT_TRUE(QFileInfo(at(QStringLiteral("dirB"))).isDir());

    // Letter case makes a different name here.
    paths.RenameLocalFile(at(QStringLiteral("a")), at(QStringLiteral("A")));
    paths.RenameLocalFile(at(QStringLiteral("dirA")), at(QStringLiteral("dirB/moved")));
    EXPECT_EQ(Read(QStringLiteral("A")), "first");
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("a"))));
    EXPECT_TRUE(QFileInfo(at(QStringLiteral("dirB/moved"))).isDir());
    EXPECT_EQ(prompter.shown().size(), 4);
}

TEST_F(LocalPathsTest, RemoveFolderRemovesOnlyEmptyFolders)
{
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    clsLocalPaths paths;
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("full"))));
    Write(QStringLiteral("full/keep"), "kept");
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("empty"))));

    for (const QString& sPath : {at(QStringLiteral("full")), at(QStringLiteral("missing"))}) {
        prompter.AnswerMessage(PromptResult::Ok);
        paths.RemoveLocalFolder(sPath);
        ExpectNotice(prompter, QStringLiteral("Cannot remove ") + sPath
                                   + QStringLiteral(" ... Folder may contain files or is write protected or is in use! "));
    }
    EXPECT_EQ(Read(QStringLiteral("full/keep")), "kept");

    paths.RemoveLocalFolder(at(QStringLiteral("empty")));
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("empty"))));
    EXPECT_EQ(prompter.shown().size(), 2);
}

TEST_F(LocalPathsTest, RecycleMovesToTheUsersTrashAfterAsking)
{
    const ScopedEnv home("HOME", m_env.path());
    const ScopedEnv data("XDG_DATA_HOME", m_env.path(QStringLiteral("data")));
    const QString sTrashFiles = m_env.path(QStringLiteral("data/Trash/files/"));
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    Write(QStringLiteral("file.txt"), "content");
    ASSERT_TRUE(QDir().mkdir(at(QStringLiteral("folder"))));
    Write(QStringLiteral("folder/inside"));

    prompter.AnswerMessage(PromptResult::No);
    clsLocalPaths::SendToRecycleBin(at(QStringLiteral("file.txt")), RecycleFlags::AllowUndo);
    EXPECT_EQ(Read(QStringLiteral("file.txt")), "content");
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].buttons, PromptButtons::YesNo);
    EXPECT_TRUE(prompter.shown()[0].sText.contains(at(QStringLiteral("file.txt"))));

    prompter.AnswerMessage(PromptResult::Yes);
    clsLocalPaths::SendToRecycleBin(at(QStringLiteral("file.txt")), RecycleFlags::AllowUndo);
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("file.txt"))));
    QFile trashed(sTrashFiles + QStringLiteral("file.txt"));
    ASSERT_TRUE(trashed.open(QIODevice::ReadOnly));
    EXPECT_EQ(trashed.readAll(), "content");

    clsLocalPaths::SendToRecycleBin(at(QStringLiteral("folder")),
                                    RecycleFlags::AllowUndo | RecycleFlags::NoConfirmation);
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("folder"))));
    EXPECT_TRUE(QFile::exists(sTrashFiles + QStringLiteral("folder/inside")));

    prompter.AnswerMessage(PromptResult::Ok);
    clsLocalPaths::SendToRecycleBin(at(QStringLiteral("missing")), RecycleFlags::AllowUndo);
    ExpectNotice(prompter, QStringLiteral("Cannot delete ") + at(QStringLiteral("missing")));
    EXPECT_TRUE(prompter.ScriptDone());
}

TEST_F(LocalPathsTest, WithoutATrashNothingIsDeletedUnasked)
{
    // The data folder is a file, so no trash can be made there.
    const ScopedEnv home("HOME", m_env.path());
    const ScopedEnv data("XDG_DATA_HOME", m_env.path(QStringLiteral("data")));
    {
        QFile blocker(m_env.path(QStringLiteral("data")));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    Write(QStringLiteral("keep"), "kept");
    Write(QStringLiteral("drop"));

    prompter.AnswerMessage(PromptResult::No);  // moving there cannot be done: not for good either
    clsLocalPaths::SendToRecycleBin(at(QStringLiteral("keep")), RecycleFlags::AllowUndo | RecycleFlags::NoConfirmation);
    EXPECT_EQ(Read(QStringLiteral("keep")), "kept");
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(prompter.shown()[0].icon, PromptIcon::Exclamation);
    EXPECT_TRUE(prompter.shown()[0].sText.contains(QLatin1String("cannot be moved to the Trash")));

    prompter.AnswerMessage(PromptResult::Yes);  // asked, then the user's word
    clsLocalPaths::SendToRecycleBin(at(QStringLiteral("drop")), RecycleFlags::AllowUndo | RecycleFlags::NoConfirmation);
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("drop"))));
    EXPECT_TRUE(prompter.ScriptDone());
}

TEST(LocalDrives, RootFirstThenRealVolumes)
{
    clsLocalPaths paths;
    QStringList drives;
    paths.onLogicalDriveFound = [&](const QString& s) { drives << s; };
    paths.RetreiveLogicalDrives();
    ASSERT_FALSE(drives.isEmpty());
    EXPECT_EQ(drives.first(), QStringLiteral("/"));
    EXPECT_EQ(drives.count(QStringLiteral("/")), 1);
    EXPECT_EQ(QSet<QString>(drives.begin(), drives.end()).size(), drives.size());
    for (const QString& drive : drives) {
        EXPECT_TRUE(drive.endsWith(QLatin1Char('/'))) << drive.toStdString();
        EXPECT_TRUE(QFileInfo(drive).isDir()) << drive.toStdString();
        EXPECT_FALSE(drive.startsWith(QLatin1String("/proc/")) || drive.startsWith(QLatin1String("/sys/")))
            << drive.toStdString();
    }

    for (const char* type : {"ext4", "xfs", "btrfs", "vfat", "exfat", "ntfs3", "nfs4", "fuse.sshfs"})
        EXPECT_TRUE(IsRealVolumeType(type)) << type;
    for (const char* type : {"proc", "sysfs", "tmpfs", "devtmpfs", "cgroup2", "squashfs", "overlay", "devpts", ""})
        EXPECT_FALSE(IsRealVolumeType(type)) << type;
}

TEST(LocalPathCompare, ExactOnThisPlatform)
{
    EXPECT_TRUE(PathsEqual(QStringLiteral("/tmp/Data/"), QStringLiteral("/tmp/Data/")));
#ifdef Q_OS_WIN
    EXPECT_TRUE(PathsEqual(QStringLiteral("C:\\Temp\\"), QStringLiteral("c:\\TEMP\\")));
    EXPECT_EQ(NormalizedPathForCompare(QStringLiteral("c:\\temp\\")), QStringLiteral("C:\\TEMP\\"));
#else
    EXPECT_FALSE(PathsEqual(QStringLiteral("/tmp/Data/"), QStringLiteral("/tmp/data/")));
    EXPECT_EQ(NormalizedPathForCompare(QStringLiteral("/tmp/Data/")), QStringLiteral("/tmp/Data/"));
#endif
}
