#include "remote/RemotePane.h"

#include "ftp/FtpComponent.h"
#include "local/FileIcons.h"
#include "remote/ChangeMode.h"
#include "remote/RemoteCommands.h"
#include "ui/FilePane.h"
#include "ui/PaneToolbar.h"
#include "ui/PaneHost.h"
#include "ui/PathBox.h"
#include "ui/Prompter.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace {

const QString kFilterTitle = QStringLiteral("Define Type For Remote Server Directory Listing");
const QString kCommandTitle = QStringLiteral("Remote Server Custom Command");
const QString kNoCommand = QStringLiteral("No command entered, quiting");

}  // namespace

RemotePane::RemotePane(FilePane* list, QComboBox* pathBox, FtpComponent& ftp, PaneHost& host, QObject* parent)
    : QObject(parent), m_list(list), m_pathBox(pathBox), m_ftp(ftp), m_host(host)
{
    // Rows arrive as events while the listing comes in; they are gathered
    // and added in one batch when it has come in whole, so a large folder
    // fills at once, and a listing that fails half-way shows nothing.
    connect(&m_ftp, &FtpComponent::listingEntry, this, [this](const ListingEntry& entry) {
        FilePaneRow row;
        if (MakeRow(entry, row)) m_pending.append(row);
    });
    connect(m_list, &FilePane::itemDoubleClicked, this, [this](int) { OnDoubleClick(); });
    connect(m_list, &FilePane::itemClicked, this, [this](int) { m_host.UpdateRemoteCommands(); });
    connect(m_list, &FilePane::selectionChanged, this, [this] { m_host.UpdateRemoteCommands(); });
    connect(m_pathBox, qOverload<int>(&QComboBox::activated), this, &RemotePane::OnPathChosen);
    TakeTypedPaths(m_pathBox, [this](const QString& sTyped) { GoToTypedPath(sTyped); });
    connect(m_list, &FilePane::keyPressed, this, &RemotePane::OnKey);
    m_list->SetLabelEditByClick(true);
    connect(m_list, &FilePane::labelEditStarting, this, [this](int nRow, bool& bCancel) {
        if (!Idle()) {
            bCancel = true;
            return;
        }
        m_sEditOldName = m_list->Text(nRow);
        RemoteOperations::StartInPlaceRename(*this, m_sEditOldName);
    });
    connect(m_list, &FilePane::labelEdited, this, [this](int, const QString& sOld, QString& sNew, bool& bCancel) {
        bCancel = !RemoteOperations::FinishInPlaceRename(*this, sOld, sNew);
    });
}

bool RemotePane::MakeRow(const ListingEntry& entry, FilePaneRow& row)
{
    if (entry.kind < ListingEntry::File || entry.kind > ListingEntry::Link) return false;
    row.entry = entry;
    row.kind = entry.kind;
    row.shownSize = entry.size;
    switch (entry.kind) {
    case ListingEntry::File:  // kinds without a picture of their own show as the plain file
        row.smallIcon = GetFileIconIndex(entry.name);
        if (row.smallIcon == kOtherFileIcon) row.smallIcon = kPlainFileIcon;
        row.size = entry.size;
        row.kindLetter = u'F';
        break;
    case ListingEntry::Folder:
        row.smallIcon = kFolderIcon;
        row.kindLetter = u'D';
        break;
    case ListingEntry::Link:  // its extension's picture, or the link picture
        row.smallIcon = GetFileIconIndex(entry.name);
        if (row.smallIcon != kOtherFileIcon) row.kind = ListingEntry::File;
        row.size = entry.size;
        row.kindLetter = u'E';
        break;
    }
    return true;
}

// --- listing ------------------------------------------------------------------------

void RemotePane::ListFilesOnServer() { ListDefinedFilesOnServer(QString()); }

void RemotePane::ListDefinedFilesOnServer(const QString& sDefine)
{
    m_ftp.PutProperty(FtpComponent::kListingOption, 1);
    m_host.UpdateAction(QStringLiteral("Obtaining directory listing..."));
    m_pending.clear();
    try {
        m_ftp.Invoke(FtpComponent::kListFolder, {sDefine});
    } catch (const FtpError& e) {
        m_pending.clear();
        m_host.ReportError(e);
    }
    m_list->AddRows(std::exchange(m_pending, {}));
}

