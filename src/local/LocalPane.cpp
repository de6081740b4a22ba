#include "local/LocalPane.h"

#include "local/FileIcons.h"
#include "local/frmFindFiles.h"
#include "local/frmProperties.h"
#include "ui/FilePane.h"
#include "ui/PaneToolbar.h"
#include "ui/PathBox.h"
#include "ui/PaneHost.h"
#include "ui/Prompter.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QStyle>
#include <QToolBar>

#include <functional>

namespace {

const QString kConfirmTitle = QStringLiteral("Kelvo ") + QStringLiteral("[Confirm]");
const QString kApplicationTitle = QStringLiteral("Kelvo");
const QString kFilterTitle = QStringLiteral("Define Type For Local Server Directory Listing");
const QChar kSep = QDir::separator();

bool AskYesNo(const QString& sTitle, const QString& sQuestion)
{
    return ThePrompter().message(sTitle, sQuestion, PromptButtons::YesNo, PromptIcon::Question) == PromptResult::Yes;
}

QString Ask(const QString& sTitle, const QString& sPrompt)
{
    return ThePrompter().input(sTitle, sPrompt, QString()).value_or(QString());
}

// The text after the last ".", or the whole name without one.
QString Extension(const QString& sName) { return sName.mid(sName.lastIndexOf(QLatin1Char('.')) + 1); }

// Deletes everything inside a folder, keeping the folder; false when
// something stayed behind.
bool EmptyFolder(const QString& sFolder)
{
    bool bAll = true;
    QDirIterator it(sFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const bool bDone = info.isDir() && !info.isSymLink() ? QDir(info.filePath()).removeRecursively()
                                                             : QFile::remove(info.filePath());
        bAll = bAll && bDone;
    }
    return bAll;
}

}  // namespace

LocalPane::LocalPane(FilePane* list, QComboBox* pathBox, PaneHost& host, QObject* parent)
    : QObject(parent), m_list(list), m_pathBox(pathBox), m_sCurrentLocalFolder(QString(kSep)), m_host(host)
{
    m_xLocalPaths.onUpdateLocalEntries = [this](const QList<LocalEntry>& entries) { OnEntries(entries); };
    m_xLocalPaths.onAddToLocalPaths = [this](const QString& sPath) { OnFolderListed(sPath); };
    m_xLocalPaths.onLogicalDriveFound = [this](const QString& sDrive) { OnDriveFound(sDrive); };
    m_xLocalPaths.onLogMessage = [this](const QString& s) { m_host.DisplayMessage(s); };

    // Typed text is taken only when it names an entry: the history holds
    // folders that were listed, nothing else.
    TakeTypedPaths(m_pathBox, [this](const QString& sTyped) { GoToTypedPath(sTyped); });
    // activated comes from the user alone; the program's own selections list
    // explicitly where needed.
    connect(m_pathBox, &QComboBox::activated, this, &LocalPane::cboLocalPath_Click);
    m_list->SetLabelEditByClick(true);
    connect(m_list, &FilePane::itemDoubleClicked, this, &LocalPane::OnDoubleClick);
    connect(m_list, &FilePane::keyPressed, this, &LocalPane::OnKey);
    connect(m_list, &FilePane::selectionChanged, this, [this] { m_host.UpdateLocalCommands(); });
    connect(m_list, &FilePane::contextMenuRequested, this, &LocalPane::OnContextMenu);
    connect(m_list, &FilePane::labelEditStarting, this, &LocalPane::OnLabelEditStarting);
    connect(m_list, &FilePane::labelEdited, this, &LocalPane::OnLabelEdited);

    m_emptyTrash = new QAction(QStringLiteral("&Empty Local Recycle Bin"), this);
    m_emptyTrash->setObjectName(QStringLiteral("mnuToolsEmptyLocalRecycleBin"));
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
    m_emptyTrash->setEnabled(false);  // only the freedesktop trash is known here
#endif
    connect(m_emptyTrash, &QAction::triggered, this, &LocalPane::EmptyTrash);
}

void LocalPane::Start()
{
    m_xLocalPaths.RetreiveLogicalDrives();
    m_sCurrentLocalFolder = QString(kSep);
    m_pathBox->setCurrentIndex(-1);  // the first entry added became current on its own
    m_pathBox->setEditText(m_sCurrentLocalFolder);
    RetrieveLocalFolderContents(m_sCurrentLocalFolder);
}

