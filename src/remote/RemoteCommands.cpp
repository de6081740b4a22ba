#include "remote/RemoteCommands.h"

#include "ftp/FtpComponent.h"
#include "remote/RemotePane.h"
#include "ui/PaneHost.h"
#include "ui/Prompter.h"

#include <QApplication>
#include <QTimer>

namespace {

const QString kConfirmTitle = QStringLiteral("Kelvo ") + QStringLiteral("[Confirm]");
const QString kApplicationTitle = QStringLiteral("Kelvo");
const QString kCommandTitle = QStringLiteral("Remote Server Custom Command");
const QString kNoCommand = QStringLiteral("No command entered, quiting");

// The hourglass for the length of a command.
class BusyPointer {
public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

bool AskYesNo(const QString& sTitle, const QString& sQuestion)
{
    return ThePrompter().message(sTitle, sQuestion, PromptButtons::YesNo, PromptIcon::Question) == PromptResult::Yes;
}

QString Ask(const QString& sTitle, const QString& sPrompt)
{
    return ThePrompter().input(sTitle, sPrompt, QString()).value_or(QString());
}

// True, after the box, when the new name is listed already.
bool NameTaken(RemotePane& pane, const QString& sNew)
{
    if (!pane.IsListed(sNew)) return false;
    ThePrompter().message(kApplicationTitle, QStringLiteral("File name exists in folder? no way!"), PromptButtons::Ok,
                          PromptIcon::Exclamation);
    return true;
}

// Runs `body`; a refusal is logged and ends the command.
template <typename Body>
bool Guarded(RemotePane& pane, Body body)
{
    try {
        body();
        return true;
    } catch (const FtpError& e) {
        pane.Host().ReportError(e);
        return false;
    }
}

// Asks in the custom-command box; an empty answer is told and gives nothing.
QString AskCommand(const QString& sPrompt)
{
    const QString answer = Ask(kCommandTitle, sPrompt);
    if (answer.isEmpty())
        ThePrompter().message(kCommandTitle, kNoCommand, PromptButtons::Ok, PromptIcon::Information);
    return answer;
}

}  // namespace

namespace RemoteOperations {

QString Extension(const QString& sName)
{
    const qsizetype dot = sName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? sName : sName.mid(dot + 1);
}

QString MoveTarget(const QString& sFolder, const QString& sName)
{
    return sFolder.endsWith(QLatin1Char('/')) ? sFolder + sName : sFolder + QLatin1Char('/') + sName;
}

void DeleteRemoteFiles(RemotePane& pane)
{
    if (!ConfirmDestruction(kConfirmTitle, QStringLiteral("Are you sure you want to delete the selected remote file(s)?"))) return;
    BusyPointer busy;
    const bool bDone = Guarded(pane, [&] {
        for (const QString& name : pane.SelectedNames()) {
            pane.Ftp().DeleteFile(name);
            pane.Host().UpdateAction(QString());
        }
    });
    if (bDone) pane.RefreshRemoteList();
}

void RenameRemoteFile(RemotePane& pane)
{
    const QString name = pane.SelectedName();
    if (name.isEmpty()) return;
    if (!AskYesNo(kConfirmTitle, QStringLiteral("Rename remote file ") + name + QLatin1Char('?'))) return;
    const QString answer = Ask(QStringLiteral("Kelvo - Rename Remote File"), QStringLiteral("Rename remote file to : "));
    if (answer.isEmpty() || answer == name || NameTaken(pane, answer)) return;  // nothing to rename to
    BusyPointer busy;
    Guarded(pane, [&] { pane.Ftp().Rename(name, answer); });
    pane.Host().UpdateAction(QString());
    pane.RefreshRemoteList();
}

void CreateRemoteFolder(RemotePane& pane)
{
    const QString answer = Ask(QStringLiteral("Kelvo - Create RemoteFolder"),
                               QStringLiteral("Enter the name of the folder you want to create."));
    BusyPointer busy;
    if (Guarded(pane, [&] { pane.Ftp().CreateFolder(answer); })) {
        pane.Host().UpdateAction(QString());
        pane.RefreshRemoteList();
    }
}

void RemoveRemoteFolder(RemotePane& pane)
{
    const QString name = pane.SelectedName();
    if (name.isEmpty()) return;
    if (!ConfirmDestruction(kConfirmTitle, QStringLiteral("Delete ") + name + QLatin1Char('?'))) return;
    BusyPointer busy;
    if (Guarded(pane, [&] { pane.Ftp().RemoveFolder(name); })) {
        pane.Host().UpdateAction(QString());
        pane.RefreshRemoteList();
    }
}

void MoveRemoteItems(RemotePane& pane)
{
    const QString name = pane.SelectedName();
    if (name.isEmpty()) return;
    if (!AskYesNo(kConfirmTitle, QStringLiteral("Move remote file(s) / folder(s) ") + name + QLatin1Char('?'))) return;
    for (const QString& item : pane.SelectedNames()) {
        const QString folder = Ask(QStringLiteral("kelvo"), QStringLiteral("Move ") + item + QStringLiteral(" to : "));
        if (folder.isEmpty()) continue;  // nowhere given: this one stays
        BusyPointer busy;
        if (!Guarded(pane, [&] { pane.Ftp().Rename(item, MoveTarget(folder, item)); })) break;
    }
    pane.Host().UpdateAction(QString());
    pane.RefreshRemoteList();
}

// The pane is still committing the edit: it is relisted after that.
static void RelistLater(RemotePane& pane) { QTimer::singleShot(0, &pane, &RemotePane::RefreshRemoteList); }

void StartInPlaceRename(RemotePane& pane, const QString& sName)
{
    pane.Host().DisplayMessage(QStringLiteral("Server: Renaming file: \"") + sName + QLatin1Char('"'));
}

bool FinishInPlaceRename(RemotePane& pane, const QString& sOld, const QString& sNew)
{
    if (sNew.isEmpty() || sNew == sOld) return false;
    const QString oldExtension = Extension(sOld), newExtension = Extension(sNew);
    if (oldExtension != newExtension
        && !AskYesNo(kApplicationTitle, QStringLiteral("Are you sure to exchange the file extension from: \"") + oldExtension
                                            + QStringLiteral("\" to: \"") + newExtension + QLatin1Char('"')))
        return false;
    if (NameTaken(pane, sNew)) return false;
    try {
        pane.Ftp().Rename(sOld, sNew);
    } catch (const FtpError& e) {
        if (e.number == FtpErrorNumber::kFileExists)
            ThePrompter().message(kApplicationTitle, QStringLiteral("File name exists in folder? no way!"),
                                  PromptButtons::Ok, PromptIcon::Exclamation);
        else
            pane.Host().ReportError(e);
        RelistLater(pane);
        return false;
    }
    RelistLater(pane);
    return true;
}

}  // namespace RemoteOperations

namespace ManualCommands {

void SendFixed(RemotePane& pane, const QString& sCommand)
{
    BusyPointer busy;
    Guarded(pane, [&] { pane.Ftp().SendCommand(sCommand); });
}

void ChangeFolder(RemotePane& pane)
{
    const QString answer = AskCommand(QStringLiteral("Please enter the remote folder name"));
    if (answer.isEmpty()) return;
    SendFixed(pane, QStringLiteral("CWD ") + answer);
}

void Quote(RemotePane& pane)
{
    const QString answer = AskCommand(QStringLiteral("Please enter command for remote site"));
    if (answer.isEmpty()) return;
    SendFixed(pane, QStringLiteral("QUOTE ") + answer);
}

void SendTyped(RemotePane& pane)
{
    const QString answer = AskCommand(QStringLiteral("Type command to send to remote server"));
    if (answer.isEmpty()) return;
    SendFixed(pane, answer);
}

void ReceiveFile(RemotePane& pane)
{
    const QString answer = AskCommand(QStringLiteral(
        "Enter File Name to Receive (Make sure you are in the Remote directory where the file resides, but hidden!) "));
    if (answer.isEmpty()) return;
    BusyPointer busy;
    if (Guarded(pane, [&] { pane.Ftp().ReceiveFile(answer, 0, pane.Host().CurrentLocalFolder() + answer); })) {
        pane.Host().RefreshLocalList();
        pane.Host().UpdateLocalCommands();
    }
}

void SendFile(RemotePane& pane)
{
    const QString answer = AskCommand(QStringLiteral(
        "Enter File Name to Send (Make sure you are in the local directory where the file resides, but hidden!) "));
    if (answer.isEmpty()) return;
    BusyPointer busy;
    if (Guarded(pane, [&] { pane.Ftp().SendFile(pane.Host().CurrentLocalFolder() + answer, 0, answer, false); })) {
        pane.RefreshRemoteList();
        pane.Host().UpdateRemoteCommands();
    }
}

}  // namespace ManualCommands