void RemotePane::ClearRemoteList() { m_list->Clear(); }

void RemotePane::RefreshRemoteList()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ListAgain();
    QApplication::restoreOverrideCursor();
}

void RemotePane::ListAgain()
{
    ClearRemoteList();
    m_host.SetBusyState(true);
    ListFilesOnServer();
    m_host.SetBusyState(false);
    m_host.UpdateAction(QString());
}

QString RemotePane::GetRemoteFolder()
{
    const QString folder = m_ftp.GetProperty(FtpComponent::kCurrentFolder).toString();
    AddToRemotePaths(folder);
    return folder;
}

bool RemotePane::ChangeCurrentRemoteFolder(const QString& sNewCurrentFolder, bool bShowErrors)
{
    try {
        m_ftp.Invoke(FtpComponent::kChangeFolder, {sNewCurrentFolder});
    } catch (const FtpError& e) {
        if (bShowErrors) m_host.ReportError(e);
        return false;
    }
    GetRemoteFolder();
    return true;
}

bool RemotePane::FindPathInComboBox(const QString& sPath, const QComboBox* combo)
{
    const QString wanted = sPath.toUpper();
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).toUpper() == wanted) return true;
    return false;
}

void RemotePane::AddToRemotePaths(const QString& sPathToAdd)
{
    if (FindPathInComboBox(sPathToAdd, m_pathBox)) {
        m_pathBox->setEditText(sPathToAdd);
        return;
    }
    // Selecting from here is not a user's choice: it lists nothing (the
    // caller lists), so a new folder is listed once, not twice.
    m_pathBox->addItem(sPathToAdd);
    m_pathBox->setCurrentIndex(m_pathBox->count() - 1);
}

void RemotePane::Relist()
{
    m_sRememberedFolder = GetRemoteFolder();
    ClearRemoteList();
    m_host.SetBusyState(true);
    ListFilesOnServer();
    m_host.SetBusyState(false);
    m_host.UpdateRemoteCommands();
    m_host.UpdateAction(QString());
}

QString RemotePane::BusyMessage()
{
    return QStringLiteral("Error: Another FTP operation is still running; wait for it to end, or abort it.");
}

bool RemotePane::Idle() const
{
    if (!m_ftp.running()) return true;
    m_host.DisplayMessage(BusyMessage());
    return false;
}

void RemotePane::OnDoubleClick()
{
    if (!Idle()) return;
    const ProgramMovesPathBox moving(*this);
    const int row = m_list->SelectedItem();
    if (m_ftp.state() != FtpComponent::kStateConnected || row < 0) return;
    // A file is downloaded; a link is entered where the server lets us in,
    // else downloaded.
    const QString name = m_list->Text(row);
    switch (m_list->Kind(row)) {
    case ListingEntry::File: Q_EMIT downloadRequested(); break;
    case ListingEntry::Link:
        if (ChangeCurrentRemoteFolder(name, false)) Relist();
        else Q_EMIT downloadRequested();
        break;
    case ListingEntry::Folder:
        ChangeCurrentRemoteFolder(name, true);
        Relist();
        break;
    }
}

void RemotePane::OnPathChosen(int nIndex)
{
    const QString text = m_pathBox->itemText(nIndex);
    if (m_nProgramMovesPathBox == 0) {
        if (!Idle()) {  // the box goes back to the folder in force
            m_pathBox->setEditText(m_ftp.currentFolder());
            return;
        }
        ChangeCurrentRemoteFolder(text, true);
        ListAgain();
    }
    m_sRememberedFolder = text;
}

void RemotePane::GoToTypedPath(const QString& sTyped)
{
    const QString folder = sTyped.trimmed();
    if (folder.isEmpty() || m_ftp.state() == FtpComponent::kStateNotConnected || !Idle()) {
        m_pathBox->setEditText(m_ftp.currentFolder());
        return;
    }
    // As choosing the entry; a folder the server refuses is logged and the
    // box shows the folder in force again.
    if (!ChangeCurrentRemoteFolder(folder, true)) {
        m_pathBox->setEditText(m_ftp.currentFolder());
        return;
    }
    Relist();
}

