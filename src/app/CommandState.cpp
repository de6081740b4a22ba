#include "app/CommandState.h"

#include <QStringList>

namespace CommandState {

namespace {

const QString kToolbar1 = QStringLiteral("Toolbar1");

void Set(CommandStates& states, const QStringList& keys, bool bEnabled)
{
    for (const QString& key : keys) states.insert(key, bEnabled);
}

// Upload's controls: button, Local menu item, local pane toolbar, main toolbar.
QStringList UploadItems()
{
    return {QStringLiteral("cmdSend"), QStringLiteral("mnuLocalUpload"), QStringLiteral("Toolbar5:4"),
            QStringLiteral("Toolbar1:5")};
}

bool Multiple(const PaneSelection& selection) { return selection.nSelectedCount > 1; }

// Delete: a file, or several rows whatever they are.
bool CanDelete(const PaneSelection& selection)
{
    return selection.bHasSelectedItem && (IsFileLike(SelectionIcon(selection)) || Multiple(selection));
}

bool CanRename(const PaneSelection& selection)
{
    return selection.bHasSelectedItem && IsFileLike(SelectionIcon(selection));
}

bool CanRemoveFolder(const PaneSelection& selection)
{
    return selection.bHasSelectedItem && IsFolderLike(SelectionIcon(selection));
}

// Transfers need at least one row whose selected flag is set: a list can
// report a selected item after its rows were deselected.
bool CanTransfer(const PaneSelection& selection)
{
    return selection.bHasSelectedItem && selection.nSelectedCount > 0;
}

}  // namespace

int SelectionIcon(const PaneSelection& selection) { return Multiple(selection) ? 0 : selection.nSelectedIcon; }

bool IsFileLike(int nIcon) { return nIcon < 11; }

bool IsFolderLike(int nIcon) { return nIcon > 9; }

QString ToolbarKey(const QString& sToolbar, int nPosition)
{
    return sToolbar + QLatin1Char(':') + QString::number(nPosition);
}

CommandStates SetConnectedState(bool bConnected)
{
    CommandStates states;
    Set(states,
        {QStringLiteral("cmdDisconnect"), ToolbarKey(kToolbar1, 2), QStringLiteral("Toolbar6"),
         QStringLiteral("miCreateRemoteFolder"), QStringLiteral("optAscii"), QStringLiteral("optBinary"),
         QStringLiteral("cboRemotePath"), QStringLiteral("miRemote"), ToolbarKey(kToolbar1, 11),
         ToolbarKey(kToolbar1, 13)},
        bConnected);
    Set(states, {QStringLiteral("cmdConnect"), ToolbarKey(kToolbar1, 1), ToolbarKey(kToolbar1, 3)}, !bConnected);
    // Upload also needs something to upload: connecting leaves it to the
    // local selection; disconnecting takes it away.
    if (!bConnected) Set(states, UploadItems(), false);
    return states;
}

CommandStates SetBusyState(bool bBusy)
{
    CommandStates states;
    Set(states, {QStringLiteral("cmdAbort"), ToolbarKey(kToolbar1, 4)}, bBusy);
    return states;
}

CommandStates UpdateRemoteCommands(const PaneSelection& remote, bool bBusy)
{
    CommandStates states;
    Set(states, {QStringLiteral("miDeleteRemoteFile"), ToolbarKey(kToolbar1, 15)}, CanDelete(remote));
    Set(states, {QStringLiteral("miRenameRemoteFile"), ToolbarKey(kToolbar1, 16)}, CanRename(remote));
    Set(states, {QStringLiteral("miRemoveRemoteFolder"), ToolbarKey(kToolbar1, 14)}, CanRemoveFolder(remote));
    // Not while a transfer runs: the component does one thing at a time.
    Set(states,
        {QStringLiteral("cmdReceive"), QStringLiteral("mnuRemoteDownload"), ToolbarKey(QStringLiteral("Toolbar6"), 4),
         ToolbarKey(kToolbar1, 12)},
        CanTransfer(remote) && !bBusy);
    return states;
}

CommandStates UpdateLocalCommands(const PaneSelection& local, int nFtpState)
{
    CommandStates states;
    Set(states,
        {QStringLiteral("miDeleteLocalFile"), QStringLiteral("mnuLocalDeleteFileToRecycleBin"), ToolbarKey(kToolbar1, 8)},
        CanDelete(local));
    Set(states, {QStringLiteral("miRenameLocalFile"), ToolbarKey(kToolbar1, 9)}, CanRename(local));
    Set(states, {QStringLiteral("miCreateLocalFolder"), ToolbarKey(kToolbar1, 6)}, true);
    Set(states,
        {QStringLiteral("miRemoveLocalFolder"), QStringLiteral("mnuDelteFolderToRecycleBin"), ToolbarKey(kToolbar1, 7)},
        CanRemoveFolder(local));
    // Not while a transfer runs: the component is then busy, not idle.
    Set(states, UploadItems(), CanTransfer(local) && nFtpState == kFtpStateConnectedIdle);
    return states;
}

}  // namespace CommandState
