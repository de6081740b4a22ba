#include "remote/RemotePane.h"

#include "ftp/FtpComponent.h"
#include "local/FileIcons.h"
#include "ui/FilePane.h"
#include "ui/PathBox.h"
#include "ui/Prompter.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace {

const QString kFilterTitle = QStringLiteral("Define Type For Remote Server Directory Listing");
const QString kCommandTitle = QStringLiteral("Remote Server Custom Command");
const QString kNoCommand = QStringLiteral("No command entered, quiting");

}  // namespace

RemotePane::RemotePane(FilePane* list, QComboBox* pathBox, FtpComponent& ftp, QObject* parent)
    : QObject(parent), m_list(list), m_pathBox(pathBox), m_ftp(ftp)
{
    m_pathBox->setProperty("Tag", QStringLiteral("0"));
    // Rows arrive as events during a listing call; they are gathered and
    // added in one batch when it returns, so a large folder fills at once.
    connect(&m_ftp, &FtpComponent::listingEntry, this,
            [this](const QString& sName, const QDateTime& date, qint64 nSize, int nKind, const QString&) {
                FilePaneRow row;
                if (MakeRow(sName, date, nSize, nKind, row)) m_pending.append(row);
            });
    connect(m_list, &FilePane::itemDoubleClicked, this, [this](int) { OnDoubleClick(); });
    connect(m_list, &FilePane::itemClicked, this, [this](int) { UpdateCommands(); });
    connect(m_list, &FilePane::selectionChanged, this, [this] { UpdateCommands(); });
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
        RemoteOperations::StartInPlaceRename(Context(), m_sEditOldName);
    });
    connect(m_list, &FilePane::labelEdited, this,
            [this](int, const QString& sOld, QString& sNew, bool& bCancel) {
                // The pane is still committing the edit: relist after it.
                RemoteContext ctx = Context();
                ctx.refreshRemoteList = [this] { QTimer::singleShot(0, this, &RemotePane::RefreshRemoteList); };
                bCancel = !RemoteOperations::FinishInPlaceRename(ctx, sOld, sNew);
            });
}

bool RemotePane::MakeRow(const QString& sName, const QDateTime& date, qint64 nSize, int nKind, FilePaneRow& row)
{
    if (nKind < 0 || nKind > 2) return false;
    row.text = sName;
    row.date = date;
    const QString dateText = date.isValid() ? QLocale::system().toString(date, QLocale::ShortFormat) : QString();
    switch (nKind) {
    case 0:  // a file: kinds above 9 show as the plain file picture
        row.smallIcon = GetFileIconIndex(sName);
        if (row.smallIcon > 9) row.smallIcon = 3;
        row.size = nSize;
        row.subItems = {QString::number(nSize), dateText, QStringLiteral("F")};
        break;
    case 1:
        row.smallIcon = kFolderIcon;
        row.subItems = {QString::number(nSize), dateText, QStringLiteral("D")};
        break;
    case 2:  // a link: its extension's picture, or the link picture
        row.smallIcon = GetFileIconIndex(sName);
        row.size = nSize;
        row.subItems = {QString::number(nSize), dateText, QStringLiteral("E")};
        break;
    }
    return true;
}

void RemotePane::Call(const std::function<void()>& fn) const
{
    try {
        fn();
    } catch (const FtpError& e) {
        if (!e.description.isEmpty()) Message(QStringLiteral("Error: ") + e.description);
    }
}

// --- listing ------------------------------------------------------------------------

void RemotePane::ListFilesOnServer() { ListDefinedFilesOnServer(QString()); }

void RemotePane::ListDefinedFilesOnServer(const QString& sDefine)
{
    m_ftp.PutProperty(FtpComponent::kListingOption, 1);
    Action(QStringLiteral("Obtaining directory listing..."));
    m_pending.clear();
    Call([&] { m_ftp.Invoke(FtpComponent::kListFolder, {sDefine}); });
    m_list->AddRows(m_pending);
    m_pending.clear();
}

void RemotePane::ClearRemoteList() { m_list->Clear(); }

void RemotePane::RefreshRemoteList()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ClearRemoteList();
    Busy(true);
    ListFilesOnServer();
    Busy(false);
    Action(QString());
    QApplication::restoreOverrideCursor();
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
        if (bShowErrors && !e.description.isEmpty()) Message(QStringLiteral("Error: ") + e.description);
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
    Busy(true);
    ListFilesOnServer();
    Busy(false);
    UpdateCommands();
    Action(QString());
}

QString RemotePane::BusyMessage()
{
    return QStringLiteral("Error: Another FTP operation is still running; wait for it to end, or abort it.");
}

bool RemotePane::Idle() const
{
    if (!m_ftp.running()) return true;
    Message(BusyMessage());
    return false;
}