void RemotePane::OnKey(int key)
{
    // The keys run the commands of the Remote menu and toolbar, on a
    // connection that is not busy with another call.
    if (m_ftp.state() == FtpComponent::kStateNotConnected) return;
    const bool bSelected = m_list->SelectedItem() >= 0;
    switch (key) {
    case Qt::Key_Return:
        if (bSelected) OnDoubleClick();
        break;
    case Qt::Key_Backspace:
        if (Idle()) GoUpRemoteFolder();
        break;
    case Qt::Key_F5:
        if (Idle()) {
            RefreshRemoteList();
            m_host.UpdateRemoteCommands();
        }
        break;
    case Qt::Key_Delete:
        if (bSelected && Idle()) RemoteOperations::DeleteRemoteFiles(*this);
        break;
    case Qt::Key_F2:  // the name is edited in place, as a slow second click does
        if (bSelected) m_list->StartLabelEdit(m_list->SelectedItem());
        break;
    default: break;
    }
}

void RemotePane::GoUpRemoteFolder()
{
    const QString before = m_ftp.GetProperty(FtpComponent::kCurrentFolder).toString();
    try {
        m_ftp.Invoke(FtpComponent::kParentFolder);
    } catch (const FtpError& e) {
        m_host.ReportError(e);
    }
    const QString after = GetRemoteFolder();
    if (after != before) {
        if (!ChangeCurrentRemoteFolder(after, true)) return;
        ClearRemoteList();
        ListFilesOnServer();
        m_host.UpdateRemoteCommands();
        m_host.DisplayMessage(QStringLiteral("Remote path now up one folder."));
    } else {
        m_host.DisplayMessage(QStringLiteral("Remote path already at a root folder."));
    }
}

