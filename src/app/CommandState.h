#pragma once

#include <QMap>
#include <QString>

// Which of the main window's commands can be used, as plain rules over what
// the window knows: connected or not, busy or not, and what each pane has
// selected. Each routine answers only for the items it is responsible for;
// items it does not name keep whatever state they had.
//
// Items are named as the window names them. Toolbar buttons are
// "<toolbar>:<position>", positions counted from 1 with separators counted
// (in Toolbar1, position 10 is the separator).
//
// SetConnectedState, enabled exactly when connected:
//   cmdDisconnect          Disconnect button
//   Toolbar1:2             main toolbar, "Disconnect"
//   Toolbar1:11, :13       main toolbar, "Reload2" and "NewFolder2"
//   Toolbar6               the remote pane's toolbar as a whole
//   miCreateRemoteFolder   Remote menu, Create Folder
//   optAscii, optBinary    transfer type choice
//   cboRemotePath          remote path box
//   miRemote               the Remote menu as a whole
// SetConnectedState, enabled exactly when not connected:
//   cmdConnect             Connect button
//   Toolbar1:1             main toolbar, "Connect"
//   Toolbar1:3             main toolbar, "Reconnect"
// and, when not connected, disables the upload items (connecting leaves them
// to UpdateLocalCommands: there must be something to upload).
//
// SetBusyState, enabled exactly when busy:
//   cmdAbort               Abort button
//   Toolbar1:4             main toolbar, "Abort"
//
// UpdateRemoteCommands:
//   miDeleteRemoteFile     Remote menu, Delete File      (and Toolbar1:15)
//   miRenameRemoteFile     Remote menu, Rename File      (and Toolbar1:16)
//   miRemoveRemoteFolder   Remote menu, Remove Folder    (and Toolbar1:14)
//   the download items, not while busy:
//   cmdReceive             Download button
//   mnuRemoteDownload      Remote menu, Download
//   Toolbar6:4             remote pane toolbar, download button
//   Toolbar1:12            main toolbar, "Download"
//
// UpdateLocalCommands:
//   miDeleteLocalFile               Local menu, Delete File   (and Toolbar1:8)
//   mnuLocalDeleteFileToRecycleBin  Local menu, delete file to the wastebasket
//   miRenameLocalFile               Local menu, Rename File   (and Toolbar1:9)
//   miCreateLocalFolder             Local menu, Create Folder, always enabled (and Toolbar1:6)
//   miRemoveLocalFolder             Local menu, Remove Folder (and Toolbar1:7)
//   mnuDelteFolderToRecycleBin      Local menu, remove folder to the wastebasket
//   cmdSend, mnuLocalUpload, Toolbar5:4, Toolbar1:5   upload: a selection and
//                                   the component connected and idle

// What the rules read about one file pane's selection.
struct PaneSelection {
    bool bHasSelectedItem = false;  // the list reports a selected item
    int nSelectedCount = 0;         // rows whose selected flag is set
    int nSelectedIcon = 0;          // small-icon index of that selected item
};

// Item name -> enabled.
using CommandStates = QMap<QString, bool>;

namespace CommandState {

// The FTP component's connection state (dispatch id 403) when connected and
// no operation is running.
inline constexpr int kFtpStateConnectedIdle = 2;

// The icon index a selection counts with: the selected item's own index when
// at most one row is selected, 0 when several are.
int SelectionIcon(const PaneSelection& selection);
// Indexes up to 10 stand for files, from 10 up for folders: 10 (a remote
// link) is both.
bool IsFileLike(int nIcon);
bool IsFolderLike(int nIcon);

// "Toolbar1", 5 -> "Toolbar1:5".
QString ToolbarKey(const QString& sToolbar, int nPosition);

CommandStates SetConnectedState(bool bConnected);
CommandStates SetBusyState(bool bBusy);
// bBusy: a transfer or another call is running.
CommandStates UpdateRemoteCommands(const PaneSelection& remote, bool bBusy = false);
// nFtpState: the FTP component's connection state; uploads need it idle.
CommandStates UpdateLocalCommands(const PaneSelection& local, int nFtpState);

}  // namespace CommandState
