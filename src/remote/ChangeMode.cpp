#include "remote/ChangeMode.h"

#include "ftp/FtpComponent.h"
#include "remote/frmRemoteChangeMode.h"
#include "ui/PaneHost.h"

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

// The permissions of the first selected row that the listing gives them for;
// -1 when it gives none.
int StartingMode(const QList<FilePaneRow>& selected)
{
    for (const FilePaneRow& row : selected)
        if (row.entry.nMode >= 0) return row.entry.nMode;
    return -1;
}

}  // namespace

bool ChangeModeOfSelection(FtpComponent& ftp, const QList<FilePaneRow>& selected, QWidget* owner, PaneHost& host)
{
    frmRemoteChangeMode& dialog = frmRemoteChangeMode::Loaded();
    if (owner && dialog.parentWidget() != owner) dialog.setParent(owner, dialog.windowFlags());
    dialog.Start(StartingMode(selected));
    dialog.nResult = 0;
    dialog.exec();
    if (dialog.nResult != 1) return false;

    // Ok is only enabled for a mode the boxes show; the check stays, so that
    // nothing else can ever reach the server.
    const std::optional<QString> sMode = ModeToSend(dialog.NumericText());
    if (!sMode) return false;

    for (const FilePaneRow& row : selected) {
        const QString sCommand = QStringLiteral("SITE chmod ") + *sMode + QLatin1Char(' ') + row.text();
        try {
            ftp.SendCommand(sCommand);
        } catch (const FtpError& e) {
            // The command goes to the log too, so that the error reads as its answer.
            host.DisplayMessage(sCommand);
            host.ReportError(e);
            break;
        }
        host.DisplayMessage(sCommand);
        const int nCode = ftp.lastReplyCode();
        if (nCode >= 200 && nCode < 300) host.DisplayMessage(QStringLiteral("Change Permission Complete"));
        else host.DisplayMessage(QStringLiteral("Error: ") + ftp.lastReplyText());
    }
    return true;
}
