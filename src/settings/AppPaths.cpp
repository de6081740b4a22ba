#include "settings/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString WithOneSeparator(QString folder)
{
    folder = folder.trimmed();
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder;
}

}  // namespace

QString AppFolder()
{
    const QString home = qEnvironmentVariable("KELVO_HOME").trimmed();
    if (!home.isEmpty()) return WithOneSeparator(QDir::cleanPath(QDir(home).absolutePath()));

    const QString exeFolder = QCoreApplication::applicationDirPath();
    if (!exeFolder.isEmpty() && QFileInfo(exeFolder).isWritable()) return WithOneSeparator(exeFolder);

    return WithOneSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                            + QStringLiteral("/kelvo"));
}

QString GetAppFilePath(const QString& sName) { return AppFolder() + sName; }

QString ExecutablePath() { return QCoreApplication::applicationFilePath(); }
