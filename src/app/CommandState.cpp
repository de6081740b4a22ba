#include "app/CommandState.h"

#include <initializer_list>

namespace CommandState {

namespace {

void Set(CommandStates& states, std::initializer_list<Command> commands, bool bEnabled)
{
    for (Command command : commands) states.insert(command, bEnabled);
}

// Upload's controls: button, Local menu item, local pane toolbar, main toolbar.
const std::initializer_list<Command> kUploadCommands = {Command::UploadButton, Command::LocalUpload,
                                                        Command::LocalToolbarUpload, Command::ToolUpload};

bool Multiple(const PaneSelection& selection) { return selection.nSelectedCount > 1; }

// Delete: a file, or several rows whatever they are.
bool CanDelete(const PaneSelection& selection)
{
    return selection.bHasSelectedItem && (IsFileLike(selection) || Multiple(selection));
}

bool CanRename(const PaneSelection& selection) { return selection.bHasSelectedItem && IsFileLike(selection); }

bool CanRemoveFolder(const PaneSelection& selection) { return selection.bHasSelectedItem && IsFolderLike(selection); }

// Transfers need at least one row whose selected flag is set: a list can
// report a selected item after its rows were deselected.
bool CanTransfer(const PaneSelection& selection) { return selection.bHasSelectedItem && selection.nSelectedCount > 0; }

}  // namespace

bool IsFileLike(const PaneSelection& selection) { return Multiple(selection) || selection.nKind != ListingEntry::Folder; }

bool IsFolderLike(const PaneSelection& selection) { return !Multiple(selection) && selection.nKind != ListingEntry::File; }

CommandStates SetConnectedState(bool bConnected)
{
    CommandStates states;
    Set(states,
        {Command::DisconnectButton, Command::ToolDisconnect, Command::RemoteToolbar, Command::RemoteCreateFolder,
         Command::AsciiType, Command::BinaryType, Command::RemotePathBox, Command::RemoteMenu, Command::ToolRefreshRemote,
         Command::ToolNewRemoteFolder},
        bConnected);
    Set(states, {Command::ConnectButton, Command::ToolConnect, Command::ToolReconnect}, !bConnected);
    // Upload also needs something to upload: connecting leaves it to the
    // local selection; disconnecting takes it away.
    if (!bConnected) Set(states, kUploadCommands, false);
    return states;
}

CommandStates SetBusyState(bool bBusy)
{
    CommandStates states;
    Set(states, {Command::AbortButton, Command::ToolAbort}, bBusy);
    return states;
}

CommandStates UpdateRemoteCommands(const PaneSelection& remote, bool bBusy)
{
    CommandStates states;
    Set(states, {Command::RemoteDeleteFile, Command::ToolDeleteRemoteFile}, CanDelete(remote));
    Set(states, {Command::RemoteRenameFile, Command::ToolRenameRemoteFile}, CanRename(remote));
    Set(states, {Command::RemoteRemoveFolder, Command::ToolRemoveRemoteFolder}, CanRemoveFolder(remote));
    // Not while a transfer runs: the component does one thing at a time.
    Set(states, {Command::DownloadButton, Command::RemoteDownload, Command::RemoteToolbarDownload, Command::ToolDownload},
        CanTransfer(remote) && !bBusy);
    return states;
}

CommandStates UpdateLocalCommands(const PaneSelection& local, int nFtpState)
{
    CommandStates states;
    Set(states, {Command::LocalDeleteFile, Command::LocalDeleteFileToTrash, Command::ToolDeleteLocalFile},
        CanDelete(local));
    Set(states, {Command::LocalRenameFile, Command::ToolRenameLocalFile}, CanRename(local));
    Set(states, {Command::LocalCreateFolder, Command::ToolNewLocalFolder}, true);
    Set(states, {Command::LocalRemoveFolder, Command::LocalRemoveFolderToTrash, Command::ToolRemoveLocalFolder},
        CanRemoveFolder(local));
    // Not while a transfer runs: the component is then busy, not idle.
    Set(states, kUploadCommands, CanTransfer(local) && nFtpState == kFtpStateConnectedIdle);
    return states;
}

}  // namespace CommandState
