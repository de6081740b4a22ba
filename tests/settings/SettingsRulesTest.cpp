// Conversions of stored texts, the geometry rules, the start-up entry and the
// program's folder.
#include "MemoryRegistryBackend.h"
#include "TestEnvironment.h"
#include "settings/AppPaths.h"
#include "settings/CRegister.h"
#include "settings/GeometryRules.h"
#include "settings/Settings.h"
#include "settings/StartupEntry.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

TEST(StoredNumbers, LeadingNumberTakesWhatFormsANumber)
{
    EXPECT_EQ(Settings::LeadingNumber(QStringLiteral("1000")), 1000.0);
    EXPECT_EQ(Settings::LeadingNumber(QStringLiteral("12kb")), 12.0);
    EXPECT_EQ(Settings::LeadingNumber(QStringLiteral("  1 000 ")), 1000.0);
    EXPECT_EQ(Settings::LeadingNumber(QStringLiteral("-2.5x")), -2.5);
    EXPECT_EQ(Settings::LeadingNumber(QStringLiteral("1e3")), 1000.0);
    EXPECT_EQ(Settings::LeadingNumber(QStringLiteral("2e")), 2.0) << "an exponent needs digits";
    EXPECT_EQ(Settings::LeadingNumber(QStringLiteral("1.2.3")), 1.2);
    EXPECT_EQ(Settings::LeadingNumber(QStringLiteral("kb12")), 0.0);
    EXPECT_EQ(Settings::LeadingNumber(QString()), 0.0);
    EXPECT_EQ(Settings::LeadingNumber(QStringLiteral("١٢")), 0.0) << "only ASCII digits count";
}

TEST(StoredNumbers, BooleansAndCheckStates)
{
    for (const char* text : {"True", "true", "TRUE", "1", "-1", "2"})
        EXPECT_TRUE(Settings::ReadAsBoolean(QLatin1String(text))) << text;
    for (const char* text : {"False", "false", "0", "", "yes", "on", "1x"})
        EXPECT_FALSE(Settings::ReadAsBoolean(QLatin1String(text))) << text;

    EXPECT_EQ(Settings::NumberOrZero(QStringLiteral("1")), 1.0);
    EXPECT_EQ(Settings::NumberOrZero(QStringLiteral(" 1 ")), 1.0);
    EXPECT_EQ(Settings::NumberOrZero(QStringLiteral("yes")), 0.0);
    EXPECT_EQ(Settings::NumberOrZero(QStringLiteral("1 and more")), 0.0);
    EXPECT_EQ(Settings::BooleanText(true), QStringLiteral("True"));
    EXPECT_EQ(Settings::BooleanText(false), QStringLiteral("False"));
}

namespace {

const QList<QRect> kOneScreen = {QRect(0, 0, 1920, 1080)};
const QSize kDesigned(800, 600);

StoredGeometry Stored(const char* top, const char* left, const char* height, const char* width)
{
    return StoredGeometry{QLatin1String(top), QLatin1String(left), QLatin1String(height), QLatin1String(width)};
}

}  // namespace

TEST(Geometry, TwipsBecomePixelsAtTheLogicalDpi)
{
    const GeometryDecision d = DecideGeometry(Stored("1500", "3000", "6000", "9000"), true, true, {}, kDesigned, kOneScreen);
    ASSERT_TRUE(d.position && d.size);
    EXPECT_EQ(*d.position, QPoint(200, 100));
    EXPECT_EQ(*d.size, QSize(600, 400));

    const TwipsPerPixel large = TwipsPerPixel::FromDpi(144, 144);
    EXPECT_DOUBLE_EQ(large.x, 10.0);
    EXPECT_EQ(*DecideGeometry(Stored("1500", "3000", "6000", "9000"), true, true, large, kDesigned, kOneScreen).size,
              QSize(900, 600));
    EXPECT_DOUBLE_EQ(TwipsPerPixel::FromDpi(0, -1).y, 15.0) << "a nonsense DPI keeps the usual 15";

    const StoredGeometry encoded = EncodeGeometry(QPoint(-7, 33), QSize(1024, 768), {});
    EXPECT_EQ(encoded.sTop, QStringLiteral("495"));
    EXPECT_EQ(encoded.sLeft, QStringLiteral("-105"));
    const GeometryDecision back = DecideGeometry(encoded, true, true, {}, kDesigned, kOneScreen);
    EXPECT_EQ(*back.position, QPoint(-7, 33));
    EXPECT_EQ(*back.size, QSize(1024, 768));
}

TEST(Geometry, OnlyCompletePairsThatAreAskedForApply)
{
    const StoredGeometry full = Stored("1500", "3000", "6000", "9000");
    GeometryDecision d = DecideGeometry(full, false, true, {}, kDesigned, kOneScreen);
    EXPECT_FALSE(d.position);
    EXPECT_TRUE(d.size);
    d = DecideGeometry(full, true, false, {}, kDesigned, kOneScreen);
    EXPECT_TRUE(d.position);
    EXPECT_FALSE(d.size);

    d = DecideGeometry(Stored("1500", "", "6000", ""), true, true, {}, kDesigned, kOneScreen);
    EXPECT_FALSE(d.position) << "top without left";
    EXPECT_FALSE(d.size) << "height without width";
}