void LocalPane::OnDriveFound(const QString& sDrive) { m_pathBox->addItem(NormalizedPathForCompare(sDrive)); }

FilePaneRow LocalPane::MakeRow(const LocalEntry& entry)
{
    FilePaneRow row;
    row.entry.name = entry.sName;
    row.entry.date = entry.dtDate;
    row.entry.nDatePrecision = 1;
    row.entry.size = entry.lSize;
    const bool bReadable = entry.nAttrib != LocalAttrib::Unreadable;
    if (bReadable && (entry.nAttrib & LocalAttrib::Directory)) {
        row.entry.kind = row.kind = ListingEntry::Folder;
        row.smallIcon = kFolderIcon;
        row.kindLetter = u'D';
        return row;
    }
    // An entry that cannot be examined is a link to nothing (or nothing
    // readable): no folder to enter, and no file to upload unless its
    // extension's picture shows it as one.
    row.entry.kind = bReadable ? ListingEntry::File : ListingEntry::Link;
    row.smallIcon = GetFileIconIndex(entry.sName);
    row.kind = row.smallIcon == kOtherFileIcon ? row.entry.kind : ListingEntry::File;
    // A readable file whose kind has no picture of its own shows the
    // generic document; an unreadable entry keeps its index.
    if (bReadable && row.smallIcon == kOtherFileIcon) row.smallIcon = kPlainFileIcon;
    row.size = row.shownSize = entry.lSize;
    row.kindLetter = u'F';
    return row;
}

QList<LocalPane::DroppedFolder> LocalPane::GroupByFolder(const QStringList& files)
{
    QList<DroppedFolder> folders;
    for (const QString& sFile : files) {
        const QString sClean = QDir::cleanPath(QDir::fromNativeSeparators(sFile));
        const int nCut = sClean.lastIndexOf(QLatin1Char('/'));
        const QString sName = sClean.mid(nCut + 1);
        if (nCut < 0 || sName.isEmpty() || sName == QLatin1String("..")) continue;  // no entry of a folder
        const QString sFolder = QDir::toNativeSeparators(sClean.left(nCut + 1));
        auto at = std::find_if(folders.begin(), folders.end(),
                               [&](const DroppedFolder& f) { return f.sFolder == sFolder; });
        if (at == folders.end()) folders.append(DroppedFolder{sFolder, {sName}});
        else if (!at->names.contains(sName)) at->names.append(sName);
    }
    return folders;
}

QList<FilePaneRow> LocalPane::RowsOf(const QString& sFolder, const QStringList& names)
{
    QList<FilePaneRow> rows;
    for (const QString& sName : names) {
        const QFileInfo info(sFolder + sName);
        if (!info.exists()) continue;
        LocalEntry entry;
        entry.sName = sName;
        entry.dtDate = info.lastModified();
        entry.lSize = info.size();
        entry.nAttrib = info.isDir() ? LocalAttrib::Directory : 0;
        rows.append(MakeRow(entry));
    }
    return rows;
}

void LocalPane::OnEntries(const QList<LocalEntry>& entries)
{
    QList<FilePaneRow> rows;
    rows.reserve(entries.size());
    for (const LocalEntry& entry : entries) rows.append(MakeRow(entry));
    m_list->AddRows(std::move(rows));
}

int LocalPane::IndexOfPath(const QString& sPath, const QComboBox* combo)
{
    for (int i = 0; i < combo->count(); ++i)
        if (PathsEqual(sPath, combo->itemText(i))) return i;
    return -1;
}

bool LocalPane::FindPathInComboBox(const QString& sPath, const QComboBox* combo)
{
    return IndexOfPath(sPath, combo) >= 0;
}

void LocalPane::AddPathToComboBox(const QString& sPathToAdd, QComboBox* combo)
{
    const int nFound = IndexOfPath(sPathToAdd, combo);
    if (nFound >= 0) {
        combo->setCurrentIndex(nFound);
        if (combo->isEditable()) combo->setEditText(sPathToAdd);
        return;
    }
    combo->addItem(sPathToAdd);
    combo->setCurrentIndex(combo->count() - 1);
}

