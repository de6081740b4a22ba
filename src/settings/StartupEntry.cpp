#include "settings/StartupEntry.h"

#include "settings/AppPaths.h"
#include "settings/CRegister.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace StartupEntry {

namespace {

// Quoting of one argument of a desktop entry's Exec key: reserved characters
// force double quotes, inside which '"', '`', '$' and '\' are escaped; the
// key's value then escapes backslashes once more.
QString QuoteExecArgument(const QString& sArgument)
{
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool bQuote = sArgument.isEmpty();
    for (QChar c : sArgument)
        if (kReserved.contains(c)) bQuote = true;
    if (!bQuote) return sArgument;
    QString quoted = QStringLiteral("\"");
    for (QChar c : sArgument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}

}  // namespace

QString Command() { return ExecutablePath() + QStringLiteral(" /STARTUP"); }

QString AutostartFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/autostart/kelvo.desktop");
}

QString DesktopFileText(const QString& sExecutable)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Kelvo\n"
                          "Comment=FTP client\n"
                          "Exec=%1 /STARTUP\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(QuoteExecArgument(sExecutable));
}

bool Write(const CRegister& reg)
{
    const bool bRegistry = reg.REGSaveSetting(kHKEY_CURRENT_USER, QLatin1String(Settings::kRunSection),
                                              QLatin1String(Settings::kRunValueName), Command());
#ifdef Q_OS_WIN
    return bRegistry;
#else
    const QString path = AutostartFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(DesktopFileText(ExecutablePath()).toUtf8());
    return file.commit() && bRegistry;
#endif
}

bool Remove(const CRegister& reg)
{
#ifndef Q_OS_WIN
    QFile::remove(AutostartFilePath());
#endif
    return reg.REGDeleteSetting(kHKEY_CURRENT_USER, QLatin1String(Settings::kRunSection),
                                QLatin1String(Settings::kRunValueName));
}

}  // namespace StartupEntry
