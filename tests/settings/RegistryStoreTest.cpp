// The settings store: CRegister on the file-backed registry, read back
// through fresh backend objects so that every answer comes from the files.
#include "settings/CRegister.h"
#include "settings/FileRegistryBackend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace {

const QString kSection = QStringLiteral("\\Software\\Kelvo\\Settings");

class RegistryStoreTest : public ::testing::Test {
protected:
    QString folder() const { return m_dir.path() + QStringLiteral("/registry"); }
    QString machineFile() const { return folder() + QStringLiteral("/HKEY_LOCAL_MACHINE.reg"); }

    // A new backend per call: nothing survives in memory between calls.
    bool Save(quint32 root, const QString& section, const QString& name, const QString& value) const
    {
        FileRegistryBackend backend(folder());
        return CRegister(backend).REGSaveSetting(root, section, name, value);
    }
    QString Get(quint32 root, const QString& section, const QString& name,
                const QString& fallback = QStringLiteral("<default>")) const
    {
        FileRegistryBackend backend(folder());
        return CRegister(backend).REGGetSetting(root, section, name, fallback);
    }
    bool Delete(quint32 root, const QString& section, const QString& name = QString()) const
    {
        FileRegistryBackend backend(folder());
        return CRegister(backend).REGDeleteSetting(root, section, name);
    }

    QTemporaryDir m_dir;
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

mode_t Mode(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

// Runs `body` in a child process and returns its exit status (or -1 when it
// did not exit normally). The child never returns into the test framework.
int InChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(RegistryStoreTest, ValuesRoundTripAnyText)
{
    const QStringList texts = {
        QStringLiteral("plain"),
        QStringLiteral("two\nlines\r\nand a tab\t"),
        QStringLiteral("a=b==c"),
        QStringLiteral("[Software\\Other]"),
        QStringLiteral("Grüße, 日本語, emoji \U0001F600"),
        QStringLiteral("@"),
        QStringLiteral("%41%"),
        QStringLiteral("; not a comment"),
        QStringLiteral("  padded  "),
        QString(QChar(0x7F)) + QChar(0x01),
    };
    for (qsizetype i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("Value %1 = [x]").arg(i), texts[i]));
    for (qsizetype i = 0; i < texts.size(); ++i)
        EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("Value %1 = [x]").arg(i)), texts[i]) << i;

    // Names and key components with the format's own characters survive too.
    const QString oddSection = QStringLiteral("Software\\Kelvo\\Sites\\a=b [c] @d;e%f\\ünï");
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, oddSection, QStringLiteral("=;[@%"), QStringLiteral("odd")));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, oddSection, QStringLiteral("=;[@%")), QStringLiteral("odd"));
}

TEST_F(RegistryStoreTest, MissingOrEmptyValuesReadAsTheDefault)
{
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV"), QStringLiteral("1")), QStringLiteral("1"));
    EXPECT_FALSE(QFileInfo::exists(folder())) << "reading creates nothing";

    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV"), QString()));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV"), QStringLiteral("1")), QStringLiteral("1"));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV"), QString()), QString());
}

TEST_F(RegistryStoreTest, SectionsAreNormalisedAndNamesIgnoreCase)
{
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, QStringLiteral("\\Software\\Kelvo\\Settings\\"), QStringLiteral("LOG FILE NAME"),
                     QStringLiteral("FTP.LOG")));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, QStringLiteral("Software\\Kelvo\\Settings"), QStringLiteral("LOG FILE NAME")),
              QStringLiteral("FTP.LOG"));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, QStringLiteral("\\SOFTWARE\\kelvo\\settings"), QStringLiteral("log file name")),
              QStringLiteral("FTP.LOG"));

    // Writing under another spelling replaces the value instead of adding one.
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, QStringLiteral("software\\KELVO\\Settings"), QStringLiteral("Log File Name"),
                     QStringLiteral("OTHER.LOG")));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("LOG FILE NAME")), QStringLiteral("OTHER.LOG"));
    EXPECT_EQ(ReadAll(machineFile()).toLower().count("log file name="), 1);

    // Only one backslash is removed at each end: an empty component is refused.
    EXPECT_FALSE(Save(kHKEY_LOCAL_MACHINE, QStringLiteral("\\\\Software"), QStringLiteral("X"), QStringLiteral("1")));
    EXPECT_FALSE(Save(kHKEY_LOCAL_MACHINE, QString(), QStringLiteral("X"), QStringLiteral("1")));
}