void LocalPane::OnFolderListed(const QString& sPath)
{
    const int nFound = IndexOfPath(sPath, m_pathBox);
    if (nFound >= 0) {
        m_pathBox->setCurrentIndex(nFound);
        if (m_pathBox->isEditable()) m_pathBox->setEditText(sPath);
        return;
    }
    // Selecting the new entry makes it current as choosing it would, without
    // listing the folder a second time: it has just been listed.
    m_pathBox->addItem(NormalizedPathForCompare(sPath));
    m_pathBox->setCurrentIndex(m_pathBox->count() - 1);
    m_sCurrentLocalFolder = sPath;
}

void LocalPane::cboLocalPath_Click(int nIndex)
{
    if (nIndex < 0 || nIndex >= m_pathBox->count()) return;
    const QString sPath = m_pathBox->itemText(nIndex);
    ClearLocalList();
    RetrieveLocalFolderContents(sPath);
    m_sCurrentLocalFolder = sPath;
    m_host.UpdateLocalCommands();
}

QString LocalPane::TypedFolder(const QString& sCurrent, const QString& sTyped)
{
    const QString sTrimmed = sTyped.trimmed();
    if (sTrimmed.isEmpty()) return {};
    QString sPath = sTrimmed;
    if (sPath == QLatin1String("~") || sPath.startsWith(QLatin1String("~/")))
        sPath = QDir::homePath() + sPath.mid(1);
    // A relative path starts from the folder shown.
    sPath = QDir::toNativeSeparators(QDir::cleanPath(QDir(sCurrent).absoluteFilePath(QDir::fromNativeSeparators(sPath))));
    return sPath.endsWith(kSep) ? sPath : sPath + kSep;
}

void LocalPane::GoToTypedPath(const QString& sTyped)
{
    const QString sPath = TypedFolder(m_sCurrentLocalFolder, sTyped);
    if (sPath.isEmpty()) {
        m_pathBox->setEditText(m_sCurrentLocalFolder);
        return;
    }
    const QFileInfo info(sPath);
    QString sWhy;
    if (!info.exists()) sWhy = QStringLiteral("No such folder");
    else if (!info.isDir()) sWhy = QStringLiteral("Not a folder");
    else if (!info.isReadable() || !info.isExecutable()) sWhy = QStringLiteral("Permission denied");
    if (!sWhy.isEmpty()) {
        m_host.DisplayMessage(QStringLiteral("Error while attempting to change current local folder to '") + sTyped.trimmed()
                + QStringLiteral("'. Description: ") + sWhy);
        m_pathBox->setEditText(m_sCurrentLocalFolder);  // the folder in force
        return;
    }
    // As choosing the entry: the listing adds the folder to the history.
    ClearLocalList();
    RetrieveLocalFolderContents(sPath);
    m_sCurrentLocalFolder = sPath;
    m_pathBox->setEditText(sPath);
    m_host.UpdateLocalCommands();
}

void LocalPane::ClearLocalList() { m_list->Clear(); }

void LocalPane::RetrieveLocalFolderContents(const QString& sPath) { m_xLocalPaths.RetrieveLocalFolderContents(sPath); }

void LocalPane::RetrieveDefinedLocalFolderContents(const QString& sPath, const QString& sDefinedType)
{
    m_xLocalPaths.RetrieveDefinedLocalFolderContents(sPath, sDefinedType);
}

void LocalPane::RefreshLocalList()
{
    ClearLocalList();
    RetrieveLocalFolderContents(m_sCurrentLocalFolder);
}

void LocalPane::RefreshAndUpdate()
{
    RefreshLocalList();
    m_host.UpdateLocalCommands();
}

bool LocalPane::ChangeCurrentLocalFolder(const QString& sNewLocalPath)
{
    if (!QFileInfo(sNewLocalPath).isDir()) {
        m_host.DisplayMessage(QStringLiteral("Error while attempting to change current local folder to '") + sNewLocalPath
                + QStringLiteral("'. Description: No such folder"));
        return false;
    }
    // Full paths are folder + name: the separator must be there.
    const QString sPath = sNewLocalPath.endsWith(kSep) ? sNewLocalPath : sNewLocalPath + kSep;
    m_sCurrentLocalFolder = sPath;
    AddPathToComboBox(sPath, m_pathBox);
    m_host.DisplayMessage(QStringLiteral("Local folder changed to ") + sPath);
    return true;
}

