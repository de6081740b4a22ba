// Conversions of stored texts, the names and ports a user may type, the
// geometry rules, the start-up entry and the program's folder.
#include "MemoryRegistryBackend.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "settings/AppPaths.h"
#include "settings/CRegister.h"
#include "settings/GeometryRules.h"
#include "settings/Settings.h"
#include "settings/StartupEntry.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <tuple>

TEST(SettingsRules, StoredTextsTypedNamesAndPorts)
{
    for (const auto& [text, number] : {std::pair{"1000", 1000.0}, {"12kb", 12.0}, {"  1 000 ", 1000.0}, {"-2.5x", -2.5},
                                       {"1e3", 1000.0}, {"2e", 2.0} /* an exponent needs digits */, {"1.2.3", 1.2},
                                       {"kb12", 0.0}, {"", 0.0}, {"١٢", 0.0} /* only ASCII digits count */})
        EXPECT_EQ(Settings::LeadingNumber(QString::fromUtf8(text)), number) << text;
    for (const auto& [text, bTrue] : {std::pair{"True", true}, {"true", true}, {"TRUE", true}, {"1", true}, {"-1", true},
                                      {"2", true}, {"False", false}, {"false", false}, {"0", false}, {"", false},
                                      {"yes", false}, {"on", false}, {"1x", false}})
        EXPECT_EQ(Settings::ReadAsBoolean(text), bTrue) << text;
    for (const auto& [text, number] : {std::pair{"1", 1.0}, {" 1 ", 1.0}, {"yes", 0.0}, {"1 and more", 0.0}})
        EXPECT_EQ(Settings::NumberOrZero(text), number) << text;
    EXPECT_EQ(Settings::BooleanText(true), "True");
    EXPECT_EQ(Settings::BooleanText(false), "False");
    // Start-up deletes the log file: its name must not reach outside the log folder.
    for (const auto& [name, bPlain] : {std::pair{"FTP.LOG", true}, {"mine.log", true}, {" spaced.log ", true},
                                       {"../Profiles/Home.Profile", false}, {"..", false}, {".", false}, {"   ", false},
                                       {"", false}, {"logs\\\\x.log", false}, {"a/b", false}, {"/etc/passwd", false}})
        EXPECT_EQ(Settings::IsPlainLogFileName(name), bPlain) << name;
    for (const auto& [port, bValid] : {std::pair{"21", true}, {" 21 ", true}, {"1", true}, {"65535", true}, {"0", false},
                                       {"65536", false}, {"-1", false}, {"x", false}, {"", false}, {"2 1", false}})
        EXPECT_EQ(Settings::IsValidPort(port), bValid) << port;
}

namespace {

// "x,y WxH" of a decision, "-" for a part that keeps the designed placement.
QString Describe(const GeometryDecision& d)
{
    return (d.position ? QStringLiteral("%1,%2").arg(d.position->x()).arg(d.position->y()) : QStringLiteral("-")) + " "
           + (d.size ? QStringLiteral("%1x%2").arg(d.size->width()).arg(d.size->height()) : QStringLiteral("-"));
}

}  // namespace

