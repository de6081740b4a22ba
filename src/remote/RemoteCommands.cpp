#include "remote/RemoteCommands.h"

#include "ftp/FtpComponent.h"
#include "ui/Prompter.h"

#include <QApplication>

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
bool NameTaken(const RemoteContext& ctx, const QString& sNew)
{
    if (!ctx.isListed || !ctx.isListed(sNew)) return false;
    ThePrompter().message(kApplicationTitle, QStringLiteral("File name exists in folder? no way!"), PromptButtons::Ok,
                          PromptIcon::Exclamation);
    return true;
}

void LogError(const RemoteContext& ctx, const FtpError& e)
{
    if (!e.description.isEmpty()) ctx.displayMessage(QStringLiteral("Error: ") + e.description);
}

// Runs `body`; a refusal is logged and ends the command.
template <typename Body>
bool Guarded(const RemoteContext& ctx, Body body)
{
    try {
        body();
        return true;
    } catch (const FtpError& e) {
        LogError(ctx, e);
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

void DeleteRemoteFiles(const RemoteContext& ctx)
{
    if (!ConfirmDestruction(kConfirmTitle, QStringLiteral("Are you sure you want to delete the selected remote file(s)?"))) return;
    BusyPointer busy;
    const bool bDone = Guarded(ctx, [&] {
        for (const QString& name : ctx.selectedNames()) {
            ctx.ftp->DeleteFile(name);
            ctx.clearStatus();
        }
    });
    if (bDone) ctx.refreshRemoteList();
}

void RenameRemoteFile(const RemoteContext& ctx)
{
    const QString name = ctx.selectedName();
    if (name.isEmpty()) return;
    if (!AskYesNo(kConfirmTitle, QStringLiteral("Rename remote file ") + name + QLatin1Char('?'))) return;
    const QString answer = Ask(QStringLiteral("Kelvo - Rename Remote File"), QStringLiteral("Rename remote file to : "));
    if (answer.isEmpty() || answer == name || NameTaken(ctx, answer)) return;  // nothing to rename to
    BusyPointer busy;
    Guarded(ctx, [&] { ctx.ftp->Rename(name, answer); });
    ctx.clearStatus();
    ctx.refreshRemoteList();
}

void CreateRemoteFolder(const RemoteContext& ctx)
{
    const QString answer = Ask(QStringLiteral("Kelvo - Create RemoteFolder"),
                               QStringLiteral("Enter the name of the folder you want to create."));
    BusyPointer busy;
    if (Guarded(ctx, [&] { ctx.ftp->CreateFolder(answer); })) {
        ctx.clearStatus();
        ctx.refreshRemoteList();
    }
}

void RemoveRemoteFolder(const RemoteContext& ctx)
{
    const QString name = ctx.selectedName();
    if (name.isEmpty()) return;
    if (!ConfirmDestruction(kConfirmTitle, QStringLiteral("Delete ") + name + QLatin1Char('?'))) return;
    BusyPointer busy;
    if (Guarded(ctx, [&] { ctx.ftp->RemoveFolder(name); })) {
        ctx.clearStatus();
        ctx.refreshRemoteList();
    }
}

void MoveRemoteItems(const RemoteContext& ctx)
{
    const QString name = ctx.selectedName();
    if (name.isEmpty()) return;
    if (!AskYesNo(kConfirmTitle, QStringLiteral("Move remote file(s) / folder(s) ") + name + QLatin1Char('?'))) return;
    for (const QString& item : ctx.selectedNames()) {
        const QString folder = Ask(QStringLiteral("kelvo"), QStringLiteral("Move ") + item + QStringLiteral(" to : "));
        if (folder.isEmpty()) continue;  // nowhere given: this one stays
        BusyPointer busy;
        if (!Guarded(ctx, [&] { ctx.ftp->Rename(item, MoveTarget(folder, item)); })) break;
    }
    ctx.clearStatus();
    ctx.refreshRemoteList();
}

void StartInPlaceRename(const RemoteContext& ctx, const QString& sName)
{
    ctx.displayMessage(QStringLiteral("Server: Renaming file: \"") + sName + QLatin1Char('"'));
}

bool FinishInPlaceRename(const RemoteContext& ctx, const QString& sOld, const QString& sNew)
{
    if (sNew.isEmpty() || sNew == sOld) return false;
    const QString oldExtension = Extension(sOld), newExtension = Extension(sNew);
    if (oldExtension != newExtension
        && !AskYesNo(kApplicationTitle, QStringLiteral("Are you sure to exchange the file extension from: \"") + oldExtension
                                            + QStringLiteral("\" to: \"") + newExtension + QLatin1Char('"')))
        return false;
    if (NameTaken(ctx, sNew)) return false;
    try {
        ctx.ftp->Rename(sOld, sNew);
    } catch (const FtpError& e) {
        if (e.number == FtpErrorNumber::kFileExists)
            ThePrompter().message(kApplicationTitle, QStringLiteral("File name exists in folder? no way!"),
                                  PromptButtons::Ok, PromptIcon::Exclamation);
        else
            LogError(ctx, e);
        ctx.refreshRemoteList();
        return false;
    }
    ctx.refreshRemoteList();
    return true;
}

}  // namespace RemoteOperations

namespace ManualCommands {

void SendFixed(const RemoteContext& ctx, const QString& sCommand)
{
    BusyPointer busy;
    Guarded(ctx, [&] { ctx.ftp->SendCommand(sCommand); });
}

void ChangeFolder(const RemoteContext& ctx)
{
    const QString answer = AskCommand(QStringLiteral("Please enter the remote folder name"));
    if (answer.isEmpty()) return;
    SendFixed(ctx, QStringLiteral("CWD ") + answer);
}

void Quote(const RemoteContext& ctx)
{
    const QString answer = AskCommand(QStringLiteral("Please enter command for remote site"));
    if (answer.isEmpty()) return;
    SendFixed(ctx, QStringLiteral("QUOTE ") + answer);
}

void SendTyped(const RemoteContext& ctx)
{
    const QString answer = AskCommand(QStringLiteral("Type command to send to remote server"));
    if (answer.isEmpty()) return;
    SendFixed(ctx, answer);
}

void ReceiveFile(const RemoteContext& ctx)
{
    const QString answer = AskCommand(QStringLiteral(
        "Enter File Name to Receive (Make sure you are in the Remote directory where the file resides, but hidden!) "));
    if (answer.isEmpty()) return;
    BusyPointer busy;
    if (Guarded(ctx, [&] { ctx.ftp->ReceiveFile(answer, 0, ctx.currentLocalFolder() + answer); })) {
        ctx.refreshLocalList();
        ctx.updateLocalCommands();
    }
}

void SendFile(const RemoteContext& ctx)
{
    const QString answer = AskCommand(QStringLiteral(
        "Enter File Name to Send (Make sure you are in the local directory where the file resides, but hidden!) "));
    if (answer.isEmpty()) return;
    BusyPointer busy;
    if (Guarded(ctx, [&] { ctx.ftp->SendFile(ctx.currentLocalFolder() + answer, 0, answer, false); })) {
        ctx.refreshRemoteList();
        ctx.updateRemoteCommands();
    }
}

}  // namespace ManualCommands
