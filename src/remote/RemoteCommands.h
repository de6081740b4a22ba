#pragma once

#include <QString>

class RemotePane;

// Deleting, renaming, creating, removing and moving items on the server.
// Each asks as the window's commands ask, calls the component once per item
// and relists the remote pane. A refusal logs "Error: " and the reason. A
// name the pane lists is never renamed onto: many servers replace the target
// of a rename without a word.
namespace RemoteOperations {

void DeleteRemoteFiles(RemotePane& pane);
void RenameRemoteFile(RemotePane& pane);
void CreateRemoteFolder(RemotePane& pane);
void RemoveRemoteFolder(RemotePane& pane);
void MoveRemoteItems(RemotePane& pane);

// In-place renaming of a row: the log line when editing starts, and the
// end of the edit, which returns false when the edit is to be cancelled
// (the row keeps its old name).
void StartInPlaceRename(RemotePane& pane, const QString& sName);
bool FinishInPlaceRename(RemotePane& pane, const QString& sOld, const QString& sNew);

// The text after the last "." (the whole name when there is none).
QString Extension(const QString& sName);
// Where a move puts `sName`: the folder typed, "/" and the name, without a
// doubled "/". Servers take "/" as the separator, never "\".
QString MoveTarget(const QString& sFolder, const QString& sName);

}  // namespace RemoteOperations

// The remote menu's raw commands and the two manual transfers. Replies
// reach the log through the component's log-text event.
namespace ManualCommands {

// HELP, LIST, NLST, PWD, SYST: sent as they are.
void SendFixed(RemotePane& pane, const QString& sCommand);
void ChangeFolder(RemotePane& pane);   // asks, sends "CWD " + answer
void Quote(RemotePane& pane);          // asks, sends "QUOTE " + answer
void SendTyped(RemotePane& pane);      // asks, sends the answer as typed
void ReceiveFile(RemotePane& pane);    // asks for a remote name, receives it into the local folder
void SendFile(RemotePane& pane);       // asks for a local name, sends it into the server's folder

}  // namespace ManualCommands
