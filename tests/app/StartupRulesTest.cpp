// The rules start-up applies before the window shows: log file, start-up
// entry, geometry switches, program folders and the "/STARTUP" switch.
#include "MemoryRegistryBackend.h"
#include "TestEnvironment.h"
#include "app/StartupRules.h"
#include "settings/CRegister.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const QString kSection = QLatin1String(Settings::kSection).mid(1);

class StartupRulesTest : public ::testing::Test {
protected:
    QString Stored(const char* name) const { return m_store.value(kHKEY_LOCAL_MACHINE, kSection, QLatin1String(name)); }
    void Store(const char* name, const char* value)
    {
        m_reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, kSection, QLatin1String(name), QLatin1String(value));
    }
    // A log file of exactly `size` bytes where start-up looks for it.
    QString MakeLog(qint64 size, const QString& name = QStringLiteral("FTP.LOG")) const
    {
        const QString path = m_env.home() + QStringLiteral("/Log/") + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size)) ADD_FAILURE() << "cannot create " << path.toStdString();
        return path;
    }

    TestEnvironment m_env;
    MemoryRegistryBackend m_store;
    CRegister m_reg{m_store};
};

}  // namespace

TEST_F(StartupRulesTest, FirstStartStoresTheLogDefaults)
{
    const OptionsBoxes boxes{.bDeleteLogIfSizeExceeds = true};
    EXPECT_EQ(StartupRules::PrepareLogFile(m_reg, boxes), m_env.home() + QStringLiteral("/Log/FTP.LOG"));
    EXPECT_EQ(Stored(Settings::kLogFileName), QStringLiteral("FTP.LOG"));
    EXPECT_EQ(Stored(Settings::kLogFileSize), QStringLiteral("1000"));

    // The size limit is only settled when size checking is on.
    MemoryRegistryBackend other;
    EXPECT_EQ(StartupRules::PrepareLogFile(CRegister(other), OptionsBoxes{}),
              m_env.home() + QStringLiteral("/Log/FTP.LOG"));
    EXPECT_FALSE(other.has(kHKEY_LOCAL_MACHINE, kSection, QLatin1String(Settings::kLogFileSize)));
}

TEST_F(StartupRulesTest, StoredLogNameIsUsed)
{
    Store(Settings::kLogFileName, "session.txt");
    EXPECT_EQ(StartupRules::PrepareLogFile(m_reg, {}), m_env.home() + QStringLiteral("/Log/session.txt"));
    EXPECT_EQ(Stored(Settings::kLogFileName), QStringLiteral("session.txt"));
}

