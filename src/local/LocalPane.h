#pragma once

#include "local/clsLocalPaths.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class FilePane;
class QAction;
class QComboBox;
class PaneHost;
class QMenu;
class QToolBar;
struct FilePaneRow;

// The local pane: one local folder at a time in a FilePane, the history of
// visited folders in the path box, navigation, the two directory filters,
// the Local menu with its file operations, and the pane's keys. All the
// file-system work goes through clsLocalPaths.
//
// Folder paths always end with the separator; "/" is the first drive root.
class LocalPane final : public QObject {
    Q_OBJECT
public:
    LocalPane(FilePane* list, QComboBox* pathBox, PaneHost& host, QObject* parent = nullptr);

    // Drive roots into the path box, "/" current; then lists it.
    void Start();
    // Fills the Local menu in order, with object names, and connects it; the
    // menu is then also the pane's context menu.
    void BuildLocalMenu(QMenu* menu);
    // The pane's toolbar: go up, delete, upload, the four views, new folder.
    void BuildToolbar(QToolBar* toolbar);
    QAction* UploadButton() const { return m_uploadButton; }
    // "&Empty Local Recycle Bin" (mnuToolsEmptyLocalRecycleBin), for the Tools menu.
    QAction* EmptyTrashAction() const { return m_emptyTrash; }

    QString CurrentLocalFolder() const { return m_sCurrentLocalFolder; }
    // Names of the selected rows, in list order; full paths are folder + name.
    QStringList SelectedNames() const;
    QList<FilePaneRow> SelectedRows() const;
    // One listing entry as a row, by the local icon rules.
    static FilePaneRow MakeRow(const LocalEntry& entry);
    // Files dropped from another program, by folder in the order dropped:
    // each folder (ending with the separator) with the names dropped from it.
    struct DroppedFolder {
        QString sFolder;
        QStringList names;
    };
    static QList<DroppedFolder> GroupByFolder(const QStringList& files);
    // The rows of entries of a folder as a listing would show them; names
    // that no longer exist give none.
    static QList<FilePaneRow> RowsOf(const QString& sFolder, const QStringList& names);

    // Navigation
    void ClearLocalList();
    void RefreshLocalList();
    void RetrieveLocalFolderContents(const QString& sPath);
    void RetrieveDefinedLocalFolderContents(const QString& sPath, const QString& sDefinedType);
    bool ChangeCurrentLocalFolder(const QString& sNewLocalPath);
    void GoUpLocalFolder();
    static void AddPathToComboBox(const QString& sPathToAdd, QComboBox* combo);
    static bool FindPathInComboBox(const QString& sPath, const QComboBox* combo);
    void cboLocalPath_Click(int nIndex);  // an entry of the path box was chosen
    // A path typed into the path box and Enter: lists that folder as choosing
    // its entry would; one that cannot be entered is logged, and the box
    // shows the current folder again.
    void GoToTypedPath(const QString& sTyped);
    // The folder a typed path names, seen from sCurrent (relative paths, "~"),
    // ending with the separator; empty for blank text.
    static QString TypedFolder(const QString& sCurrent, const QString& sTyped);
    void OnDoubleClick();
    void Refresh();
    void FilterAll();
    void FilterDefineTypes();

    // File operations of the Local and Tools menus
    void LocalDeleteFiles();
    void LocalRenameFile();
    void LocalCreateFolder();
    void LocalRemoveFolder();
    void DeleteFilesToTrash();
    void DeleteFolderToTrash();
    void EmptyTrash();
    void OpenFile();
    void ShowProperties();
    void FindFiles();
    void Upload();

Q_SIGNALS:
    // The user asked to upload the selection (menu, toolbar, double click).
    void uploadRequested();

private:
    void OnEntries(const QList<LocalEntry>& entries);
    void OnFolderListed(const QString& sPath);
    void OnDriveFound(const QString& sDrive);
    void OnKey(int key);
    void OnContextMenu(const QPoint& globalPos);
    void OnLabelEditStarting(int nRow, bool& bCancel);
    void OnLabelEdited(int nRow, const QString& sOld, QString& sNew, bool& bCancel);
    void RefreshAndUpdate();
    QString SelectedName() const;  // empty without a selected entry
    static int IndexOfPath(const QString& sPath, const QComboBox* combo);

    FilePane* m_list;
    QComboBox* m_pathBox;
    clsLocalPaths m_xLocalPaths;
    QString m_sCurrentLocalFolder;
    PaneHost& m_host;
    QMenu* m_menu = nullptr;
    QAction* m_uploadButton = nullptr;
    QAction* m_emptyTrash;
};
