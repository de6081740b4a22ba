#pragma once

#include "ftp/ListingEntry.h"
#include "ui/FilePane.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class FtpComponent;
class PaneHost;
class QAction;
class QComboBox;
class QMenu;
class QToolBar;

// The remote pane: the server's current folder in a FilePane, the history
// of visited folders in the path box, navigation, the filters, the remote
// toolbar and the Remote menu with its operations and raw commands.
class RemotePane final : public QObject {
    Q_OBJECT
public:
    RemotePane(FilePane* list, QComboBox* pathBox, FtpComponent& ftp, PaneHost& host, QObject* parent = nullptr);

    // Fills the Remote menu (its items, in order, with their object names)
    // and the remote toolbar's buttons, and connects them.
    void BuildRemoteMenu(QMenu* menu);
    void BuildToolbar(QToolBar* toolbar);
    QAction* DownloadButton() const { return m_downloadButton; }

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

    // While one of these lives, the program moves the path box (connecting,
    // entering a folder): an entry chosen meanwhile lists nothing.
    class ProgramMovesPathBox {
    public:
        explicit ProgramMovesPathBox(RemotePane& pane) : m_pane(pane) { ++m_pane.m_nProgramMovesPathBox; }
        ~ProgramMovesPathBox() { --m_pane.m_nProgramMovesPathBox; }
        ProgramMovesPathBox(const ProgramMovesPathBox&) = delete;
        ProgramMovesPathBox& operator=(const ProgramMovesPathBox&) = delete;

    private:
        RemotePane& m_pane;
    };

    // One listing entry as a row, by the remote icon rules; false for kinds
    // that add nothing.
    static bool MakeRow(const ListingEntry& entry, FilePaneRow& row);

    // The log line for a command that waits for a running call.
    static QString BusyMessage();
    // The selection, in list order; the selected row's name (empty when none).
    QStringList SelectedNames() const;
    QString SelectedName() const;
    QList<FilePaneRow> SelectedRows() const { return m_list->SelectedEntries(); }
    // Whether the pane lists an entry of exactly this name.
    bool IsListed(const QString& sName) const;
    FtpComponent& Ftp() const { return m_ftp; }
    PaneHost& Host() const { return m_host; }

Q_SIGNALS:
    // The user asked to download the selection (double click, menu, toolbar).
    void downloadRequested();

private:
    // False, with a log line, while a call (a transfer) is running: the
    // commands that need the connection wait for it.
    bool Idle() const;
    void Relist();
    void ListAgain();  // the folder in force, busy while it lists
    void ChangeMode();

    FilePane* m_list;
    QComboBox* m_pathBox;
    FtpComponent& m_ftp;
    PaneHost& m_host;
    QAction* m_downloadButton = nullptr;
    int m_nProgramMovesPathBox = 0;
    QList<FilePaneRow> m_pending;  // rows of the listing in progress, added at its end in one batch
    QString m_sRememberedFolder;
    QString m_sEditOldName;
};