void LocalPane::GoUpLocalFolder()
{
    // The parent ends at the last separator before the final one; a root
    // has none.
    const int nCut = m_sCurrentLocalFolder.size() >= 2 ? m_sCurrentLocalFolder.lastIndexOf(kSep, -2) : -1;
    if (nCut < 0) {
        m_host.DisplayMessage(QStringLiteral("Local path already at root folder."));
        return;
    }
    const QString sParent = m_sCurrentLocalFolder.left(nCut + 1);
    if (!ChangeCurrentLocalFolder(sParent)) return;
    ClearLocalList();
    RetrieveLocalFolderContents(sParent);
    m_host.UpdateLocalCommands();
}

void LocalPane::OnDoubleClick()
{
    const int nRow = m_list->SelectedItem();
    if (nRow < 0) return;
    const QString sName = m_list->Text(nRow);
    if (m_list->Kind(nRow) == ListingEntry::File) {
        if (m_host.Connected() && AskYesNo(kConfirmTitle, QStringLiteral("Upload file '") + sName + QStringLiteral("'?")))
            Upload();
        return;
    }
    if (m_list->Kind(nRow) != ListingEntry::Folder) return;
    const QString sNew = m_sCurrentLocalFolder + sName + kSep;
    ClearLocalList();
    RetrieveLocalFolderContents(sNew);
    m_host.UpdateLocalCommands();
    m_sCurrentLocalFolder = sNew;
}

void LocalPane::Refresh() { RefreshAndUpdate(); }

void LocalPane::FilterAll()
{
    ClearLocalList();
    RetrieveLocalFolderContents(m_sCurrentLocalFolder);
}

void LocalPane::FilterDefineTypes()
{
    const QString sType = Ask(kFilterTitle, QStringLiteral("Please enter the type ex: *.gif "));
    if (sType.isEmpty()) {
        ThePrompter().message(kFilterTitle, QStringLiteral("No command entered, quiting"), PromptButtons::Ok,
                              PromptIcon::Information);
        return;
    }
    ClearLocalList();
    RetrieveDefinedLocalFolderContents(m_sCurrentLocalFolder, sType);
}

QString LocalPane::SelectedName() const
{
    const int nRow = m_list->SelectedItem();
    return nRow < 0 ? QString() : m_list->Text(nRow);
}

QList<FilePaneRow> LocalPane::SelectedRows() const { return m_list->SelectedEntries(); }

QStringList LocalPane::SelectedNames() const
{
    QStringList names;
    for (int nRow : m_list->SelectedRows()) names.append(m_list->Text(nRow));
    return names;
}

void LocalPane::LocalDeleteFiles()
{
    const QStringList names = SelectedNames();
    if (names.isEmpty()) return;
    if (!ConfirmDestruction(kConfirmTitle, QStringLiteral("Are you sure you want to delete the selected local file(s)?"))) return;
    // A folder among them is refused with its own message; the rest go on.
    for (const QString& sName : names) m_xLocalPaths.DeleteLocalFile(m_sCurrentLocalFolder + sName);
    RefreshAndUpdate();
}

void LocalPane::LocalRenameFile()
{
    const QString sName = SelectedName();
    if (sName.isEmpty()) return;
    const QString sFull = m_sCurrentLocalFolder + sName;
    if (!AskYesNo(kConfirmTitle, QStringLiteral("Rename local file ") + sFull + QStringLiteral("?"))) return;
    const QString sNew = Ask(QStringLiteral("Kelvo - Rename Local File"), QStringLiteral("Enter the new name for ") + sFull);
    if (sNew.isEmpty()) return;
    // Never replaces an entry of the new name: that is refused with a message.
    m_xLocalPaths.RenameLocalFile(sFull, m_sCurrentLocalFolder + sNew);
    RefreshAndUpdate();
}

void LocalPane::LocalCreateFolder()
{
    const QString sName = Ask(QStringLiteral("Kelvo - Create Local Folder"),
                              QStringLiteral("Enter the name of the local folder you wish to create."));
    if (sName.isEmpty()) return;
    m_xLocalPaths.CreateLocalFolder(m_sCurrentLocalFolder + sName);
    RefreshAndUpdate();
}

