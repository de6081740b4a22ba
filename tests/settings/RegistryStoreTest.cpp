// The settings store on files, read back through fresh backends so that every answer comes from the files.
#include "TestFiles.h"
#include "settings/CRegister.h"
#include "settings/FileRegistryBackend.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QString kSection = "\\Software\\Kelvo\\Settings";

class RegistryStoreTest : public ::testing::Test {
protected:
    QString folder() const { return m_dir.path() + "/registry"; }
    QString machineFile() const { return folder() + "/HKEY_LOCAL_MACHINE.reg"; }

    // A new backend per call: nothing survives in memory between calls.
    bool Save(quint32 root, const QString& section, const QString& name, const QString& value) const
    { FileRegistryBackend backend(folder()); return CRegister(backend).REGSaveSetting(root, section, name, value); }
    QString Get(quint32 root, const QString& section, const QString& name, const QString& fallback = "<default>") const
    { FileRegistryBackend backend(folder()); return CRegister(backend).REGGetSetting(root, section, name, fallback); }
    bool Delete(quint32 root, const QString& section, const QString& name = QString()) const
    { FileRegistryBackend backend(folder()); return CRegister(backend).REGDeleteSetting(root, section, name); }

    QTemporaryDir m_dir;
};

mode_t Mode(const QString& path) { struct stat st {}; return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0; }

}  // namespace

TEST_F(RegistryStoreTest, ValuesRoundTripAnyTextInFilesOnlyTheUserReads)
{
    ::umask(022);
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, "Firewall Password", "secret"));
    EXPECT_EQ(Mode(folder()), 0700u);
    EXPECT_EQ(Mode(machineFile()), 0600u);
    const QStringList texts = {
        "plain", "two\nlines\r\nand a tab\t", "a=b==c", "[Software\\Other]", "Grüße, 日本語, emoji \U0001F600", "@", "%41%",
        "; not a comment", "  padded  ", QString(QChar(0x7F)) + QChar(0x01),
    };
    for (qsizetype i = 0; i < texts.size(); ++i) ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("Value %1 = [x]").arg(i), texts[i]));
    for (qsizetype i = 0; i < texts.size(); ++i)
        EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, QStringLiteral("Value %1 = [x]").arg(i)), texts[i]) << i;

    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, "Firewall Password", "changed"));
    EXPECT_EQ(Mode(machineFile()), 0600u) << "a rewrite keeps the file private";
    for (const QString& entry : QDir(folder()).entryList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(ReadTestFile(folder() + '/' + entry).contains("secret")) << entry.toStdString();

    // Names and key components with the format's own characters survive too.
    const QString oddSection = "Software\\Kelvo\\Sites\\a=b [c] @d;e%f\\ünï";
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, oddSection, "=;[@%", "odd"));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, oddSection, "=;[@%"), "odd");
}

TEST_F(RegistryStoreTest, DefaultsSectionsNamesAndRoots)
{
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, "FTP PASV", "1"), "1");
    EXPECT_FALSE(QFileInfo::exists(folder())) << "reading creates nothing";

    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, "FTP PASV", QString()));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, "FTP PASV", "1"), "1");

    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, "\\Software\\Kelvo\\Settings\\", "LOG FILE NAME", "FTP.LOG"));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, "Software\\Kelvo\\Settings", "LOG FILE NAME"), "FTP.LOG");
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, "\\SOFTWARE\\kelvo\\settings", "log file name"), "FTP.LOG");

    // Writing under another spelling replaces the value instead of adding one.
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, "software\\KELVO\\Settings", "Log File Name", "OTHER.LOG"));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, "LOG FILE NAME"), "OTHER.LOG");
    EXPECT_EQ(ReadTestFile(machineFile()).toLower().count("log file name="), 1);

    // Only one backslash is removed at each end: an empty component is refused.
    EXPECT_FALSE(Save(kHKEY_LOCAL_MACHINE, "\\\\Software", "X", "1"));
    EXPECT_FALSE(Save(kHKEY_LOCAL_MACHINE, QString(), "X", "1"));

    const QString key = "Software\\Kelvo\\Sites\\Home";
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, key, "*", "default text"));
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, key, "@", "a value named @"));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, key, "*"), "default text");
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, key, "@"), "a value named @");
    EXPECT_TRUE(ReadTestFile(folder() + "/HKEY_CURRENT_USER.reg").contains("\n@=default text\n"));

    EXPECT_TRUE(Delete(kHKEY_CURRENT_USER, key, "*"));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, key, "*"), "<default>");
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, key, "@"), "a value named @");

    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, "X", "machine"));
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, kSection, "X", "user"));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, "X"), "machine");
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, kSection, "X"), "user");
    EXPECT_FALSE(Save(0x80000003, kSection, "X", "users"));
    EXPECT_EQ(Get(0x80000003, kSection, "X"), "<default>");
}