TEST(Geometry, StoredTwipsApplyWhenCompleteSaneAndReachable)
{
    const QList<QRect> one = {QRect(0, 0, 1920, 1080)}, two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    // Top, left, height, width as stored; position and size asked for; the
    // designed size; the screens; the decision ("*": some position).
    const std::tuple<StoredGeometry, bool, bool, QSize, QList<QRect>, const char*> cases[] = {
        {{"1500", "3000", "6000", "9000"}, true, true, {800, 600}, one, "200,100 600x400"},
        {{"1500", "3000", ".6e4", "9000"}, true, true, {800, 600}, one, "200,100 600x400"},
        {{"1500", "3000", "6000", "9000"}, false, true, {800, 600}, one, "- 600x400"},
        {{"1500", "3000", "6000", "9000"}, true, false, {800, 600}, one, "200,100 -"},
        {{"1500", "", "6000", ""}, true, true, {800, 600}, one, "- -"},  // top without left, height without width
        {{"abc", "3000", "tall", "9000"}, true, true, {800, 600}, one, "- -"},
        {{"1500", "3000", "0", "-9000"}, true, true, {800, 600}, one, "200,100 -"},  // a window needs a positive size
        {{"1500", "3000", "6000", "7"}, true, true, {800, 600}, one, "200,100 -"},  // under half a pixel wide
        {{"1500", "3000", "7", "9000"}, true, true, {800, 600}, one, "200,100 -"},  // or high
        {{"1500", "3000", "1e30", "9000"}, true, true, {800, 600}, one, "* -"},      // absurd sizes are ignored
        // Entirely right of the only screen: dropped; partly on it: kept; a
        // second screen to the right makes the place reachable.
        {{"0", "30000", "", ""}, true, false, {100, 100}, one, "- -"},
        {{"0", "28000", "", ""}, true, false, {100, 100}, one, "* -"},
        {{"0", "30000", "", ""}, true, false, {100, 100}, two, "2000,0 -"},
        // The check uses the size the window is about to get: a 400-pixel window at -200 still shows its corner.
        {{"-3000", "-3000", "6000", "6000"}, true, true, {100, 100}, one, "-200,-200 400x400"},
    };
    for (const auto& [stored, bPosition, bSize, designed, screens, expected] : cases) {
        const QString decided = Describe(DecideGeometry(stored, bPosition, bSize, {}, designed, screens));
        const QString wanted = QString::fromLatin1(expected);
        if (wanted.startsWith('*')) {
            EXPECT_TRUE(!decided.startsWith('-') && decided.section(' ', 1) == wanted.section(' ', 1)) << decided.toStdString();
        } else {
            EXPECT_EQ(decided, wanted) << stored.sTop.toStdString() << " " << stored.sLeft.toStdString();
        }
    }
    EXPECT_EQ(Describe(DecideGeometry({"1500", "3000", "6000", "9000"}, true, true, TwipsPerPixel::FromDpi(144, 144), {800, 600}, one)),
              "300,150 900x600");
    EXPECT_DOUBLE_EQ(TwipsPerPixel::FromDpi(0, -1).y, 15.0) << "a nonsense DPI keeps the usual 15";
    const StoredGeometry encoded = EncodeGeometry(QPoint(-7, 33), QSize(1024, 768), {});
    EXPECT_EQ(encoded.sTop + " " + encoded.sLeft, "495 -105");
    EXPECT_EQ(Describe(DecideGeometry(encoded, true, true, {}, {800, 600}, one)), "-7,33 1024x768");
}

TEST(StartupEntryTest, WritesAndRemovesBothEntriesWithAQuotedPath)
{
    TestEnvironment env;
    MemoryRegistryBackend store;
    const CRegister reg(store);
    const QString run = QLatin1String(Settings::kRunSection).mid(1);
    EXPECT_EQ(StartupEntry::Command(), QCoreApplication::applicationFilePath() + " /STARTUP");
    EXPECT_EQ(StartupEntry::AutostartFilePath(), env.config() + "/autostart/kelvo.desktop");

    ASSERT_TRUE(StartupEntry::Write(reg));
    EXPECT_EQ(store.value(kHKEY_CURRENT_USER, run, "KELVO"), StartupEntry::Command());
    EXPECT_FALSE(store.has(kHKEY_LOCAL_MACHINE, run, "KELVO"));
    EXPECT_TRUE(ReadTestFile(StartupEntry::AutostartFilePath()).contains("\nExec="));
    EXPECT_TRUE(StartupEntry::Remove(reg));
    EXPECT_FALSE(store.has(kHKEY_CURRENT_USER, run, "KELVO"));
    EXPECT_FALSE(QFileInfo::exists(StartupEntry::AutostartFilePath()));
    EXPECT_FALSE(StartupEntry::Remove(reg)) << "nothing left to remove";
    store.bReadOnly = true;
    EXPECT_FALSE(StartupEntry::Write(reg)) << "a refused registry write is reported";

    // Inside quotes '$' and '"' are escaped by a backslash, which the key's own escaping doubles.
    for (const auto& [path, exec] : {std::pair{"/usr/bin/kelvo", "/usr/bin/kelvo /STARTUP"},
                                     {"/opt/My Apps/kelvo", "\"/opt/My Apps/kelvo\" /STARTUP"},
                                     {"/opt/$x\"y/kelvo", "\"/opt/\\\\$x\\\\\"y/kelvo\" /STARTUP"},
                                     {"/opt/a\\b", "\"/opt/a\\\\\\\\b\" /STARTUP"}}) {
        const QString text = StartupEntry::DesktopFileText(path);
        const qsizetype start = text.indexOf("\nExec=") + 6;
        EXPECT_EQ(text.mid(start, text.indexOf('\n', start) - start), exec) << path;
    }
}

TEST(ProgramFolder, FollowsKelvoHomeWithOneSeparator)
{
    TestEnvironment env;
    EXPECT_EQ(AppFolder(), env.home() + "/");
    EXPECT_EQ(GetAppFilePath("Log/FTP.LOG"), env.home() + "/Log/FTP.LOG");
    qputenv("KELVO_HOME", (env.home() + "//sub/..///").toUtf8());
    EXPECT_EQ(AppFolder(), env.home() + "/");
    qputenv("KELVO_HOME", "");
    EXPECT_EQ(AppFolder(), QCoreApplication::applicationDirPath() + "/") << "the executable's folder is writable here";
}