TEST(Geometry, BadOrUnreachableValuesKeepTheDesignedPlacement)
{
    GeometryDecision d = DecideGeometry(Stored("abc", "3000", "tall", "9000"), true, true, {}, kDesigned, kOneScreen);
    EXPECT_FALSE(d.position);
    EXPECT_FALSE(d.size);

    d = DecideGeometry(Stored("1500", "3000", "0", "-9000"), true, true, {}, kDesigned, kOneScreen);
    EXPECT_FALSE(d.size) << "a window needs a positive size";
    EXPECT_TRUE(d.position);

    d = DecideGeometry(Stored("1500", "3000", "1e30", "9000"), true, true, {}, kDesigned, kOneScreen);
    EXPECT_FALSE(d.size) << "absurd sizes are ignored";

    // Entirely right of the only screen: dropped. Partly on it: kept.
    d = DecideGeometry(Stored("0", "30000", "", ""), true, false, {}, QSize(100, 100), kOneScreen);
    EXPECT_FALSE(d.position);
    d = DecideGeometry(Stored("0", "28000", "", ""), true, false, {}, QSize(100, 100), kOneScreen);
    EXPECT_TRUE(d.position);

    // The check uses the size the window is about to get.
    d = DecideGeometry(Stored("-3000", "-3000", "6000", "6000"), true, true, {}, QSize(100, 100), kOneScreen);
    EXPECT_TRUE(d.position) << "a 400-pixel window at -200 still shows its corner";

    // A second screen to the right makes the same place reachable.
    const QList<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    d = DecideGeometry(Stored("0", "30000", "", ""), true, false, {}, QSize(100, 100), two);
    ASSERT_TRUE(d.position);
    EXPECT_EQ(*d.position, QPoint(2000, 0));
}

TEST(StartupEntryTest, WritesAndRemovesBothEntries)
{
    TestEnvironment env;
    MemoryRegistryBackend store;
    const CRegister reg(store);
    const QString run = QLatin1String(Settings::kRunSection).mid(1);

    EXPECT_EQ(StartupEntry::Command(), QCoreApplication::applicationFilePath() + QStringLiteral(" /STARTUP"));
    EXPECT_EQ(StartupEntry::AutostartFilePath(), env.config() + QStringLiteral("/autostart/kelvo.desktop"));

    ASSERT_TRUE(StartupEntry::Write(reg));
    EXPECT_EQ(store.value(kHKEY_CURRENT_USER, run, QStringLiteral("KELVO")), StartupEntry::Command());
    EXPECT_FALSE(store.has(kHKEY_LOCAL_MACHINE, run, QStringLiteral("KELVO")));
    QFile desktop(StartupEntry::AutostartFilePath());
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    EXPECT_TRUE(desktop.readAll().contains("\nExec="));

    EXPECT_TRUE(StartupEntry::Remove(reg));
    EXPECT_FALSE(store.has(kHKEY_CURRENT_USER, run, QStringLiteral("KELVO")));
    EXPECT_FALSE(QFileInfo::exists(StartupEntry::AutostartFilePath()));
    EXPECT_FALSE(StartupEntry::Remove(reg)) << "nothing left to remove";

    store.bReadOnly = true;
    EXPECT_FALSE(StartupEntry::Write(reg)) << "a refused registry write is reported";
}

TEST(StartupEntryTest, ExecLineQuotesThePath)
{
    auto execLine = [](const char* path) {
        const QString text = StartupEntry::DesktopFileText(QString::fromUtf8(path));
        const qsizetype start = text.indexOf(QStringLiteral("\nExec=")) + 6;
        return text.mid(start, text.indexOf(QLatin1Char('\n'), start) - start);
    };
    EXPECT_EQ(execLine("/usr/bin/kelvo"), QStringLiteral("/usr/bin/kelvo /STARTUP"));
    EXPECT_EQ(execLine("/opt/My Apps/kelvo"), QStringLiteral("\"/opt/My Apps/kelvo\" /STARTUP"));
    // Inside quotes '$' and '"' are escaped by a backslash, which the key's
    // own escaping doubles.
    EXPECT_EQ(execLine("/opt/$x\"y/kelvo"), QStringLiteral("\"/opt/\\\\$x\\\\\"y/kelvo\" /STARTUP"));
    EXPECT_EQ(execLine("/opt/a\\b"), QStringLiteral("\"/opt/a\\\\\\\\b\" /STARTUP"));
}

TEST(ProgramFolder, FollowsKelvoHomeWithOneSeparator)
{
    TestEnvironment env;
    EXPECT_EQ(AppFolder(), env.home() + QLatin1Char('/'));
    EXPECT_EQ(GetAppFilePath(QStringLiteral("Log/FTP.LOG")), env.home() + QStringLiteral("/Log/FTP.LOG"));

    qputenv("KELVO_HOME", (env.home() + QStringLiteral("//sub/..///")).toUtf8());
    EXPECT_EQ(AppFolder(), env.home() + QLatin1Char('/'));

    qputenv("KELVO_HOME", "");
    EXPECT_EQ(AppFolder(), QCoreApplication::applicationDirPath() + QLatin1Char('/'))
        << "the executable's folder is writable here";
}
