// The rules start-up applies before the window shows: log file, start-up
// entry, geometry switches, program folders and the "/STARTUP" switch.
#include "StoredSettings.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "app/StartupRules.h"

#include <gtest/gtest.h>

using Stored = StoredSettings;

TEST(StartupRules, LogFileNameDefaultsAndNeverReachesOutsideTheLogFolder)
{
    TestEnvironment env;
    const QString defaultLog = env.home() + "/Log/FTP.LOG";
    Stored first;
    EXPECT_EQ(StartupRules::PrepareLogFile(first.reg, {.bDeleteLogIfSizeExceeds = true}), defaultLog);
    EXPECT_EQ(first[Settings::kLogFileName], "FTP.LOG");
    EXPECT_EQ(first[Settings::kLogFileSize], "1000");
    Stored noSizeCheck;  // the size limit is only settled when size checking is on
    EXPECT_EQ(StartupRules::PrepareLogFile(noSizeCheck.reg, {}), defaultLog);
    EXPECT_TRUE(noSizeCheck[Settings::kLogFileSize].isNull());
    Stored named{{Settings::kLogFileName, "session.txt"}};
    EXPECT_EQ(StartupRules::PrepareLogFile(named.reg, {}), env.home() + "/Log/session.txt");

    // A site profile beside the log folder, which a deletion must not reach.
    const QString profile = env.home() + "/Profiles/Home.Profile";
    ASSERT_TRUE(WriteTestFile(profile, "[PROFILE]"));
    for (const char* name : {"../Profiles/Home.Profile", "..", ".", "  ", "sub\\x.log", "/etc/passwd"}) {
        Stored outside{{Settings::kLogFileName, name}};
        EXPECT_EQ(StartupRules::PrepareLogFile(outside.reg, {.bDeleteLogOnStartup = true}), defaultLog) << name;
    }
    EXPECT_TRUE(QFileInfo::exists(profile));
}

TEST(StartupRules, LogIsDeletedOnEveryStartOrWhenLargerThanTheLimit)
{
    namespace S = Settings;
    const struct {
        const char* what;
        Stored settings;
        OptionsBoxes boxes;
        qint64 size;
        bool bKept;
    } rows[] = {
        {"not asked to", {}, {}, 10, true},
        {"every start, ticked", {}, {.bDeleteLogOnStartup = true}, 10, false},
        {"every start, stored", {{S::kDeleteLogOnStartup, "true"}}, {}, 10, false},
        {"exactly the limit", {}, {.bDeleteLogIfSizeExceeds = true}, 1'000'000, true},
        {"one byte more", {}, {.bDeleteLogIfSizeExceeds = true}, 1'000'001, false},
        // The stored setting alone switches the check on; the limit is a leading number.
        {"stored limit", {{S::kDeleteLogIfSizeExceeds, "True"}, {S::kLogFileSize, "12kb"}}, {}, 12'000, true},
        {"over the stored limit", {{S::kDeleteLogIfSizeExceeds, "True"}, {S::kLogFileSize, "12kb"}}, {}, 12'001, false},
        {"a limit that is no number is 0", {{S::kDeleteLogIfSizeExceeds, "True"}, {S::kLogFileSize, "none"}}, {}, 1, false},
        {"check off", {{S::kDeleteLogIfSizeExceeds, "False"}}, {}, 5'000'000, true},
    };
    TestEnvironment env;
    const QString log = env.home() + "/Log/FTP.LOG";
    for (const auto& row : rows) {
        QDir().mkpath(env.home() + "/Log");
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(row.size));
        file.close();
        StartupRules::PrepareLogFile(row.settings.reg, row.boxes);
        EXPECT_EQ(QFileInfo::exists(log), row.bKept) << row.what;
    }
    // A folder in the log's place is not a log file: it stays.
    ASSERT_TRUE(QFile::remove(log) && QDir().mkpath(log));
    StartupRules::PrepareLogFile(Stored{{S::kDeleteLogOnStartup, "1"}, {S::kDeleteLogIfSizeExceeds, "1"}}.reg, {});
    EXPECT_TRUE(QFileInfo(log).isDir());
}

TEST(StartupRules, SwitchesReadAsOneOrTheTickedBox)
{
    EXPECT_FALSE(StartupRules::WantsStartupEntry(Stored().reg, {}));
    EXPECT_TRUE(StartupRules::WantsStartupEntry(Stored().reg, {.bAddToStartup = true}));
    EXPECT_TRUE(StartupRules::WantsStartupEntry(Stored{{Settings::kAddToStartup, "1"}}.reg, {}));
    EXPECT_FALSE(StartupRules::WantsStartupEntry(Stored{{Settings::kAddToStartup, "yes"}}.reg, {}))
        << "text that is not a number reads as 0";
    const Stored window{{Settings::kSaveWindowPosition, "1"}, {Settings::kSaveWindowSize, "True"}};
    EXPECT_TRUE(StartupRules::AppliesPosition(window.reg, {}));
    EXPECT_FALSE(StartupRules::AppliesSize(window.reg, {}));
    EXPECT_TRUE(StartupRules::AppliesSize(window.reg, {.bSaveWindowSize = true}));
}

TEST(StartupRules, ProgramFoldersAreCreatedWhereMissing)
{
    TestEnvironment env;
    ASSERT_TRUE(WriteTestFile(env.home() + "/Profiles/site.ftp", ""));
    ASSERT_TRUE(WriteTestFile(env.home() + "/Log", "a file where a folder should be"));
    StartupRules::CreateProgramFolders();
    EXPECT_TRUE(QFileInfo(env.home() + "/Download").isDir());
    EXPECT_TRUE(QFileInfo::exists(env.home() + "/Profiles/site.ftp")) << "existing folders are left as they are";
    EXPECT_EQ(ReadTestFile(env.home() + "/Log"), "a file where a folder should be") << "and so are files";
}

TEST(StartupRules, StartupSwitchInAnyCase)
{
    using V = StartupRules::Visibility;
    for (const auto& [line, bTray, visibility] : {std::tuple{"", true, V::Shown}, {"somefile.txt", true, V::Shown},
                                                  {"/STARTUP", true, V::Hidden}, {"-x /StartUp -y", true, V::Hidden},
                                                  // Without a tray icon a hidden window could not be brought back.
                                                  {"/startup", false, V::Minimised}})
        EXPECT_EQ(StartupRules::StartupVisibility(QLatin1String(line), bTray), visibility) << line;
}
