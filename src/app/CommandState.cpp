#include "app/CommandState.h"

namespace CommandState {

namespace {

const QString kToolbar1 = QStringLiteral("Toolbar1");

void Set(CommandStates& states, std::initializer_list<QString> keys, bool bEnabled)
{
    for (const QString& key : keys) states.insert(key, bEnabled);
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
        {QStringLiteral("cmdDisconnect"), ToolbarKey(kToolbar1, 2), ToolbarKey(kToolbar1, 5),
         QStringLiteral("Toolbar6"), QStringLiteral("miCreateRemoteFolder"), QStringLiteral("optAscii"),
         QStringLiteral("optBinary"), QStringLiteral("cmdSend"), QStringLiteral("mnuLocalUpload"),
         ToolbarKey(QStringLiteral("Toolbar5"), 4), QStringLiteral("cboRemotePath"), QStringLiteral("miRemote")},
        bConnected);
    Set(states, {QStringLiteral("cmdConnect"), ToolbarKey(kToolbar1, 1), ToolbarKey(kToolbar1, 3)}, !bConnected);
    return states;
}

CommandStates SetBusyState(bool bBusy)
{
    CommandStates states;
    Set(states, {QStringLiteral("cmdAbort"), ToolbarKey(kToolbar1, 4)}, bBusy);
    return states;
}

CommandStates UpdateRemoteCommands(const PaneSelection& remote)
{
    CommandStates states;
    states.insert(QStringLiteral("miDeleteRemoteFile"), CanDelete(remote));
    states.insert(QStringLiteral("miRenameRemoteFile"), CanRename(remote));
    states.insert(QStringLiteral("miRemoveRemoteFolder"), CanRemoveFolder(remote));
    Set(states,
        {QStringLiteral("cmdReceive"), QStringLiteral("mnuRemoteDownload"), ToolbarKey(QStringLiteral("Toolbar6"), 4),
         ToolbarKey(kToolbar1, 12)},
        CanTransfer(remote));
    return states;
}

CommandStates UpdateLocalCommands(const PaneSelection& local, int nFtpState)
{
    CommandStates states;
    Set(states, {QStringLiteral("miDeleteLocalFile"), QStringLiteral("mnuLocalDeleteFileToRecycleBin")},
        CanDelete(local));
    states.insert(QStringLiteral("miRenameLocalFile"), CanRename(local));
    states.insert(QStringLiteral("miCreateLocalFolder"), true);
    Set(states, {QStringLiteral("miRemoveLocalFolder"), QStringLiteral("mnuDelteFolderToRecycleBin")},
        CanRemoveFolder(local));
    // Not while a transfer runs: the component is then busy, not idle.
    Set(states,
        {QStringLiteral("cmdSend"), QStringLiteral("mnuLocalUpload"), ToolbarKey(QStringLiteral("Toolbar5"), 4),
         ToolbarKey(kToolbar1, 5)},
        CanTransfer(local) && nFtpState == kFtpStateConnectedIdle);
    return states;
}

}  // namespace CommandState