void LocalPane::LocalRemoveFolder()
{
    const QString sName = SelectedName();
    if (sName.isEmpty()) return;
    if (!ConfirmDestruction(kConfirmTitle, QStringLiteral("Delete ") + sName + QStringLiteral("?"))) return;
    m_xLocalPaths.RemoveLocalFolder(m_sCurrentLocalFolder + sName);
    RefreshAndUpdate();
}

void LocalPane::DeleteFilesToTrash()
{
    const QStringList names = SelectedNames();
    if (names.isEmpty()) return;
    // One question per entry, as each is its own move to the trash.
    for (const QString& sName : names)
        clsLocalPaths::SendToRecycleBin(m_sCurrentLocalFolder + sName, RecycleFlags::AllowUndo);
    RefreshAndUpdate();
}

void LocalPane::DeleteFolderToTrash()
{
    const QString sName = SelectedName();
    if (sName.isEmpty()) return;
    clsLocalPaths::SendToRecycleBin(m_sCurrentLocalFolder + sName, RecycleFlags::AllowUndo);
    RefreshAndUpdate();
}

void LocalPane::EmptyTrash()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    if (!ConfirmDestruction(kConfirmTitle, QStringLiteral("Empty the Trash? The items in it will be deleted for good."))) return;
    // The freedesktop home trash: the items in "files", their records in
    // "info"; the folders themselves stay.
    const QString sTrash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/");
    bool bAll = EmptyFolder(sTrash + QStringLiteral("files"));
    bAll = EmptyFolder(sTrash + QStringLiteral("info")) && bAll;
    QFile::remove(sTrash + QStringLiteral("directorysizes"));  // a cache of the emptied folder sizes
    if (!bAll)
        ThePrompter().message(QStringLiteral("Kelvo ") + QStringLiteral("[Notice]"),
                              QStringLiteral("Some items in the Trash could not be deleted."), PromptButtons::Ok,
                              PromptIcon::Exclamation);
    // The pane may be showing the trash itself.
    if (m_sCurrentLocalFolder.startsWith(sTrash)) RefreshAndUpdate();
#endif
}

void LocalPane::OpenFile()
{
    const QString sName = SelectedName();
    if (sName.isEmpty()) {
        ThePrompter().message(kApplicationTitle, QStringLiteral("Nothing to open!"), PromptButtons::Ok,
                              PromptIcon::Exclamation);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_sCurrentLocalFolder + sName));
}

void LocalPane::ShowProperties()
{
    const QString sName = SelectedName();
    if (sName.isEmpty()) {
        ThePrompter().message(kApplicationTitle, QStringLiteral("Properties of what, Please select an item?"),
                              PromptButtons::Ok, PromptIcon::None);
        return;
    }
    frmProperties::ShowFor(m_sCurrentLocalFolder + sName, m_list->window());
}

