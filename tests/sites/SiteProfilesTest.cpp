// Site profiles on real files, and the private-profile rules that read files written on Windows.
#include "sites/PrivateProfile.h"
#include "sites/SiteProfiles.h"

#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDirIterator>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QString ProfileFile(const QString& sName) { return SiteProfiles::FolderPath() + QLatin1Char('/') + sName; }

// Every path below `root` with its contents, to show that nothing changed.
QStringList Snapshot(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) { const QString path = it.next(); entries << path + '=' + QString::fromLatin1(ReadTestFile(path).toHex()); }
    entries.sort();
    return entries;
}

SiteProfile Site(const QString& name, const QString& host, const QString& user = "abc", const QString& pass = "abc", const QString& port = "21")
{ return SiteProfile{name, host, user, pass, port}; }

// A stored profile's fields in one line: "name|address|user|password|port|tls".
QString Fields(const QString& sEntry)
{
    const SiteProfile p = SiteProfiles::Read(sEntry);
    return QStringList{p.sName, p.sAddress, p.sUserName, p.sPassword, p.sPort, p.bUseTls ? "tls" : "plain"}.join('|');
}

}  // namespace

TEST(SiteProfilesTest, ShiftIsTenPerWindows1252Code)
{
    QString out;
    ASSERT_TRUE(SiteProfiles::EncodeProfileString("abc", out));
    EXPECT_EQ(out, "klm");
    ASSERT_TRUE(SiteProfiles::EncodeProfileString(QString(), out));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(SiteProfiles::DecodeProfileString(QStringLiteral("klm") + QChar(u'\0') + "xyz"), "abc");

    // The shift goes by code, not by Unicode value: 'v' + 10 is 0x80, the euro sign.
    ASSERT_TRUE(SiteProfiles::EncodeProfileString("v\u00e9", out));
    EXPECT_EQ(out, "\u20ac\u00f3");

    // Every code from 10 to 245 comes back unchanged.
    QString all;
    for (int code = 10; code <= 245; ++code) all += PrivateProfile::FromAnsiCode(static_cast<uchar>(code));
    ASSERT_TRUE(SiteProfiles::EncodeProfileString(all, out));
    EXPECT_EQ(out.size(), all.size());
    EXPECT_EQ(SiteProfiles::DecodeProfileString(out), all);

    EXPECT_FALSE(SiteProfiles::EncodeProfileString("a\u00ff", out)) << "0xFF + 10 has no code";
    EXPECT_FALSE(SiteProfiles::EncodeProfileString("\u0100", out)) << "no Windows-1252 code";
}

TEST(SiteProfilesTest, PrivateProfileBehavesLikeWindows)
{
    TestEnvironment env;
    const QString file = env.path("test.ini");
    ASSERT_TRUE(WriteTestFile(file, "top=1\n[One]\nKey = \"quoted\" \n;key=comment\n\n[two]\r\nx='single'\r\n\r\n[ONE]\nkey=dup"));

    EXPECT_EQ(PrivateProfile::GetString("one", "KEY", "-", 50, file), "quoted");
    EXPECT_EQ(PrivateProfile::GetString("TWO", "x", QString(), 50, file), "single");
    EXPECT_EQ(PrivateProfile::GetString("TWO", "x", QString(), 4, file), "sin");
    EXPECT_EQ(PrivateProfile::GetString("one", "top", "-", 50, file), "-") << "keys before the first section belong to none";
    EXPECT_EQ(PrivateProfile::GetString("one", ";key", "-", 50, file), "-");

    ASSERT_TRUE(PrivateProfile::WriteStrings("ONE", {{"key", "new"}, {"added", "\u20ac"}}, file));
    ASSERT_TRUE(PrivateProfile::WriteString("Three", "k", "v", file));
    ASSERT_TRUE(PrivateProfile::WriteString("two", "y", "2", file));
    EXPECT_EQ(ReadTestFile(file), QByteArray("top=1\n[One]\nKey=new\r\n;key=comment\nadded=\x80\r\n\n[two]\r\n"
                                          "x='single'\r\ny=2\r\n\r\n[ONE]\nkey=dup\r\n[Three]\r\nk=v\r\n"));

    const QByteArray before = ReadTestFile(file);
    EXPECT_FALSE(PrivateProfile::WriteString("two", "y", "a\nb", file));
    EXPECT_FALSE(PrivateProfile::WriteString("two", "y", "\u0100", file));
    EXPECT_FALSE(PrivateProfile::WriteString("two", "a=b", "1", file));
    EXPECT_EQ(ReadTestFile(file), before);
}

