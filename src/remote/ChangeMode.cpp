#include "remote/ChangeMode.h"

#include "ftp/FtpComponent.h"
#include "remote/frmRemoteChangeMode.h"
#include "ui/Prompter.h"

#include <QRegularExpression>

std::optional<QString> ModeToSend(const QString& sText)
{
    static const QRegularExpression octal(QStringLiteral("^[0-7]{1,4}$"));
    const QString sTrimmed = sText.trimmed();
    if (!octal.match(sTrimmed).hasMatch()) return std::nullopt;
    return QString::number(sTrimmed.toInt());
}

void ChangeModeOfSelection(FtpComponent& ftp, const QStringList& selectedNames, QWidget* owner,
                           const std::function<void(const QString&)>& displayMessage,
                           const std::function<void()>& afterwards)
{
    frmRemoteChangeMode& dialog = frmRemoteChangeMode::Loaded();
    if (owner && dialog.parentWidget() != owner) dialog.setParent(owner, dialog.windowFlags());
    dialog.nResult = 0;
    dialog.exec();
    if (dialog.nResult != 1) return;

    // The server would take any text; a mode it cannot read must not reach
    // it (an unchecked "8" or "12345" can set bits nobody asked for).
    const QString sText = dialog.NumericText();
    const std::optional<QString> sMode = ModeToSend(sText);
    if (!sMode) {
        ThePrompter().message(QStringLiteral("Kelvo"),
                              QStringLiteral("The permission value \"") + sText
                                  + QStringLiteral("\" is not a valid mode: use up to four digits 0 to 7."),
                              PromptButtons::Ok, PromptIcon::Exclamation);
        return;
    }

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