void LocalPane::FindFiles()
{
    auto* dialog = new frmFindFiles(m_sCurrentLocalFolder, m_list->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void LocalPane::Upload() { Q_EMIT uploadRequested(); }

void LocalPane::BuildLocalMenu(QMenu* menu)
{
    m_menu = menu;
    auto add = [this](QMenu* into, const char* sName, const QString& sCaption, void (LocalPane::*slot)()) {
        QAction* action = into->addAction(sCaption);
        action->setObjectName(QLatin1String(sName));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(menu, "mnuLocalRefresh", QStringLiteral("Refre&sh"), &LocalPane::Refresh);
    menu->addSeparator();
    add(menu, "mnuLocalOpenFile", QStringLiteral("&Open File"), &LocalPane::OpenFile);
    menu->addSeparator();
    add(menu, "mnuLocalUpload", QStringLiteral("&Upload File(s)"), &LocalPane::Upload);
    menu->addSeparator();
    add(menu, "miDeleteLocalFile", QStringLiteral("&Delete File(s)"), &LocalPane::LocalDeleteFiles);
    add(menu, "miRenameLocalFile", QStringLiteral("R&ename File"), &LocalPane::LocalRenameFile);
    add(menu, "miCreateLocalFolder", QStringLiteral("&Create Folder"), &LocalPane::LocalCreateFolder);
    add(menu, "miRemoveLocalFolder", QStringLiteral("Re&move Folder"), &LocalPane::LocalRemoveFolder);
    menu->addSeparator();
    add(menu, "mnuLocalFindFiles", QStringLiteral("&Find File(s)"), &LocalPane::FindFiles);
    menu->addSeparator();
    add(menu, "mnuLocalProperties", QStringLiteral("&Properties"), &LocalPane::ShowProperties);
    add(menu, "mnuLocalGoUp", QStringLiteral("&Go up a Directory Level"), &LocalPane::GoUpLocalFolder);
    add(menu, "mnuLocalDeleteFileToRecycleBin", QStringLiteral("Delete File To Recycle Bin"),
        &LocalPane::DeleteFilesToTrash);
    add(menu, "mnuDelteFolderToRecycleBin", QStringLiteral("Delete Folder To Recycle Bin"),
        &LocalPane::DeleteFolderToTrash);
    QMenu* filters = menu->addMenu(QStringLiteral("Directory Filters"));
    filters->setObjectName(QStringLiteral("mnuLocalDirectoryFilter"));
    filters->menuAction()->setObjectName(QStringLiteral("mnuLocalDirectoryFilter"));
    add(filters, "mnuLocalFilterAll", QStringLiteral("&All Files (*.*)"), &LocalPane::FilterAll);
    add(filters, "mnuLocalFilterDefineTypes", QStringLiteral("&DefineTypes (*.?)"), &LocalPane::FilterDefineTypes);
}

void LocalPane::BuildToolbar(QToolBar* toolbar)
{
    BuildPaneToolbar(toolbar, m_list,
                     {{"Go Up 1 directory level", QStyle::SP_FileDialogToParent, [this] { GoUpLocalFolder(); }},
                      {nullptr, QStyle::SP_CustomBase, {}},
                      {"Delete selection", QStyle::SP_TrashIcon, [this] { LocalDeleteFiles(); }},
                      {"Upload selection", QStyle::SP_ArrowUp, [this] { Upload(); }, &m_uploadButton}},
                     {{"New Folder", QStyle::SP_FileDialogNewFolder, [this] { LocalCreateFolder(); }}});
}

void LocalPane::OnKey(int key)
{
    switch (key) {
    case Qt::Key_Return: OnDoubleClick(); break;
    case Qt::Key_Backspace: GoUpLocalFolder(); break;
    case Qt::Key_F5: Refresh(); break;
    case Qt::Key_Delete: LocalDeleteFiles(); break;
    case Qt::Key_F2:  // the name is edited in place, as a slow second click does
        if (m_list->SelectedItem() >= 0) m_list->StartLabelEdit(m_list->SelectedItem());
        break;
    default: break;
    }
}

void LocalPane::OnContextMenu(const QPoint& globalPos)
{
    if (m_menu) m_menu->popup(globalPos);
}

void LocalPane::OnLabelEditStarting(int nRow, bool&)
{
    m_host.DisplayMessage(QStringLiteral("Local: Renaming file: \"") + m_list->Text(nRow) + QStringLiteral("\""));
}

void LocalPane::OnLabelEdited(int, const QString& sOld, QString& sNew, bool& bCancel)
{
    const QString sOldExt = Extension(sOld), sNewExt = Extension(sNew);
    if (sOldExt != sNewExt
        && ThePrompter().message(kApplicationTitle,
                                 QStringLiteral("Are you sure to exchange the file extension from: \"") + sOldExt
                                     + QStringLiteral("\" to: \"") + sNewExt + QStringLiteral("\""),
                                 PromptButtons::YesNo, PromptIcon::Question)
               != PromptResult::Yes) {
        bCancel = true;
        return;
    }
    const QString sFrom = m_sCurrentLocalFolder + sOld, sTo = m_sCurrentLocalFolder + sNew;
    const QFileInfo target(sTo);
    // An entry of that name is never replaced (a change of letter case alone
    // on a case-blind system finds the entry itself).
    if ((target.exists() || target.isSymLink()) && !PathsEqual(sFrom, sTo)) {
        ThePrompter().message(kApplicationTitle, QStringLiteral("File name exists in folder? no way!"),
                              PromptButtons::Ok, PromptIcon::Exclamation);
        bCancel = true;
        return;
    }
    m_xLocalPaths.RenameLocalFile(sFrom, sTo);
    RefreshAndUpdate();
}
