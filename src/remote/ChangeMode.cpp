#include "remote/ChangeMode.h"

#include "ftp/FtpComponent.h"
#include "remote/frmRemoteChangeMode.h"

#include <QRegularExpression>

namespace ChangeMode {

std::optional<int> ModeOfText(const QString& sText)
{
    static const QRegularExpression octal(QStringLiteral("^[0-7]{1,4}$"));
    const QString sTrimmed = sText.trimmed();
    if (!octal.match(sTrimmed).hasMatch()) return std::nullopt;
    return sTrimmed.toInt(nullptr, 8);
}

QString TextOfMode(int nMode) { return QStringLiteral("%1").arg(nMode & 07777, 3, 8, QLatin1Char('0')); }

int WithBox(int nMode, int nBit, bool bTicked) { return bTicked ? (nMode | nBit) : (nMode & ~nBit); }

}  // namespace ChangeMode

std::optional<QString> ModeToSend(const QString& sText)
{
    if (!ChangeMode::ModeOfText(sText)) return std::nullopt;
    return QString::number(sText.trimmed().toInt());
}

namespace {

// The permissions of the first selected name that the server lists them for;
// -1 when it lists none (or cannot be asked now).
int StartingMode(FtpComponent& ftp, const QStringList& selectedNames)
{
    if (selectedNames.isEmpty()) return -1;
    QList<ListingEntry> entries;
    try {
        entries = ftp.FolderContents();
    } catch (const FtpError&) {
        return -1;
    }
    for (const QString& sName : selectedNames)
        for (const ListingEntry& entry : entries)
            if (entry.name == sName && entry.nMode >= 0) return entry.nMode;
    return -1;
}

}  // namespace

void ChangeModeOfSelection(FtpComponent& ftp, const QStringList& selectedNames, QWidget* owner,
                           const std::function<void(const QString&)>& displayMessage,
                           const std::function<void()>& afterwards)
{
    frmRemoteChangeMode& dialog = frmRemoteChangeMode::Loaded();
    if (owner && dialog.parentWidget() != owner) dialog.setParent(owner, dialog.windowFlags());
    dialog.Start(StartingMode(ftp, selectedNames));
    dialog.nResult = 0;
    dialog.exec();
    if (dialog.nResult != 1) return;

    // Ok is only enabled for a mode the boxes show; the check stays, so that
    // nothing else can ever reach the server.
    const std::optional<QString> sMode = ModeToSend(dialog.NumericText());
    if (!sMode) return;

    for (const QString& sName : selectedNames) {
        const QString sCommand = QStringLiteral("SITE chmod ") + *sMode + QLatin1Char(' ') + sName;
        try {
            ftp.SendCommand(sCommand);
        } catch (const FtpError& e) {
            // The command goes to the log too, so that the error reads as its answer.
            displayMessage(sCommand);
            displayMessage(QStringLiteral("Error: ") + e.description);
            break;
        }
        displayMessage(sCommand);
        const int nCode = ftp.lastReplyCode();
        if (nCode >= 200 && nCode < 300) displayMessage(QStringLiteral("Change Permission Complete"));
        else displayMessage(QStringLiteral("Error: ") + ftp.lastReplyText());
    }
    if (afterwards) afterwards();
}
