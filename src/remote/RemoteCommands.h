#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class FtpComponent;

// What the remote commands need from the main window: the component, the
// remote pane's selection and the window's log, status and refresh routines.
struct RemoteContext {
    FtpComponent* ftp = nullptr;
    std::function<QStringList()> selectedNames;  // the selected rows' names, in list order
    std::function<QString()> selectedName;       // the selected row's name; empty when none
    // Whether the pane lists an entry of exactly this name. Many servers
    // replace the target of a rename without a word: a listed name is never
    // renamed onto.
    std::function<bool(const QString&)> isListed;
    std::function<void(const QString&)> displayMessage;
    std::function<void()> clearStatus;           // status-bar panel 1 := ""
    std::function<void()> refreshRemoteList;
    std::function<void()> updateRemoteCommands;
    std::function<QString()> currentLocalFolder;  // ends with a separator
    std::function<void()> refreshLocalList;
    std::function<void()> updateLocalCommands;
};

// Deleting, renaming, creating, removing and moving items on the server.
// Each asks as the window's commands ask, calls the component once per item
// and relists the remote pane. A refusal logs "Error: " and the reason.
namespace RemoteOperations {

void DeleteRemoteFiles(const RemoteContext& ctx);
void RenameRemoteFile(const RemoteContext& ctx);
void CreateRemoteFolder(const RemoteContext& ctx);
void RemoveRemoteFolder(const RemoteContext& ctx);
void MoveRemoteItems(const RemoteContext& ctx);

// In-place renaming of a row: the log line when editing starts, and the
// end of the edit, which returns false when the edit is to be cancelled
// (the row keeps its old name).
void StartInPlaceRename(const RemoteContext& ctx, const QString& sName);
bool FinishInPlaceRename(const RemoteContext& ctx, const QString& sOld, const QString& sNew);

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
void SendFixed(const RemoteContext& ctx, const QString& sCommand);
void ChangeFolder(const RemoteContext& ctx);   // asks, sends "CWD " + answer
void Quote(const RemoteContext& ctx);          // asks, sends "QUOTE " + answer
void SendTyped(const RemoteContext& ctx);      // asks, sends the answer as typed
void ReceiveFile(const RemoteContext& ctx);    // asks for a remote name, receives it into the local folder
void SendFile(const RemoteContext& ctx);       // asks for a local name, sends it into the server's folder

}  // namespace ManualCommands