TEST(SiteProfilesTest, SaveWritesTheKeysAndReadsThemBack)
{
    TestEnvironment env;
    ASSERT_FALSE(QFileInfo::exists(SiteProfiles::FolderPath()));
    ASSERT_EQ(SiteProfiles::Save(Site("Home", "ftp.example.com"), true), QString());
    const QString file = ProfileFile("Home.Profile");
    EXPECT_EQ(ReadTestFile(file),
              QByteArray("[PROFILE]\r\nsname=Home\r\nadresa=ftp.example.com\r\nID=klm\r\npass=klm\r\nport=21\r\ntls=0\r\n"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file holds the password";
    ASSERT_EQ(::stat(QFile::encodeName(SiteProfiles::FolderPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "and so does its folder";
    EXPECT_EQ(Fields("Home.Profile"), "Home|ftp.example.com|abc|abc|21|plain");

    // Saved again with another host: the same file, keys in their order;
    // without the password stored, pass is empty.
    ASSERT_EQ(SiteProfiles::Save(Site("Home", "ftp.example.org", "anonymous", "secret"), false), QString());
    EXPECT_EQ(SiteProfiles::ListSites(), QStringList{"Home.Profile"});
    EXPECT_EQ(ReadTestFile(file), QByteArray("[PROFILE]\r\nsname=Home\r\nadresa=ftp.example.org\r\nID=kxyx\x83wy\x7f}\r\n"
                                          "pass=\r\nport=21\r\ntls=0\r\n"));
    EXPECT_EQ(Fields("Home.Profile"), "Home|ftp.example.org|anonymous||21|plain");

    SiteProfile secure = Site("Empty", QString(), QString(), QString(), QString());
    secure.bUseTls = true;
    ASSERT_EQ(SiteProfiles::Save(secure, true), QString());
    EXPECT_TRUE(ReadTestFile(ProfileFile("Empty.Profile")).endsWith("port=\r\ntls=1\r\n"));
    EXPECT_EQ(Fields("Empty.Profile"), "Empty|||||tls");
    EXPECT_EQ(Fields("Missing.Profile"), "|||||plain");
    // A name of blanks is a file name; its value reads back trimmed, as on Windows.
    EXPECT_EQ(SiteProfiles::Save(Site("  ", "h"), true), QString());
    EXPECT_TRUE(QFileInfo::exists(ProfileFile("  .Profile")));

    EXPECT_TRUE(SiteProfiles::Delete("Empty.Profile"));
    EXPECT_FALSE(QFileInfo::exists(ProfileFile("Empty.Profile")));
    EXPECT_FALSE(SiteProfiles::Delete("Empty.Profile"));
}

TEST(SiteProfilesTest, HandWrittenFilesOnlyOneIsTlsLongValuesAreCutAndAllAreListed)
{
    TestEnvironment env;
    for (const char* value : {"1", " 1 ", "yes", "true", "2", ""}) {
        ASSERT_TRUE(WriteTestFile(ProfileFile("Hand.Profile"), QByteArray("[PROFILE]\r\nsname=Hand\r\ntls=") + value + "\r\n"));
        EXPECT_EQ(SiteProfiles::Read("Hand.Profile").bUseTls, QByteArray(value).trimmed() == "1") << value;
    }
    const QByteArray sname(60, 's'), adresa(80, 'a'), id(60, 'k'), port(60, '2');
    ASSERT_TRUE(WriteTestFile(ProfileFile("Long.Profile"),
                              "[PROFILE]\r\nsname=" + sname + "\r\nadresa=" + adresa + "\r\nID=" + id + "\r\nport=" + port + "\r\n"));
    EXPECT_EQ(Fields("Long.Profile"),
              QString(49, 's') + '|' + QString(74, 'a') + '|' + QString(49, 'a') + "||" + QString(49, '2') + "|plain");

    // The list: letter case aside, and no other files.
    for (const char* name : {"b.Profile", "A.Profile", "x.txt", "c.PROFILE", "Profile", "a.Profile.bak"})
        ASSERT_TRUE(WriteTestFile(ProfileFile(QLatin1String(name)), "[PROFILE]\r\n"));
    ASSERT_TRUE(QDir().mkpath(ProfileFile("folder.Profile")));
    EXPECT_EQ(SiteProfiles::ListSites(), (QStringList{"A.Profile", "b.Profile", "c.PROFILE", "Hand.Profile", "Long.Profile"}));
}

TEST(SiteProfilesTest, WindowsFileReadsAndKeepsForeignLines)
{
    TestEnvironment env;
    const QString entry = "Caf\u00e9 \u20ac.Profile";
    const QByteArray original = ReadTestFile(QStringLiteral(KELVO_SITES_TEST_DATA "/Windows.Profile"));
    ASSERT_TRUE(WriteTestFile(ProfileFile(entry), original));

    // Quotes removed; written before TLS existed: plain FTP.
    EXPECT_EQ(Fields(entry), "Caf\u00e9 \u20ac|ftp.caf\u00e9.example|abc||2121|plain");

    // "xyz" shifted is 0x82 0x83 0x84.
    ASSERT_EQ(SiteProfiles::Save(Site("Caf\u00e9 \u20ac", "ftp2.example.com", "xyz", "abc", "21"), true), QString());
    QByteArray expected = original;
    expected.replace("  adresa = ftp.caf\xe9.example \r\n", "adresa=ftp2.example.com\r\n");
    expected.replace("Id=klm\r\npass=\r\nport=\"2121\"\r\n", "Id=\x82\x83\x84\r\npass=klm\r\nport=21\r\n");
    expected.replace("Colour=blue\r\n", "Colour=blue\r\ntls=0\r\n");  // a key the file did not have yet: at the section's end
    ASSERT_NE(expected, original);
    EXPECT_EQ(ReadTestFile(ProfileFile(entry)), expected);
}

TEST(SiteProfilesTest, RefusedSavesWriteNothing)
{
    TestEnvironment env;
    ASSERT_EQ(SiteProfiles::Save(Site("Home", "h"), true), QString());
    const QStringList before = Snapshot(env.path());

    for (const QString& name : QStringList{"../x", "a/b", "a\\b", "tab\there", ".", "..", QString(300, QLatin1Char('n'))})
        EXPECT_FALSE(SiteProfiles::Save(Site(name, "h"), true).isEmpty()) << name.toStdString();
    for (const auto& [site, what] : {std::pair{Site("Home", "h", "\u00ff"), "user name"},
                                     {Site("Home", "h", "u", "\u0100"), "password"}, {Site("Home", "\u0100.example"), "address"}})
        EXPECT_TRUE(SiteProfiles::Save(site, true).contains(QLatin1String(what))) << what;
    EXPECT_FALSE(SiteProfiles::Delete("../Profiles/Home.Profile"));
    EXPECT_EQ(Snapshot(env.path()), before);

    // Not stored, so not refused.
    EXPECT_EQ(SiteProfiles::Save(Site("Home", "h2", "u", "\u0100"), false), QString());
}

TEST(SiteProfilesTest, FailedWriteIsReportedAndKeepsOldProfile)
{
    TestEnvironment env;
    ASSERT_EQ(SiteProfiles::Save(Site("Home", "old.example.com"), true), QString());
    const QString file = ProfileFile("Home.Profile");
    const QByteArray before = ReadTestFile(file);

    // A full disk: the child may not write files past 100 bytes.
    const int status = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        return SiteProfiles::Save(Site("Home", QString(500, QLatin1Char('h'))), true).isEmpty() ? 1 : 0;
    });
    EXPECT_EQ(status, 0) << "1: the failed write was reported as success";
    EXPECT_EQ(ReadTestFile(file), before);
    EXPECT_EQ(SiteProfiles::ListSites(), QStringList{"Home.Profile"}) << "no temporary file left";

    // A file where the folder should be (root may write into any folder).
    const QString folder = SiteProfiles::FolderPath();
    ASSERT_TRUE(QDir().rename(folder, folder + ".away"));
    ASSERT_TRUE(WriteTestFile(folder, "not a folder"));
    EXPECT_FALSE(SiteProfiles::Save(Site("Home", "new.example.com"), true).isEmpty());
    EXPECT_EQ(ReadTestFile(folder), QByteArray("not a folder"));
}
