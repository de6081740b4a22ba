#pragma once

#include "ftp/ListingEntry.h"
#include "remote/RemoteCommands.h"
#include "ui/FilePane.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class FtpComponent;
class QComboBox;
class QMenu;
class QToolBar;

// The remote pane: the server's current folder in a FilePane, the history
// of visited folders in the path box, navigation, the filters, the remote
// toolbar and the Remote menu with its operations and raw commands.
class RemotePane final : public QObject {
    Q_OBJECT
public:
    // Small-icon indexes the other code tells rows apart by.
    static constexpr int kLinkIcon = 10;
    static constexpr int kFolderIcon = 11;

    RemotePane(FilePane* list, QComboBox* pathBox, FtpComponent& ftp, QObject* parent = nullptr);

    // What the window provides. Unset callbacks do nothing.
    std::function<void(const QString&)> displayMessage;
    std::function<void(const QString&)> updateAction;  // status-bar panel 1
    std::function<void(bool)> setBusyState;
    std::function<void()> updateRemoteCommands;
    std::function<void()> receiveSelectedItems;  // the download engine
    std::function<void()> sendSelectedItems;     // the upload engine (drops from the local pane)
    std::function<QString()> currentLocalFolder;
    std::function<void()> refreshLocalList;
    std::function<void()> updateLocalCommands;
    std::function<void(const QStringList&)> changeMode;  // permissions of the selected names

    // Fills the Remote menu (its items, in order, with their object names)
    // and the remote toolbar's buttons, and connects them.
    void BuildRemoteMenu(QMenu* menu);
    void BuildToolbar(QToolBar* toolbar);

    void ListFilesOnServer();
    void ListDefinedFilesOnServer(const QString& sDefine);
    void ClearRemoteList();
    void RefreshRemoteList();
    QString GetRemoteFolder();
    bool ChangeCurrentRemoteFolder(const QString& sNewCurrentFolder, bool bShowErrors);
    void AddToRemotePaths(const QString& sPathToAdd);
    static bool FindPathInComboBox(const QString& sPath, const QComboBox* combo);
    void GoUpRemoteFolder();
    void GoToRemoteFolder();  // asks for a folder and changes the server's folder
    void FilterAll();
    void FilterDefineTypes();
    void OnDoubleClick();
    void OnPathChosen(int nIndex);
    // A folder typed into the path box and Enter: changes to it and lists
    // it; a refused folder is logged and the box shows the folder in force.
    void GoToTypedPath(const QString& sTyped);
    // Enter, Backspace, F5, Delete and F2 of the pane.
    void OnKey(int key);

    // One listing entry as a row, by the remote icon rules; false for kinds
    // that add nothing.
    static bool MakeRow(const QString& sName, const QDateTime& date, qint64 nSize, int nKind, FilePaneRow& row);

    QString RememberedFolder() const { return m_sRememberedFolder; }
    // The log line for a command that waits for a running call.
    static QString BusyMessage();
    QStringList SelectedNames() const;
    RemoteContext Context() const;

private:
    // False, with a log line, while a call (a transfer) is running: the
    // commands that need the connection wait for it.
    bool Idle() const;
    void Relist();
    void Call(const std::function<void()>& fn) const;
    void Message(const QString& s) const { if (displayMessage) displayMessage(s); }
    void Action(const QString& s) const { if (updateAction) updateAction(s); }
    void Busy(bool b) const { if (setBusyState) setBusyState(b); }
    void UpdateCommands() const { if (updateRemoteCommands) updateRemoteCommands(); }

    FilePane* m_list;
    QComboBox* m_pathBox;
    FtpComponent& m_ftp;
    QList<FilePaneRow> m_pending;  // rows of the listing in progress, added at its end in one batch
    QString m_sRememberedFolder;
    QString m_sEditOldName;
};