void RemotePane::OnDoubleClick()
{
    if (!Idle()) return;
    m_pathBox->setProperty("Tag", QStringLiteral("1"));
    const int row = m_list->SelectedItem();
    if (m_ftp.state() == FtpComponent::kStateConnected && row >= 0) {
        const QString name = m_list->Text(row);
        const int icon = m_list->SmallIcon(row);
        if (icon >= 1 && icon <= 9) {
            if (receiveSelectedItems) receiveSelectedItems();
        } else if (icon == kLinkIcon) {
            if (ChangeCurrentRemoteFolder(name, false)) Relist();
            else if (receiveSelectedItems) receiveSelectedItems();
        } else if (icon == kFolderIcon) {
            ChangeCurrentRemoteFolder(name, true);
            Relist();
        }
    }
    m_pathBox->setProperty("Tag", QStringLiteral("0"));
}

void RemotePane::OnPathChosen(int nIndex)
{
    const QString text = m_pathBox->itemText(nIndex);
    if (m_pathBox->property("Tag").toString().toInt() == 0) {
        if (!Idle()) {  // the box goes back to the folder in force
            m_pathBox->setEditText(m_ftp.currentFolder());
            return;
        }
        ChangeCurrentRemoteFolder(text, true);
        ClearRemoteList();
        Busy(true);
        ListFilesOnServer();
        Busy(false);
        Action(QString());
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
            UpdateCommands();
        }
        break;
    case Qt::Key_Delete:
        if (bSelected && Idle()) RemoteOperations::DeleteRemoteFiles(Context());
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
    Call([&] { m_ftp.Invoke(FtpComponent::kParentFolder); });
    const QString after = GetRemoteFolder();
    if (after != before) {
        if (!ChangeCurrentRemoteFolder(after, true)) return;
        ClearRemoteList();
        ListFilesOnServer();
        UpdateCommands();
        Message(QStringLiteral("Remote path now up one folder."));
    } else {
        Message(QStringLiteral("Remote path already at a root folder."));
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

void RemotePane::FilterAll()
{
    ClearRemoteList();
    Busy(true);
    ListFilesOnServer();
    Busy(false);
    Action(QString());
}

void RemotePane::FilterDefineTypes()
{
    const QString answer =
        ThePrompter().input(kFilterTitle, QStringLiteral("Please enter the type ex: *.gif "), QString()).value_or(QString());
    if (answer.isEmpty()) {
        ThePrompter().message(kFilterTitle, kNoCommand, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    ClearRemoteList();
    Busy(true);
    ListDefinedFilesOnServer(answer);
    Busy(false);
    Action(QString());
}

// --- commands -----------------------------------------------------------------------

QStringList RemotePane::SelectedNames() const
{
    QStringList names;
    for (int row : m_list->SelectedRows()) names << m_list->Text(row);
    return names;
}

RemoteContext RemotePane::Context() const
{
    RemoteContext ctx;
    ctx.ftp = &m_ftp;
    ctx.selectedNames = [this] { return SelectedNames(); };
    ctx.selectedName = [this] {
        const int row = m_list->SelectedItem();
        return row >= 0 ? m_list->Text(row) : QString();
    };
    ctx.isListed = [this](const QString& sName) {
        for (int row = 0; row < m_list->Count(); ++row)
            if (m_list->Text(row) == sName) return true;
        return false;
    };
    ctx.displayMessage = [this](const QString& s) { Message(s); };
    ctx.clearStatus = [this] { Action(QString()); };
    ctx.refreshRemoteList = [this] { const_cast<RemotePane*>(this)->RefreshRemoteList(); };
    ctx.updateRemoteCommands = [this] { UpdateCommands(); };
    ctx.currentLocalFolder = [this] { return currentLocalFolder ? currentLocalFolder() : QString(); };
    ctx.refreshLocalList = [this] { if (refreshLocalList) refreshLocalList(); };
    ctx.updateLocalCommands = [this] { if (updateLocalCommands) updateLocalCommands(); };
    return ctx;
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
    auto ctx = [this] { return Context(); };
    add(menu, "mnuRemoteDownload", QStringLiteral("&Download"), [this] { if (receiveSelectedItems) receiveSelectedItems(); });
    add(menu, "mnuRemoteRefresh", QStringLiteral("Re&fresh"), [this] {
        RefreshRemoteList();
        UpdateCommands();
    });
    menu->addSeparator();
    add(menu, "mnuRemoteGoUpDirectory", QStringLiteral("&Go up a Directory Level"), [this] { GoUpRemoteFolder(); });
    add(menu, "mnuRemoteGoToRemoteDirectory", QStringLiteral("Go &To Folder..."), [this] { GoToRemoteFolder(); });
    QMenu* filters = menu->addMenu(QStringLiteral("Directory &Filters"));
    filters->setObjectName(QStringLiteral("mnuRemoteFilters"));
    add(filters, "mnuRemoteFilterAll", QStringLiteral("&All Files (*.*)"), [this] { FilterAll(); });
    add(filters, "mnuRemoteFilterDefineTypes", QStringLiteral("&DefineTypes (*.?)"), [this] { FilterDefineTypes(); });
    menu->addSeparator();
    add(menu, "miCreateRemoteFolder", QStringLiteral("&Create Folder"), [ctx] { RemoteOperations::CreateRemoteFolder(ctx()); });
    add(menu, "miRemoveRemoteFolder", QStringLiteral("Remove F&older"), [ctx] { RemoteOperations::RemoveRemoteFolder(ctx()); });
    add(menu, "miDeleteRemoteFile", QStringLiteral("&Delete File(s)"), [ctx] { RemoteOperations::DeleteRemoteFiles(ctx()); });
    add(menu, "miRenameRemoteFile", QStringLiteral("&Rename File"), [ctx] { RemoteOperations::RenameRemoteFile(ctx()); });
    add(menu, "mnuRemoteMoveFileOrFolder", QStringLiteral("&Move File(s) or Folder(s)"),
        [ctx] { RemoteOperations::MoveRemoteItems(ctx()); });
    add(menu, "mnuRemoteChangeMode", QStringLiteral("C&hmod File(s) or Folders(s)"), [this] {
        if (changeMode) changeMode(SelectedNames());
    });
    menu->addSeparator();
    QMenu* commands = menu->addMenu(QStringLiteral("FTP &Commands"));
    commands->setObjectName(QStringLiteral("mnuRemoteFtpCommands"));
    const std::pair<const char*, const char*> fixed[] = {
        {"mnuRemoteFtpCommandsHelp", "HELP"}, {"mnuRemoteFtpCommandsList", "LIST"}, {"mnuRemoteFtpCommandsNlst", "NLST"},
        {"mnuRemoteFtpCommandsPwd", "PWD"},   {"mnuRemoteFtpCommandsSyst", "SYST"},
    };
    for (const auto& [name, word] : fixed)
        add(commands, name, QLatin1String(word), [ctx, word] { ManualCommands::SendFixed(ctx(), QLatin1String(word)); });
    add(commands, "mnuRemoteFtpCommandsCwd", QStringLiteral("CWD..."), [ctx] { ManualCommands::ChangeFolder(ctx()); });
    add(commands, "mnuRemoteFtpCommandsQuote", QStringLiteral("QUOTE..."), [ctx] { ManualCommands::Quote(ctx()); });
    add(commands, "mnuRemoteFtpCommandsRetr", QStringLiteral("RETR..."), [ctx] { ManualCommands::ReceiveFile(ctx()); });
    add(commands, "mnuRemoteFtpCommandsStor", QStringLiteral("STOR..."), [ctx] { ManualCommands::SendFile(ctx()); });
    add(menu, "mnuRemoteSendCommand", QStringLiteral("&Send Command..."), [ctx] { ManualCommands::SendTyped(ctx()); });
    add(menu, "mnuRemoteManualFileReceive", QStringLiteral("Manual File &Receive..."),
        [ctx] { ManualCommands::ReceiveFile(ctx()); });
    add(menu, "mnuRemoteManualPut", QStringLiteral("Manual File &Put..."), [ctx] { ManualCommands::SendFile(ctx()); });
}

void RemotePane::BuildToolbar(QToolBar* toolbar)
{
    // Positions 1 to 11 as the window addresses them.
    struct Button {
        const char* tip;
        QStyle::StandardPixmap icon;
        std::function<void()> fn;
    };
    auto ctx = [this] { return Context(); };
    // Views only change the pane; the other buttons need the connection.
    auto idle = [this](std::function<void()> fn) {
        return [this, fn] {
            if (Idle()) fn();
        };
    };
    const Button buttons[] = {
        {"Go Up 1 directory level", QStyle::SP_FileDialogToParent, idle([this] { GoUpRemoteFolder(); })},
        {nullptr, QStyle::SP_CustomBase, {}},
        {"Delete", QStyle::SP_TrashIcon, idle([ctx] { RemoteOperations::DeleteRemoteFiles(ctx()); })},
        {"Download selection", QStyle::SP_ArrowDown, idle([this] { if (receiveSelectedItems) receiveSelectedItems(); })},
        {nullptr, QStyle::SP_CustomBase, {}},
        {"View Large Icons", QStyle::SP_FileDialogContentsView, [this] { m_list->SetView(FilePane::LargeIcons); }},
        {"View Small Icons", QStyle::SP_FileDialogInfoView, [this] { m_list->SetView(FilePane::SmallIcons); }},
        {"View List", QStyle::SP_FileDialogListView, [this] { m_list->SetView(FilePane::List); }},
        {"View Details", QStyle::SP_FileDialogDetailedView, [this] { m_list->SetView(FilePane::Details); }},
        {nullptr, QStyle::SP_CustomBase, {}},
        {"New Folder", QStyle::SP_FileDialogNewFolder, idle([ctx] { RemoteOperations::CreateRemoteFolder(ctx()); })},
    };
    for (const Button& button : buttons) {
        if (!button.tip) {
            toolbar->addSeparator();
            continue;
        }
        QAction* action = toolbar->addAction(toolbar->style()->standardIcon(button.icon), QLatin1String(button.tip));
        action->setToolTip(QLatin1String(button.tip));
        // What a screen reader says: the tool tip.
        if (QWidget* widget = toolbar->widgetForAction(action)) widget->setAccessibleName(QLatin1String(button.tip));
        const std::function<void()> fn = button.fn;
        connect(action, &QAction::triggered, this, [fn] { fn(); });
    }
}
