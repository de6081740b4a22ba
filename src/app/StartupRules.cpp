#include "app/StartupRules.h"

#include "settings/AppPaths.h"
#include "settings/CRegister.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace StartupRules {

namespace {

QString Read(const CRegister& reg, const char* sName, const char* sDefault)
{
    return reg.REGGetSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection), QLatin1String(sName),
                             QLatin1String(sDefault));
}

void Save(const CRegister& reg, const char* sName, const char* sValue)
{
    reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection), QLatin1String(sName),
                       QLatin1String(sValue));
}

bool IsOne(const QString& sStored) { return Settings::NumberOrZero(sStored) == 1.0; }

}  // namespace

bool WantsStartupEntry(const CRegister& reg, const OptionsBoxes& boxes)
{
    return IsOne(Read(reg, Settings::kAddToStartup, "0")) || boxes.bAddToStartup;
}

QString PrepareLogFile(const CRegister& reg, const OptionsBoxes& boxes)
{
    QString name = Read(reg, Settings::kLogFileName, "");
    if (name.isEmpty()) {
        name = QLatin1String(Settings::kDefaultLogFileName);
        Save(reg, Settings::kLogFileName, Settings::kDefaultLogFileName);
    } else if (!Settings::IsPlainLogFileName(name)) {
        // A name that reaches outside the log folder ("../Profiles/x") would
        // have the deletions below remove some other file.
        name = QLatin1String(Settings::kDefaultLogFileName);
    }
    const QString path = GetAppFilePath(QStringLiteral("Log/") + name);

    if (Settings::ReadAsBoolean(Read(reg, Settings::kDeleteLogOnStartup, "0")) || boxes.bDeleteLogOnStartup) {
        if (QFileInfo(path).isFile()) QFile::remove(path);
    }

    if (Settings::ReadAsBoolean(Read(reg, Settings::kDeleteLogIfSizeExceeds, "0")) || boxes.bDeleteLogIfSizeExceeds) {
        QString size = Read(reg, Settings::kLogFileSize, "");
        if (size.isEmpty()) {
            size = QLatin1String(Settings::kDefaultLogFileSize);
            Save(reg, Settings::kLogFileSize, Settings::kDefaultLogFileSize);
        }
        const QFileInfo log(path);
        if (log.isFile() && static_cast<double>(log.size()) > Settings::LeadingNumber(size) * 1000.0)
            QFile::remove(path);
    }
    return path;
}

bool AppliesPosition(const CRegister& reg, const OptionsBoxes& boxes)
{
    return IsOne(Read(reg, Settings::kSaveWindowPosition, "0")) || boxes.bSaveWindowPosition;
}

bool AppliesSize(const CRegister& reg, const OptionsBoxes& boxes)
{
    return IsOne(Read(reg, Settings::kSaveWindowSize, "0")) || boxes.bSaveWindowSize;
}

void CreateProgramFolders()
{
    for (const char* name : {"Download", "Profiles", "Log"}) {
        const QString path = GetAppFilePath(QLatin1String(name));
        if (!QFileInfo(path).isDir()) QDir().mkpath(path);
    }
}

Visibility StartupVisibility(const QString& sCommandLine, bool bTrayIconShown)
{
    if (sCommandLine.isEmpty() || !sCommandLine.toUpper().contains(QLatin1String("/STARTUP"))) return Visibility::Shown;
    return bTrayIconShown ? Visibility::Hidden : Visibility::Minimised;
}

}  // namespace StartupRules