TEST_F(RegistryStoreTest, StarNamesTheDefaultValue)
{
    const QString key = QStringLiteral("Software\\Kelvo\\Sites\\Home");
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, key, QStringLiteral("*"), QStringLiteral("default text")));
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, key, QStringLiteral("@"), QStringLiteral("a value named @")));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, key, QStringLiteral("*")), QStringLiteral("default text"));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, key, QStringLiteral("@")), QStringLiteral("a value named @"));
    EXPECT_TRUE(ReadAll(folder() + QStringLiteral("/HKEY_CURRENT_USER.reg")).contains("\n@=default text\n"));

    EXPECT_TRUE(Delete(kHKEY_CURRENT_USER, key, QStringLiteral("*")));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, key, QStringLiteral("*")), QStringLiteral("<default>"));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, key, QStringLiteral("@")), QStringLiteral("a value named @"));
}

TEST_F(RegistryStoreTest, RootsAreSeparate)
{
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("X"), QStringLiteral("machine")));
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, kSection, QStringLiteral("X"), QStringLiteral("user")));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("X")), QStringLiteral("machine"));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, kSection, QStringLiteral("X")), QStringLiteral("user"));
    EXPECT_FALSE(Save(0x80000003, kSection, QStringLiteral("X"), QStringLiteral("users")));
    EXPECT_EQ(Get(0x80000003, kSection, QStringLiteral("X")), QStringLiteral("<default>"));
}

TEST_F(RegistryStoreTest, DeletingValuesAndWholeKeys)
{
    const QString sites = QStringLiteral("Software\\Kelvo\\Sites");
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, sites + QStringLiteral("\\A"), QStringLiteral("Host"), QStringLiteral("a")));
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, sites + QStringLiteral("\\A\\Inner"), QStringLiteral("Host"), QStringLiteral("i")));
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, sites + QStringLiteral("\\AB"), QStringLiteral("Host"), QStringLiteral("ab")));

    EXPECT_TRUE(Delete(kHKEY_CURRENT_USER, sites + QStringLiteral("\\A"), QStringLiteral("host")));
    EXPECT_FALSE(Delete(kHKEY_CURRENT_USER, sites + QStringLiteral("\\A"), QStringLiteral("Host"))) << "already gone";
    EXPECT_FALSE(Delete(kHKEY_CURRENT_USER, sites + QStringLiteral("\\Nowhere"), QStringLiteral("Host")));

    // Without a value name the key goes, with everything below it, and
    // nothing that merely starts with the same letters.
    EXPECT_TRUE(Delete(kHKEY_CURRENT_USER, sites + QStringLiteral("\\a")));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, sites + QStringLiteral("\\A\\Inner"), QStringLiteral("Host")),
              QStringLiteral("<default>"));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, sites + QStringLiteral("\\AB"), QStringLiteral("Host")), QStringLiteral("ab"));
    EXPECT_FALSE(Delete(kHKEY_CURRENT_USER, sites + QStringLiteral("\\A"))) << "a missing key cannot be deleted";

    // The subkey is taken as given: a leading backslash names no key.
    EXPECT_FALSE(Delete(kHKEY_CURRENT_USER, QStringLiteral("\\") + sites + QStringLiteral("\\AB")));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, sites + QStringLiteral("\\AB"), QStringLiteral("Host")), QStringLiteral("ab"));
}

TEST_F(RegistryStoreTest, StoreIsReadableByTheUserAlone)
{
    ::umask(022);
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("Firewall Password"), QStringLiteral("secret")));
    EXPECT_EQ(Mode(folder()), 0700u);
    EXPECT_EQ(Mode(machineFile()), 0600u);
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("Firewall Password"), QStringLiteral("changed")));
    EXPECT_EQ(Mode(machineFile()), 0600u) << "a rewrite keeps the file private";
    for (const QString& entry : QDir(folder()).entryList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(ReadAll(folder() + QLatin1Char('/') + entry).contains("secret")) << entry.toStdString();
}

TEST_F(RegistryStoreTest, CorruptFileReadsAsDefaultsAndIsKeptAside)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QByteArray garbage = "[Software\\Kelvo\\Settings\nFTP PASV=1\n\xff\xfe binary";
    WriteAll(machineFile(), garbage);

    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV"), QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(ReadAll(machineFile()), garbage) << "reading leaves the file alone";

    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("LOG FILE SIZE"), QStringLiteral("1000")));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("LOG FILE SIZE")), QStringLiteral("1000"));

    const QStringList backups = QDir(folder()).entryList({QStringLiteral("HKEY_LOCAL_MACHINE.reg.corrupt-*")});
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(ReadAll(folder() + QLatin1Char('/') + backups.first()), garbage);
}