void RemotePane::GoToRemoteFolder()
{
    const QString answer =
        ThePrompter()
            .input(kCommandTitle, QStringLiteral("Type Directory Name To Go TO (WITHOUT THE WORD CD OR DIR IN THE BEGINNING!)"),
                   QString())
            .value_or(QString());
    if (answer.isEmpty()) {
        ThePrompter().message(kCommandTitle, kNoCommand, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    // The command stands in the Remote menu: it changes the server's folder.
    if (ChangeCurrentRemoteFolder(answer, true)) Relist();
}

void RemotePane::FilterAll() { ListAgain(); }

void RemotePane::FilterDefineTypes()
{
    const QString answer =
        ThePrompter().input(kFilterTitle, QStringLiteral("Please enter the type ex: *.gif "), QString()).value_or(QString());
    if (answer.isEmpty()) {
        ThePrompter().message(kFilterTitle, kNoCommand, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    ClearRemoteList();
    m_host.SetBusyState(true);
    ListDefinedFilesOnServer(answer);
    m_host.SetBusyState(false);
    m_host.UpdateAction(QString());
}

// --- commands -----------------------------------------------------------------------

QStringList RemotePane::SelectedNames() const
{
    QStringList names;
    for (int row : m_list->SelectedRows()) names << m_list->Text(row);
    return names;
}

QString RemotePane::SelectedName() const
{
    const int row = m_list->SelectedItem();
    return row >= 0 ? m_list->Text(row) : QString();
}

bool RemotePane::IsListed(const QString& sName) const
{
    for (int row = 0; row < m_list->Count(); ++row)
        if (m_list->Text(row) == sName) return true;
    return false;
}

void RemotePane::ChangeMode()
{
    if (!ChangeModeOfSelection(m_ftp, SelectedRows(), m_list->window(), m_host)) return;
    m_host.UpdateAction(QString());
    RefreshRemoteList();
}

void RemotePane::BuildRemoteMenu(QMenu* menu)
{
    // Every item needs the control connection: none starts while a call
    // (a transfer, say) is still running.
    auto add = [&](QMenu* into, const char* name, const QString& text, std::function<void()> fn) {
        QAction* action = into->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, fn] {
            if (Idle()) fn();
        });
        return action;
    };
    add(menu, "mnuRemoteDownload", QStringLiteral("&Download"), [this] { Q_EMIT downloadRequested(); });
    add(menu, "mnuRemoteRefresh", QStringLiteral("Re&fresh"), [this] {
        RefreshRemoteList();
        m_host.UpdateRemoteCommands();
    });
    menu->addSeparator();
    add(menu, "mnuRemoteGoUpDirectory", QStringLiteral("&Go up a Directory Level"), [this] { GoUpRemoteFolder(); });
    add(menu, "mnuRemoteGoToRemoteDirectory", QStringLiteral("Go &To Folder..."), [this] { GoToRemoteFolder(); });
    QMenu* filters = menu->addMenu(QStringLiteral("Directory &Filters"));
    filters->setObjectName(QStringLiteral("mnuRemoteFilters"));
    add(filters, "mnuRemoteFilterAll", QStringLiteral("&All Files (*.*)"), [this] { FilterAll(); });
    add(filters, "mnuRemoteFilterDefineTypes", QStringLiteral("&DefineTypes (*.?)"), [this] { FilterDefineTypes(); });
    menu->addSeparator();
    add(menu, "miCreateRemoteFolder", QStringLiteral("&Create Folder"), [this] { RemoteOperations::CreateRemoteFolder(*this); });
    add(menu, "miRemoveRemoteFolder", QStringLiteral("Remove F&older"), [this] { RemoteOperations::RemoveRemoteFolder(*this); });
    add(menu, "miDeleteRemoteFile", QStringLiteral("&Delete File(s)"), [this] { RemoteOperations::DeleteRemoteFiles(*this); });
    add(menu, "miRenameRemoteFile", QStringLiteral("&Rename File"), [this] { RemoteOperations::RenameRemoteFile(*this); });
    add(menu, "mnuRemoteMoveFileOrFolder", QStringLiteral("&Move File(s) or Folder(s)"),
        [this] { RemoteOperations::MoveRemoteItems(*this); });
    add(menu, "mnuRemoteChangeMode", QStringLiteral("C&hmod File(s) or Folders(s)"), [this] { ChangeMode(); });
    menu->addSeparator();
    QMenu* commands = menu->addMenu(QStringLiteral("FTP &Commands"));
    commands->setObjectName(QStringLiteral("mnuRemoteFtpCommands"));
    const std::pair<const char*, const char*> fixed[] = {
        {"mnuRemoteFtpCommandsHelp", "HELP"}, {"mnuRemoteFtpCommandsList", "LIST"}, {"mnuRemoteFtpCommandsNlst", "NLST"},
        {"mnuRemoteFtpCommandsPwd", "PWD"},   {"mnuRemoteFtpCommandsSyst", "SYST"},
    };
    for (const auto& [name, word] : fixed)
        add(commands, name, QLatin1String(word), [this, word] { ManualCommands::SendFixed(*this, QLatin1String(word)); });
    add(commands, "mnuRemoteFtpCommandsCwd", QStringLiteral("CWD..."), [this] { ManualCommands::ChangeFolder(*this); });
    add(commands, "mnuRemoteFtpCommandsQuote", QStringLiteral("QUOTE..."), [this] { ManualCommands::Quote(*this); });
    add(commands, "mnuRemoteFtpCommandsRetr", QStringLiteral("RETR..."), [this] { ManualCommands::ReceiveFile(*this); });
    add(commands, "mnuRemoteFtpCommandsStor", QStringLiteral("STOR..."), [this] { ManualCommands::SendFile(*this); });
    add(menu, "mnuRemoteSendCommand", QStringLiteral("&Send Command..."), [this] { ManualCommands::SendTyped(*this); });
    add(menu, "mnuRemoteManualFileReceive", QStringLiteral("Manual File &Receive..."),
        [this] { ManualCommands::ReceiveFile(*this); });
    add(menu, "mnuRemoteManualPut", QStringLiteral("Manual File &Put..."), [this] { ManualCommands::SendFile(*this); });
}

void RemotePane::BuildToolbar(QToolBar* toolbar)
{
    // Views only change the pane; the other buttons need the connection.
    auto idle = [this](std::function<void()> fn) {
        return [this, fn] {
            if (Idle()) fn();
        };
    };
    BuildPaneToolbar(
        toolbar, m_list,
        {{"Go Up 1 directory level", QStyle::SP_FileDialogToParent, idle([this] { GoUpRemoteFolder(); })},
         {nullptr, QStyle::SP_CustomBase, {}},
         {"Delete", QStyle::SP_TrashIcon, idle([this] { RemoteOperations::DeleteRemoteFiles(*this); })},
         {"Download selection", QStyle::SP_ArrowDown, idle([this] { Q_EMIT downloadRequested(); }), &m_downloadButton}},
        {{"New Folder", QStyle::SP_FileDialogNewFolder, idle([this] { RemoteOperations::CreateRemoteFolder(*this); })}});
}