TEST_F(RegistryStoreTest, DeletingValuesAndWholeKeys)
{
    const QString sites = "Software\\Kelvo\\Sites";
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, sites + "\\A", "Host", "a"));
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, sites + "\\A\\Inner", "Host", "i"));
    ASSERT_TRUE(Save(kHKEY_CURRENT_USER, sites + "\\AB", "Host", "ab"));

    EXPECT_TRUE(Delete(kHKEY_CURRENT_USER, sites + "\\A", "host"));
    EXPECT_FALSE(Delete(kHKEY_CURRENT_USER, sites + "\\A", "Host")) << "already gone";
    EXPECT_FALSE(Delete(kHKEY_CURRENT_USER, sites + "\\Nowhere", "Host"));

    // Without a value name the key goes, with everything below it, and
    // nothing that merely starts with the same letters.
    EXPECT_TRUE(Delete(kHKEY_CURRENT_USER, sites + "\\a"));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, sites + "\\A\\Inner", "Host"), "<default>");
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, sites + "\\AB", "Host"), "ab");
    EXPECT_FALSE(Delete(kHKEY_CURRENT_USER, sites + "\\A")) << "a missing key cannot be deleted";

    // The subkey is taken as given: a leading backslash names no key.
    EXPECT_FALSE(Delete(kHKEY_CURRENT_USER, "\\" + sites + "\\AB"));
    EXPECT_EQ(Get(kHKEY_CURRENT_USER, sites + "\\AB", "Host"), "ab");
}

TEST_F(RegistryStoreTest, CorruptFileReadsAsDefaultsAndIsKeptAside)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QByteArray garbage = "[Software\\Kelvo\\Settings\nFTP PASV=1\n\xff\xfe binary";
    ASSERT_TRUE(WriteTestFile(machineFile(), garbage));

    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, "FTP PASV", "0"), "0");
    EXPECT_EQ(ReadTestFile(machineFile()), garbage) << "reading leaves the file alone";

    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, "LOG FILE SIZE", "1000"));
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, "LOG FILE SIZE"), "1000");

    const QStringList backups = QDir(folder()).entryList({"HKEY_LOCAL_MACHINE.reg.corrupt-*"});
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(ReadTestFile(folder() + QLatin1Char('/') + backups.first()), garbage);

    // What is corrupt: invalid text is refused, never read garbled.
    FileRegistryBackend::Store store;
    EXPECT_TRUE(FileRegistryBackend::Parse("; comment\n[A\\B]\nx=%41\n@=\n", store));
    ASSERT_EQ(store.size(), 1);
    EXPECT_EQ(store[0].values[0].data, "A");
    EXPECT_TRUE(store[0].values[1].name.isEmpty());

    // Refused whole: a value before any key, a cut or a bad escape, a raw '=' in the data, data that is
    // not UTF-8, a duplicate value or key, an empty component, a line without '='. Found by fuzzing: UTF-8
    // cut off after its first byte (it read as an empty name, which the store then wrote out as a file it
    // could not read back, losing every setting), and an escaped '\' inside a component.
    for (const char* text : {"x=1\n", "[A]\nx=%4\n", "[A]\nx=%ZZ\n", "[A]\nx=a=b\n", "[A]\nx=%FF\n", "[A]\nx=1\nX=2\n",
                             "[A]\n[a]\n", "[A\\\\B]\n", "[A]\nno equals sign\n", "[\xD2]\n", "[A]\nx=%D2\n",
                             "[A]\n%E2%82=1\n", "[A\\%5CB]\n"})
        EXPECT_FALSE(FileRegistryBackend::Parse(text, store)) << QByteArray(text).toHex().constData();
}