TEST_F(StartupRulesTest, LogNameReachingOutsideTheLogFolderIsNeverUsed)
{
    // A site profile beside the log folder, which a deletion must not reach.
    const QString profile = m_env.home() + QStringLiteral("/Profiles/Home.Profile");
    QDir().mkpath(QFileInfo(profile).absolutePath());
    QFile file(profile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    for (const char* name : {"../Profiles/Home.Profile", "..", ".", "  ", "sub\\x.log", "/etc/passwd"}) {
        Store(Settings::kLogFileName, name);
        EXPECT_EQ(StartupRules::PrepareLogFile(m_reg, {.bDeleteLogOnStartup = true}),
                  m_env.home() + QStringLiteral("/Log/FTP.LOG"))
            << name;
    }
    EXPECT_TRUE(QFileInfo::exists(profile));
}

TEST_F(StartupRulesTest, LogIsDeletedOnlyWhenLargerThanTheLimit)
{
    const OptionsBoxes boxes{.bDeleteLogIfSizeExceeds = true};
    const QString log = MakeLog(1'000'000);
    StartupRules::PrepareLogFile(m_reg, boxes);
    EXPECT_TRUE(QFileInfo::exists(log)) << "exactly the limit is kept";

    MakeLog(1'000'001);
    StartupRules::PrepareLogFile(m_reg, boxes);
    EXPECT_FALSE(QFileInfo::exists(log)) << "one byte more is deleted";

    // The stored setting alone switches the check on; the limit is read
    // with the leading-number conversion.
    Store(Settings::kDeleteLogIfSizeExceeds, "True");
    Store(Settings::kLogFileSize, "12kb");
    MakeLog(12'000);
    StartupRules::PrepareLogFile(m_reg, {});
    EXPECT_TRUE(QFileInfo::exists(log));
    MakeLog(12'001);
    StartupRules::PrepareLogFile(m_reg, {});
    EXPECT_FALSE(QFileInfo::exists(log));

    // A limit that is not a number is 0: any non-empty log goes.
    Store(Settings::kLogFileSize, "none");
    MakeLog(1);
    StartupRules::PrepareLogFile(m_reg, {});
    EXPECT_FALSE(QFileInfo::exists(log));

    Store(Settings::kDeleteLogIfSizeExceeds, "False");
    MakeLog(5'000'000);
    StartupRules::PrepareLogFile(m_reg, {});
    EXPECT_TRUE(QFileInfo::exists(log)) << "no check, no deletion";
}

TEST_F(StartupRulesTest, LogIsDeletedOnEveryStartWhenAskedFor)
{
    const QString log = MakeLog(10);
    StartupRules::PrepareLogFile(m_reg, {});
    EXPECT_TRUE(QFileInfo::exists(log));

    StartupRules::PrepareLogFile(m_reg, OptionsBoxes{.bDeleteLogOnStartup = true});
    EXPECT_FALSE(QFileInfo::exists(log));

    MakeLog(10);
    Store(Settings::kDeleteLogOnStartup, "true");
    StartupRules::PrepareLogFile(m_reg, {});
    EXPECT_FALSE(QFileInfo::exists(log));

    // A folder in the log's place is not a log file: it stays.
    QDir().mkpath(log);
    StartupRules::PrepareLogFile(m_reg, {});
    EXPECT_TRUE(QFileInfo(log).isDir());
}

TEST_F(StartupRulesTest, SwitchesReadAsOneOrTheTickedBox)
{
    EXPECT_FALSE(StartupRules::WantsStartupEntry(m_reg, {}));
    EXPECT_TRUE(StartupRules::WantsStartupEntry(m_reg, OptionsBoxes{.bAddToStartup = true}));
    Store(Settings::kAddToStartup, "1");
    EXPECT_TRUE(StartupRules::WantsStartupEntry(m_reg, {}));
    Store(Settings::kAddToStartup, "yes");
    EXPECT_FALSE(StartupRules::WantsStartupEntry(m_reg, {})) << "text that is not a number reads as 0";

    Store(Settings::kSaveWindowPosition, "1");
    Store(Settings::kSaveWindowSize, "True");
    EXPECT_TRUE(StartupRules::AppliesPosition(m_reg, {}));
    EXPECT_FALSE(StartupRules::AppliesSize(m_reg, {}));
    EXPECT_TRUE(StartupRules::AppliesSize(m_reg, OptionsBoxes{.bSaveWindowSize = true}));
}

TEST_F(StartupRulesTest, ProgramFoldersAreCreatedWhereMissing)
{
    QDir().mkpath(m_env.home() + QStringLiteral("/Profiles"));
    QFile marker(m_env.home() + QStringLiteral("/Profiles/site.ftp"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();

    StartupRules::CreateProgramFolders();
    for (const char* name : {"Download", "Profiles", "Log"})
        EXPECT_TRUE(QFileInfo(m_env.home() + QLatin1Char('/') + QLatin1String(name)).isDir()) << name;
    EXPECT_TRUE(marker.exists()) << "existing folders are left as they are";

    // A file where a folder should be is not replaced, and nothing fails.
    QDir(m_env.home() + QStringLiteral("/Log")).removeRecursively();
    QFile blocker(m_env.home() + QStringLiteral("/Log"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    StartupRules::CreateProgramFolders();
    EXPECT_TRUE(QFileInfo(m_env.home() + QStringLiteral("/Log")).isFile());
}

TEST(StartupVisibility, StartupSwitchInAnyCase)
{
    using StartupRules::StartupVisibility;
    using V = StartupRules::Visibility;
    EXPECT_EQ(StartupVisibility(QString(), true), V::Shown);
    EXPECT_EQ(StartupVisibility(QStringLiteral("somefile.txt"), true), V::Shown);
    EXPECT_EQ(StartupVisibility(QStringLiteral("/STARTUP"), true), V::Hidden);
    EXPECT_EQ(StartupVisibility(QStringLiteral("/startup"), true), V::Hidden);
    EXPECT_EQ(StartupVisibility(QStringLiteral("-x /StartUp -y"), true), V::Hidden);
    // Without a tray icon a hidden window could not be brought back.
    EXPECT_EQ(StartupVisibility(QStringLiteral("/startup"), false), V::Minimised);
}
