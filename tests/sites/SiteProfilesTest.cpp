// The site profile store on real files in a temporary program folder, and
// the private-profile rules it relies on to read files written on Windows.
#include "sites/PrivateProfile.h"
#include "sites/SiteProfiles.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QString ProfileFile(const QString& sName) { return SiteProfiles::FolderPath() + QLatin1Char('/') + sName; }

// Every path below `root` with its contents, to show that nothing changed.
QStringList Snapshot(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries << path + QLatin1Char('=') + QString::fromLatin1(ReadBytes(path).toHex());
    }
    entries.sort();
    return entries;
}

int InChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

SiteProfile Site(const QString& name, const QString& host, const QString& user = QStringLiteral("abc"),
                 const QString& pass = QStringLiteral("abc"), const QString& port = QStringLiteral("21"))
{
    return SiteProfile{name, host, user, pass, port};
}

}  // namespace

TEST(SiteProfilesTest, ShiftIsTenPerWindows1252Code)
{
    QString out;
    ASSERT_TRUE(SiteProfiles::EncodeProfileString(QStringLiteral("abc"), out));
    EXPECT_EQ(out, QStringLiteral("klm"));
    EXPECT_EQ(SiteProfiles::DecodeProfileString(QStringLiteral("klm")), QStringLiteral("abc"));
    ASSERT_TRUE(SiteProfiles::EncodeProfileString(QString(), out));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(SiteProfiles::DecodeProfileString(QStringLiteral("klm") + QChar(u'\0') + QStringLiteral("xyz")),
              QStringLiteral("abc"));

    // The shift goes by code, not by Unicode value: 'v' + 10 is 0x80, the euro sign.
    ASSERT_TRUE(SiteProfiles::EncodeProfileString(QStringLiteral("v\u00e9"), out));
    EXPECT_EQ(out, QStringLiteral("\u20ac\u00f3"));

    // Every code from 10 to 245 comes back unchanged.
    QString all;
    for (int code = 10; code <= 245; ++code) all += PrivateProfile::FromAnsiCode(static_cast<uchar>(code));
    ASSERT_TRUE(SiteProfiles::EncodeProfileString(all, out));
    EXPECT_EQ(out.size(), all.size());
    EXPECT_EQ(SiteProfiles::DecodeProfileString(out), all);

    EXPECT_FALSE(SiteProfiles::EncodeProfileString(QStringLiteral("a\u00ff"), out)) << "0xFF + 10 has no code";
    EXPECT_FALSE(SiteProfiles::EncodeProfileString(QStringLiteral("\u0100"), out)) << "no Windows-1252 code";
}

TEST(SiteProfilesTest, PrivateProfileBehavesLikeWindows)
{
    TestEnvironment env;
    const QString file = env.path(QStringLiteral("test.ini"));
    WriteBytes(file, "top=1\n[One]\nKey = \"quoted\" \n;key=comment\n\n[two]\r\nx='single'\r\n\r\n[ONE]\nkey=dup");

    EXPECT_EQ(PrivateProfile::GetString(QStringLiteral("one"), QStringLiteral("KEY"), QStringLiteral("-"), 50, file),
              QStringLiteral("quoted"));
    EXPECT_EQ(PrivateProfile::GetString(QStringLiteral("TWO"), QStringLiteral("x"), QString(), 50, file),
              QStringLiteral("single"));
    EXPECT_EQ(PrivateProfile::GetString(QStringLiteral("TWO"), QStringLiteral("x"), QString(), 4, file),
              QStringLiteral("sin"));
    EXPECT_EQ(PrivateProfile::GetString(QStringLiteral("one"), QStringLiteral("top"), QStringLiteral("-"), 50, file),
              QStringLiteral("-")) << "keys before the first section belong to none";
    EXPECT_EQ(PrivateProfile::GetString(QStringLiteral("one"), QStringLiteral(";key"), QStringLiteral("-"), 50, file),
              QStringLiteral("-"));

    ASSERT_TRUE(PrivateProfile::WriteStrings(QStringLiteral("ONE"),
                                             {{QStringLiteral("key"), QStringLiteral("new")},
                                              {QStringLiteral("added"), QStringLiteral("\u20ac")}},
                                             file));
    ASSERT_TRUE(PrivateProfile::WriteString(QStringLiteral("Three"), QStringLiteral("k"), QStringLiteral("v"), file));
    ASSERT_TRUE(PrivateProfile::WriteString(QStringLiteral("two"), QStringLiteral("y"), QStringLiteral("2"), file));
    EXPECT_EQ(ReadBytes(file), QByteArray("top=1\n[One]\nKey=new\r\n;key=comment\nadded=\x80\r\n\n[two]\r\n"
                                          "x='single'\r\ny=2\r\n\r\n[ONE]\nkey=dup\r\n[Three]\r\nk=v\r\n"));

    const QByteArray before = ReadBytes(file);
    EXPECT_FALSE(PrivateProfile::WriteString(QStringLiteral("two"), QStringLiteral("y"), QStringLiteral("a\nb"), file));
    EXPECT_FALSE(PrivateProfile::WriteString(QStringLiteral("two"), QStringLiteral("y"), QStringLiteral("\u0100"), file));
    EXPECT_FALSE(PrivateProfile::WriteString(QStringLiteral("two"), QStringLiteral("a=b"), QStringLiteral("1"), file));
    EXPECT_EQ(ReadBytes(file), before);
}