TEST_F(RegistryStoreTest, InvalidTextInAFileIsCorruptNotGarbled)
{
    FileRegistryBackend::Store store;
    EXPECT_TRUE(FileRegistryBackend::Parse("; comment\n[A\\B]\nx=%41\n@=\n", store));
    ASSERT_EQ(store.size(), 1);
    EXPECT_EQ(store[0].values[0].data, QStringLiteral("A"));
    EXPECT_TRUE(store[0].values[1].name.isEmpty());

    for (const QByteArray& text : {QByteArray("x=1\n"),                 // value before any key
                                  QByteArray("[A]\nx=%4\n"),           // cut escape
                                  QByteArray("[A]\nx=%ZZ\n"),          // bad escape
                                  QByteArray("[A]\nx=a=b\n"),          // raw '=' in the data
                                  QByteArray("[A]\nx=%FF\n"),          // not UTF-8
                                  QByteArray("[A]\nx=1\nX=2\n"),       // duplicate value
                                  QByteArray("[A]\n[a]\n"),            // duplicate key
                                  QByteArray("[A\\\\B]\n"),            // empty component
                                  QByteArray("[A]\nno equals sign\n"),
                                  // UTF-8 cut off after its first byte, found by fuzzing: it
                                  // read as an empty name, which the store then wrote out as a
                                  // file it could not read back, losing every setting
                                  QByteArray("[\xD2]\n"),
                                  QByteArray("[A]\nx=%D2\n"),
                                  QByteArray("[A]\n%E2%82=1\n"),
                                  // an escaped '\' inside a component, also found by fuzzing
                                  QByteArray("[A\\%5CB]\n")})
        EXPECT_FALSE(FileRegistryBackend::Parse(text, store)) << text.toHex().constData();
}

TEST_F(RegistryStoreTest, FailedWriteLeavesThePreviousContent)
{
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV"), QStringLiteral("1")));
    const QByteArray before = ReadAll(machineFile());

    // In a child whose files may not grow past 300 bytes (as on a full
    // disk), a large value cannot be written: the save must say so.
    const int status = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{300, 300};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        return Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("BIG"), QString(5000, QLatin1Char('x'))) ? 1 : 0;
    });
    EXPECT_EQ(status, 0) << "1: the failed write was reported as success";

    EXPECT_EQ(ReadAll(machineFile()), before);
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV")), QStringLiteral("1"));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("BIG")), QStringLiteral("<default>"));
    EXPECT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("AFTER"), QStringLiteral("ok")))
        << "a failed write leaves no lock behind";
}

TEST_F(RegistryStoreTest, ReadOnlyStoreStillReads)
{
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV"), QStringLiteral("0")));
    const QByteArray before = ReadAll(machineFile());

    // Root may write anywhere, so the refused writer is another user: the
    // store belongs to "nobody" and its folder is read-only to its owner.
    const bool bRoot = ::geteuid() == 0;
    const uid_t nobody = 65534;
    auto asOwner = [&](const QString& path) {
        return !bRoot || ::chown(QFile::encodeName(path).constData(), nobody, nobody) == 0;
    };
    ASSERT_TRUE(asOwner(folder()));
    ASSERT_TRUE(asOwner(machineFile()));
    for (const QString& entry : QDir(folder()).entryList(QDir::Files | QDir::Hidden))
        ASSERT_TRUE(asOwner(folder() + QLatin1Char('/') + entry));
    ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), 0500), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);

    const int status = InChild([&] {
        if (bRoot && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) return 9;
        int failures = 0;
        if (Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV")) != QStringLiteral("0")) failures |= 1;
        if (Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV"), QStringLiteral("1"))) failures |= 2;
        if (Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("NEW"), QStringLiteral("1"))) failures |= 2;
        if (Delete(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("FTP PASV"))) failures |= 4;
        if (Delete(kHKEY_LOCAL_MACHINE, QStringLiteral("Software\\Kelvo"))) failures |= 4;
        return failures;
    });
    ::chmod(QFile::encodeName(folder()).constData(), 0700);
    EXPECT_EQ(status, 0) << "1: read failed, 2: a write claimed success, 4: a deletion claimed success";
    EXPECT_EQ(ReadAll(machineFile()), before);
}

TEST_F(RegistryStoreTest, ConcurrentWritersKeepEachOthersValues)
{
    constexpr int kWriters = 4;
    constexpr int kValuesEach = 20;
    QList<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kValuesEach; ++i)
                if (!Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("W%1 V%2").arg(writer).arg(i),
                          QString::number(writer * 100 + i)))
                    ++failures;
            ::_exit(failures);
        }
        ASSERT_GT(pid, 0);
        children << pid;
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int writer = 0; writer < kWriters; ++writer)
        for (int i = 0; i < kValuesEach; ++i)
            EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("W%1 V%2").arg(writer).arg(i)),
                      QString::number(writer * 100 + i));
}
