#pragma once

#include "ftp/ListingEntry.h"

#include <QMap>

// Which of the main window's commands can be used, as plain rules over what
// the window knows: connected or not, busy or not, and what each pane has
// selected. Each routine answers only for the commands it is responsible
// for; commands it does not name keep whatever state they had.
enum class Command {
    // The buttons below the panes and the transfer type.
    ConnectButton, DisconnectButton, AbortButton, UploadButton, DownloadButton, AsciiType, BinaryType,
    // The main toolbar.
    ToolConnect, ToolDisconnect, ToolReconnect, ToolAbort, ToolUpload, ToolNewLocalFolder, ToolRemoveLocalFolder,
    ToolDeleteLocalFile, ToolRenameLocalFile, ToolRefreshRemote, ToolDownload, ToolNewRemoteFolder,
    ToolRemoveRemoteFolder, ToolDeleteRemoteFile, ToolRenameRemoteFile,
    // The panes' own toolbars, the remote path box and the Remote menu as wholes.
    LocalToolbarUpload, RemoteToolbar, RemoteToolbarDownload, RemotePathBox, RemoteMenu,
    // Items of the Local and Remote menus.
    LocalUpload, LocalDeleteFile, LocalDeleteFileToTrash, LocalRenameFile, LocalCreateFolder, LocalRemoveFolder,
    LocalRemoveFolderToTrash, RemoteDownload, RemoteCreateFolder, RemoteRemoveFolder, RemoteDeleteFile,
    RemoteRenameFile,
};

// What the rules read about one file pane's selection.
struct PaneSelection {
    bool bHasSelectedItem = false;        // the list reports a selected item
    int nSelectedCount = 0;               // rows whose selected flag is set
    int nKind = ListingEntry::File;       // the kind of that selected item
};

// Command -> enabled.
using CommandStates = QMap<Command, bool>;

namespace CommandState {

// The FTP component's connection state (dispatch id 403) when connected and
// no operation is running.
inline constexpr int kFtpStateConnectedIdle = 2;

// What a selection counts as: its item's kind, or a file when several rows
// are selected. A link counts as both a file and a folder.
bool IsFileLike(const PaneSelection& selection);
bool IsFolderLike(const PaneSelection& selection);

// Connected: the disconnect and remote commands on, connect off (and off,
// the upload commands: there must be something to upload).
CommandStates SetConnectedState(bool bConnected);
// Busy: Abort on.
CommandStates SetBusyState(bool bBusy);
// Delete (a file, or several rows), rename (a file), remove folder (a
// folder); download needs a selected row and no running call.
CommandStates UpdateRemoteCommands(const PaneSelection& remote, bool bBusy = false);
// The same for the local pane; create folder is always on; upload needs a
// selected row and the component connected and idle (nFtpState).
CommandStates UpdateLocalCommands(const PaneSelection& local, int nFtpState);

}  // namespace CommandState