TEST(SiteProfilesTest, SaveWritesTheKeysAndReadsThemBack)
{
    TestEnvironment env;
    ASSERT_FALSE(QFileInfo::exists(SiteProfiles::FolderPath()));
    ASSERT_EQ(SiteProfiles::Save(Site(QStringLiteral("Home"), QStringLiteral("ftp.example.com")), true), QString());
    const QString file = ProfileFile(QStringLiteral("Home.Profile"));
    EXPECT_EQ(ReadBytes(file),
              QByteArray("[PROFILE]\r\nsname=Home\r\nadresa=ftp.example.com\r\nID=klm\r\npass=klm\r\nport=21\r\ntls=0\r\n"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file holds the password";
    ASSERT_EQ(::stat(QFile::encodeName(SiteProfiles::FolderPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "and so does its folder";

    SiteProfile read = SiteProfiles::Read(QStringLiteral("Home.Profile"));
    EXPECT_EQ(read.sName, QStringLiteral("Home"));
    EXPECT_EQ(read.sAddress, QStringLiteral("ftp.example.com"));
    EXPECT_EQ(read.sUserName, QStringLiteral("abc"));
    EXPECT_EQ(read.sPassword, QStringLiteral("abc"));
    EXPECT_EQ(read.sPort, QStringLiteral("21"));

    // Saved again with another host: the same file, keys in their order.
    ASSERT_EQ(SiteProfiles::Save(Site(QStringLiteral("Home"), QStringLiteral("ftp.example.org"),
                                      QStringLiteral("anonymous"), QStringLiteral("secret")), false),
              QString());
    EXPECT_EQ(SiteProfiles::ListSites(), QStringList{QStringLiteral("Home.Profile")});
    EXPECT_EQ(ReadBytes(file), QByteArray("[PROFILE]\r\nsname=Home\r\nadresa=ftp.example.org\r\nID=kxyx\x83wy\x7f}\r\n"
                                          "pass=\r\nport=21\r\ntls=0\r\n"))
        << "without the password stored, pass is empty";
    EXPECT_EQ(SiteProfiles::Read(QStringLiteral("Home.Profile")).sPassword, QString());

    ASSERT_EQ(SiteProfiles::Save(Site(QStringLiteral("Empty"), QString(), QString(), QString(), QString()), true),
              QString());
    read = SiteProfiles::Read(QStringLiteral("Empty.Profile"));
    EXPECT_EQ(read.sName, QStringLiteral("Empty"));
    EXPECT_TRUE(read.sAddress.isEmpty() && read.sUserName.isEmpty() && read.sPassword.isEmpty() && read.sPort.isEmpty());

    // A name of blanks is a file name; its value reads back trimmed, as on Windows.
    EXPECT_EQ(SiteProfiles::Save(Site(QStringLiteral("  "), QStringLiteral("h")), true), QString());
    EXPECT_TRUE(QFileInfo::exists(ProfileFile(QStringLiteral("  .Profile"))));

    read = SiteProfiles::Read(QStringLiteral("Missing.Profile"));
    EXPECT_TRUE(read.sName.isEmpty() && read.sAddress.isEmpty() && read.sUserName.isEmpty());

    EXPECT_TRUE(SiteProfiles::Delete(QStringLiteral("Empty.Profile")));
    EXPECT_FALSE(QFileInfo::exists(ProfileFile(QStringLiteral("Empty.Profile"))));
    EXPECT_FALSE(SiteProfiles::Delete(QStringLiteral("Empty.Profile")));
}

TEST(SiteProfilesTest, TlsChoiceIsKeptAndOnlyOneReadsAsOn)
{
    TestEnvironment env;
    SiteProfile site = Site(QStringLiteral("Secure"), QStringLiteral("ftp.example.com"));
    site.bUseTls = true;
    ASSERT_EQ(SiteProfiles::Save(site, true), QString());
    EXPECT_TRUE(ReadBytes(ProfileFile(QStringLiteral("Secure.Profile"))).endsWith("port=21\r\ntls=1\r\n"));
    EXPECT_TRUE(SiteProfiles::Read(QStringLiteral("Secure.Profile")).bUseTls);
    site.bUseTls = false;
    ASSERT_EQ(SiteProfiles::Save(site, true), QString());
    EXPECT_FALSE(SiteProfiles::Read(QStringLiteral("Secure.Profile")).bUseTls);

    // Written by hand or by something else: only "1" means TLS.
    for (const char* value : {"1", " 1 ", "yes", "true", "2", ""}) {
        WriteBytes(ProfileFile(QStringLiteral("Hand.Profile")),
                   QByteArray("[PROFILE]\r\nsname=Hand\r\nadresa=h\r\ntls=") + value + "\r\n");
        EXPECT_EQ(SiteProfiles::Read(QStringLiteral("Hand.Profile")).bUseTls, QByteArray(value).trimmed() == "1") << value;
    }
}

TEST(SiteProfilesTest, ReadCutsLongValues)
{
    TestEnvironment env;
    const QByteArray sname(60, 's'), adresa(80, 'a'), id(60, 'k'), port(60, '2');
    WriteBytes(ProfileFile(QStringLiteral("Long.Profile")),
               "[PROFILE]\r\nsname=" + sname + "\r\nadresa=" + adresa + "\r\nID=" + id + "\r\nport=" + port + "\r\n");
    const SiteProfile read = SiteProfiles::Read(QStringLiteral("Long.Profile"));
    EXPECT_EQ(read.sName, QString(49, QLatin1Char('s')));
    EXPECT_EQ(read.sAddress, QString(74, QLatin1Char('a')));
    EXPECT_EQ(read.sUserName, QString(49, QLatin1Char('a')));
    EXPECT_EQ(read.sPort, QString(49, QLatin1Char('2')));
    EXPECT_EQ(read.sPassword, QString()) << "a missing key reads as empty";
}

TEST(SiteProfilesTest, ListIgnoresCaseAndOtherFiles)
{
    TestEnvironment env;
    for (const char* name : {"b.Profile", "A.Profile", "x.txt", "c.PROFILE", "Profile", "a.Profile.bak"})
        WriteBytes(ProfileFile(QLatin1String(name)), "[PROFILE]\r\n");
    ASSERT_TRUE(QDir().mkpath(ProfileFile(QStringLiteral("folder.Profile"))));
    EXPECT_EQ(SiteProfiles::ListSites(),
              (QStringList{QStringLiteral("A.Profile"), QStringLiteral("b.Profile"), QStringLiteral("c.PROFILE")}));
}

TEST(SiteProfilesTest, WindowsFileReadsAndKeepsForeignLines)
{
    TestEnvironment env;
    const QString entry = QStringLiteral("Caf\u00e9 \u20ac.Profile");
    const QByteArray original = ReadBytes(QStringLiteral(KELVO_SITES_TEST_DATA "/Windows.Profile"));
    WriteBytes(ProfileFile(entry), original);

    const SiteProfile read = SiteProfiles::Read(entry);
    EXPECT_EQ(read.sName, QStringLiteral("Caf\u00e9 \u20ac"));
    EXPECT_EQ(read.sAddress, QStringLiteral("ftp.caf\u00e9.example"));
    EXPECT_EQ(read.sUserName, QStringLiteral("abc"));
    EXPECT_EQ(read.sPassword, QString());
    EXPECT_EQ(read.sPort, QStringLiteral("2121")) << "quotes removed";
    EXPECT_FALSE(read.bUseTls) << "written before TLS existed: plain FTP";

    // "xyz" shifted is 0x82 0x83 0x84.
    ASSERT_EQ(SiteProfiles::Save(Site(read.sName, QStringLiteral("ftp2.example.com"), QStringLiteral("xyz"),
                                      QStringLiteral("abc"), QStringLiteral("21")), true),
              QString());
    QByteArray expected = original;
    expected.replace("  adresa = ftp.caf\xe9.example \r\n", "adresa=ftp2.example.com\r\n");
    expected.replace("Id=klm\r\npass=\r\nport=\"2121\"\r\n", "Id=\x82\x83\x84\r\npass=klm\r\nport=21\r\n");
    expected.replace("Colour=blue\r\n", "Colour=blue\r\ntls=0\r\n");  // a key the file did not have yet: at the section's end
    ASSERT_NE(expected, original);
    EXPECT_EQ(ReadBytes(ProfileFile(entry)), expected);
}

TEST(SiteProfilesTest, RefusedSavesWriteNothing)
{
    TestEnvironment env;
    ASSERT_EQ(SiteProfiles::Save(Site(QStringLiteral("Home"), QStringLiteral("h")), true), QString());
    const QStringList before = Snapshot(env.path());

    for (const QString& name : {QStringLiteral("../x"), QStringLiteral("a/b"), QStringLiteral("a\\b"),
                                QStringLiteral("tab\there"), QStringLiteral("."), QStringLiteral(".."),
                                QString(300, QLatin1Char('n'))}) {
        EXPECT_FALSE(SiteProfiles::Save(Site(name, QStringLiteral("h")), true).isEmpty()) << name.toStdString();
    }
    EXPECT_TRUE(SiteProfiles::Save(Site(QStringLiteral("Home"), QStringLiteral("h"), QStringLiteral("\u00ff")), true)
                    .contains(QStringLiteral("user name")));
    EXPECT_TRUE(SiteProfiles::Save(Site(QStringLiteral("Home"), QStringLiteral("h"), QStringLiteral("u"),
                                        QStringLiteral("\u0100")), true)
                    .contains(QStringLiteral("password")));
    EXPECT_TRUE(SiteProfiles::Save(Site(QStringLiteral("Home"), QStringLiteral("\u0100.example")), true)
                    .contains(QStringLiteral("address")));
    EXPECT_EQ(Snapshot(env.path()), before);
    EXPECT_FALSE(SiteProfiles::Delete(QStringLiteral("../kelvo")));

    // Not stored, so not refused.
    EXPECT_EQ(SiteProfiles::Save(Site(QStringLiteral("Home"), QStringLiteral("h2"), QStringLiteral("u"),
                                      QStringLiteral("\u0100")), false),
              QString());
}

TEST(SiteProfilesTest, FailedWriteIsReportedAndKeepsOldProfile)
{
    TestEnvironment env;
    ASSERT_EQ(SiteProfiles::Save(Site(QStringLiteral("Home"), QStringLiteral("old.example.com")), true), QString());
    const QString file = ProfileFile(QStringLiteral("Home.Profile"));
    const QByteArray before = ReadBytes(file);

    // A full disk: the child may not write files past 100 bytes.
    const int status = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        return SiteProfiles::Save(Site(QStringLiteral("Home"), QString(500, QLatin1Char('h'))), true).isEmpty() ? 1
                                                                                                                 : 0;
    });
    EXPECT_EQ(status, 0) << "1: the failed write was reported as success";
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(SiteProfiles::ListSites(), QStringList{QStringLiteral("Home.Profile")}) << "no temporary file left";

    // A file where the folder should be (root may write into any folder).
    const QString folder = SiteProfiles::FolderPath();
    ASSERT_TRUE(QDir().rename(folder, folder + QStringLiteral(".away")));
    WriteBytes(folder, "not a folder");
    EXPECT_FALSE(SiteProfiles::Save(Site(QStringLiteral("Home"), QStringLiteral("new.example.com")), true).isEmpty());
    EXPECT_EQ(ReadBytes(folder), QByteArray("not a folder"));
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().rename(folder + QStringLiteral(".away"), folder));
    EXPECT_EQ(SiteProfiles::Read(QStringLiteral("Home.Profile")).sAddress, QStringLiteral("old.example.com"));
}