TEST_F(RegistryStoreTest, FailedOrRefusedWritesLeaveThePreviousContent)
{
    ASSERT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, "FTP PASV", "1"));
    QByteArray before = ReadTestFile(machineFile());

    // In a child whose files may not grow past 300 bytes (as on a full
    // disk), a large value cannot be written: the save must say so.
    int status = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{300, 300};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        return Save(kHKEY_LOCAL_MACHINE, kSection, "BIG", QString(5000, QLatin1Char('x'))) ? 1 : 0;
    });
    EXPECT_EQ(status, 0) << "1: the failed write was reported as success";

    EXPECT_EQ(ReadTestFile(machineFile()), before);
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, "FTP PASV"), "1");
    EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, "BIG"), "<default>");
    EXPECT_TRUE(Save(kHKEY_LOCAL_MACHINE, kSection, "AFTER", "ok")) << "a failed write leaves no lock behind";
    before = ReadTestFile(machineFile());

    // Root may write anywhere, so the refused writer is another user: the
    // store belongs to "nobody" and its folder is read-only to its owner.
    const bool bRoot = ::geteuid() == 0;
    const uid_t nobody = 65534;
    auto asOwner = [&](const QString& path) { return !bRoot || ::chown(QFile::encodeName(path).constData(), nobody, nobody) == 0; };
    ASSERT_TRUE(asOwner(folder()));
    for (const QString& entry : QDir(folder()).entryList(QDir::Files | QDir::Hidden)) ASSERT_TRUE(asOwner(folder() + '/' + entry));
    ASSERT_EQ(::chmod(QFile::encodeName(folder()).constData(), 0500), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);

    status = InChild([&] {
        if (bRoot && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) return 9;
        int failures = 0;
        if (Get(kHKEY_LOCAL_MACHINE, kSection, "FTP PASV") != "1") failures |= 1;
        if (Save(kHKEY_LOCAL_MACHINE, kSection, "FTP PASV", "0")) failures |= 2;
        if (Save(kHKEY_LOCAL_MACHINE, kSection, "NEW", "1")) failures |= 2;
        if (Delete(kHKEY_LOCAL_MACHINE, kSection, "FTP PASV")) failures |= 4;
        if (Delete(kHKEY_LOCAL_MACHINE, "Software\\Kelvo")) failures |= 4;
        return failures;
    });
    ::chmod(QFile::encodeName(folder()).constData(), 0700);
    EXPECT_EQ(status, 0) << "1: read failed, 2: a write claimed success, 4: a deletion claimed success";
    EXPECT_EQ(ReadTestFile(machineFile()), before);
}

TEST_F(RegistryStoreTest, ConcurrentWritersKeepEachOthersValues)
{
    const auto name = [](int writer, int i) { return QStringLiteral("W%1 V%2").arg(writer).arg(i); };
    QList<pid_t> children;
    for (int writer = 0; writer < 4; ++writer) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            bool bOk = true;
            for (int i = 0; i < 20; ++i) bOk = Save(kHKEY_LOCAL_MACHINE, kSection, name(writer, i), name(writer, i)) && bOk;
            ::_exit(bOk ? 0 : 1);
        }
        ASSERT_GT(pid, 0);
        children << pid;
    }
    int status = 0;
    for (pid_t pid : children) EXPECT_TRUE(::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int writer = 0; writer < 4; ++writer)
        for (int i = 0; i < 20; ++i) EXPECT_EQ(Get(kHKEY_LOCAL_MACHINE, kSection, name(writer, i)), name(writer, i));
}
