#include "app/frmMain.h"
#include "ui/Named.h"

#include "app/CommandState.h"
#include "app/ConnectionRules.h"
#include "app/StartupRules.h"
#include "app/InternetConnection.h"
#include "app/frmAbout.h"
#include "ftp/FtpComponent.h"
#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"
#include "settings/StartupEntry.h"
#include "sites/frmConnectionInfo.h"
#include "local/FileIcons.h"
#include "local/LocalPane.h"
#include "remote/RemotePane.h"
#include "remote/TransferEngines.h"
#include "remote/frmExist.h"
#include "remote/frmRemoteChangeMode.h"
#include "ui/FilePane.h"
#include "ui/Prompter.h"
#include "ui/WindowGeometry.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QApplication>
#include <QCloseEvent>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QAbstractItemView>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {


#ifndef KELVO_HELP_URL
#define KELVO_HELP_URL ""
#endif
#ifndef KELVO_WEBSITE_URL
#define KELVO_WEBSITE_URL ""
#endif

// The pages of the Help menu: the addresses the build names, else the user
// guide that ships beside the program.
QUrl BundledPage(const QString& sName)
{
    return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/docs/") + sName);
}

QUrl WebsitePage()
{
    const QString sSite = QStringLiteral(KELVO_WEBSITE_URL);
    return sSite.isEmpty() ? BundledPage(QStringLiteral("index.html")) : QUrl(sSite);
}

QUrl HelpPage()
{
    const QString sHelp = QStringLiteral(KELVO_HELP_URL);
    if (!sHelp.isEmpty()) return QUrl(sHelp);
    const QString sSite = QStringLiteral(KELVO_WEBSITE_URL);
    if (sSite.isEmpty()) return BundledPage(QStringLiteral("tutorial.html"));
    QUrl site(sSite.endsWith(QLatin1Char('/')) ? sSite : sSite + QLatin1Char('/'));
    return site.resolved(QUrl(QStringLiteral("tutorial.html")));
}

FilePane* NewFileList(const char* sName)
{
    auto* list = Named(new FilePane, sName);
    list->SetImageList(StandardFileIcons(list->style()));
    list->SetSortByValue(true);  // sizes by number, dates by time
    return list;
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kelvo"));
    BuildMenus();
    BuildToolbar();
    BuildPanes();
    BuildStatusBar();
    xFtp = new FtpComponent(this);
    ConnectFtpEvents();
    SetUpLocalPane();
    SetUpRemotePane();
    SetUpTransfers();
    BuildViewMenus();
    ConnectCommands();
    BindCommands();
    // A narrow window folds the toolbars' last buttons behind a button of
    // their own.
    for (QToolBar* toolbar : {Toolbar1, Toolbar5, Toolbar6})
        if (auto* more = toolbar->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button")))
            more->setAccessibleName(QStringLiteral("More buttons"));
    // Menus are read out by their titles.
    menuBar()->setAccessibleName(QStringLiteral("Menu bar"));
    for (QMenu* menu : findChildren<QMenu*>())
        if (menu->accessibleName().isEmpty()) menu->setAccessibleName(QString(menu->title()).remove(QLatin1Char('&')));
    resize(960, 680);  // the designed size, kept until a stored one applies
}

frmMain::~frmMain() { RemoveTrayIcon(); }

void frmMain::BuildMenus()
{
    mnuFile = Named(menuBar()->addMenu(QStringLiteral("&File")), "mnuFile");
    QAction* exit = Named(mnuFile->addAction(QStringLiteral("E&xit")), "mnuFileExit");
    exit->setShortcut(QKeySequence::Quit);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    miLocal = Named(menuBar()->addMenu(QStringLiteral("&Local")), "miLocal");  // filled by the local pane

    miRemote = Named(menuBar()->addMenu(QStringLiteral("&Remote")), "miRemote");  // filled by the remote pane
    // The command state switches the title; the menu itself stays able to
    // open (a disabled menu widget never shows, whatever its title says).
    miRemote->menuAction()->setEnabled(false);

    mnuTools = Named(menuBar()->addMenu(QStringLiteral("T&ools")), "mnuTools");
    QAction* options = Named(mnuTools->addAction(QStringLiteral("&Options")), "mnuToolsOptions");
    connect(options, &QAction::triggered, this, [this] { OptionsForm::ShowModal(this); });
    mnuToolsClearLog = Named(mnuTools->addAction(QStringLiteral("&Clear Log")), "mnuToolsClearLog");
    connect(mnuToolsClearLog, &QAction::triggered, this, &frmMain::ClearLog);

    mnuHelp = Named(menuBar()->addMenu(QStringLiteral("&Help")), "mnuHelp");
    connect(Named(mnuHelp->addAction(QStringLiteral("&Get online help")), "mnuOnlineHelp"), &QAction::triggered, this,
            [] { InternetConnection::OpenPage(HelpPage()); });
    connect(Named(mnuHelp->addAction(QStringLiteral("&Visit our website")), "mnuVisitOurSite"), &QAction::triggered,
            this, [] { InternetConnection::OpenPage(WebsitePage()); });
    connect(Named(mnuHelp->addAction(QStringLiteral("&About us")), "mnuAboutUs"), &QAction::triggered, this,
            [this] { frmAbout::ShowModal(this); });
}

void frmMain::BuildToolbar()
{
    // The key names the button in code; a screen reader says its tool tip,
    // or the spoken text where the tip is not fit to be said.
    struct Button {
        const char* key;
        const char* tip;
        QStyle::StandardPixmap icon;
        const char* spoken = nullptr;
    };
    static const Button kButtons[] = {
        {"Connect", "Connect to server", QStyle::SP_DriveNetIcon},
        {"Disconnect", "Disconnect from server", QStyle::SP_DialogCloseButton},
        {"Reconnect", "Reconnect to server", QStyle::SP_BrowserReload},
        {"Abort", "Abort operation", QStyle::SP_BrowserStop},
        {"Upload", "Upload file(s) to server", QStyle::SP_ArrowUp, "Upload selected files to server"},
        {"NewFolder", "Create a local folder", QStyle::SP_FileDialogNewFolder},
        {"DelFolder", "Remove local folder", QStyle::SP_DirIcon},
        {"DelFile", "Delete local file", QStyle::SP_TrashIcon},
        {"Rename", "Rename local file", QStyle::SP_FileIcon},
        {nullptr, nullptr, QStyle::SP_CustomBase},  // position 10: separator
        {"Reload2", "Refresh server file list", QStyle::SP_BrowserReload},
        {"Download", "Download selected files from server", QStyle::SP_ArrowDown},
        {"NewFolder2", "Add folder to server", QStyle::SP_FileDialogNewFolder},
        {"DelFolder2", "Remocve folder from server", QStyle::SP_DirIcon, "Remove folder from server"},
        {"DelFile2", "Delete file from server", QStyle::SP_TrashIcon},
        {"Rename2", "Rename file on server", QStyle::SP_FileIcon},
        {"Exit", "Exit program", QStyle::SP_TitleBarCloseButton},
    };
    Toolbar1 = Named(addToolBar(QStringLiteral("Main toolbar")), "Toolbar1");
    Toolbar1->toggleViewAction()->setText(QStringLiteral("Show main toolbar"));
    for (const Button& button : kButtons) {
        if (!button.key) {
            Toolbar1->addSeparator();
            continue;
        }
        QAction* action = Toolbar1->addAction(style()->standardIcon(button.icon),
                                              QLatin1String(button.spoken ? button.spoken : button.tip));
        action->setObjectName(QStringLiteral("Toolbar1_") + QLatin1String(button.key));
        action->setToolTip(QLatin1String(button.tip));
        action->setEnabled(false);  // the command state enables each button
    }
}

void frmMain::BuildPanes()
{
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* panes = Named(new QSplitter(Qt::Horizontal), "splPanes");
    auto* local = new QWidget;
    auto* localLayout = new QVBoxLayout(local);
    localLayout->setContentsMargins(0, 0, 0, 0);
    cboLocalPath = Named(new QComboBox, "cboLocalPath");
    cboLocalPath->setEditable(true);
    Toolbar5 = Named(new QToolBar, "Toolbar5");
    Toolbar5->setAccessibleName(QStringLiteral("Local toolbar"));
    Toolbar5->setVisible(false);  // shown once the pane has its buttons
    lstLocalFileList = NewFileList("lstLocalFileList");
    localLayout->addWidget(cboLocalPath);
    localLayout->addWidget(Toolbar5);
    localLayout->addWidget(lstLocalFileList);

    auto* remote = new QWidget;
    auto* remoteLayout = new QVBoxLayout(remote);
    remoteLayout->setContentsMargins(0, 0, 0, 0);
    cboRemotePath = Named(new QComboBox, "cboRemotePath");
    cboRemotePath->setEditable(true);
    cboRemotePath->setEnabled(false);
    Toolbar6 = Named(new QToolBar, "Toolbar6");
    Toolbar6->setAccessibleName(QStringLiteral("Remote toolbar"));
    Toolbar6->setEnabled(false);
    Toolbar6->setVisible(false);  // shown once the pane has its buttons
    lstRemoteFileList = NewFileList("lstRemoteFileList");
    remoteLayout->addWidget(cboRemotePath);
    remoteLayout->addWidget(Toolbar6);
    remoteLayout->addWidget(lstRemoteFileList);
    panes->addWidget(local);
    panes->addWidget(remote);
    cboLocalPath->setAccessibleName(QStringLiteral("Local folder"));
    cboLocalPath->view()->setAccessibleName(QStringLiteral("Local folders"));
    cboLocalPath->lineEdit()->setAccessibleName(QStringLiteral("Local folder"));
    lstLocalFileList->SetAccessibleName(QStringLiteral("Local files"));
    cboRemotePath->setAccessibleName(QStringLiteral("Remote folder"));
    cboRemotePath->view()->setAccessibleName(QStringLiteral("Remote folders"));
    cboRemotePath->lineEdit()->setAccessibleName(QStringLiteral("Remote folder"));
    lstRemoteFileList->SetAccessibleName(QStringLiteral("Remote files"));

    auto* commands = new QHBoxLayout;
    cmdConnect = Named(new QPushButton(QStringLiteral("&Connect")), "cmdConnect");
    cmdDisconnect = Named(new QPushButton(QStringLiteral("&Disconnect")), "cmdDisconnect");
    cmdAbort = Named(new QPushButton(QStringLiteral("&Abort")), "cmdAbort");
    cmdSend = Named(new QPushButton(QStringLiteral("Upload >>")), "cmdSend");
    cmdReceive = Named(new QPushButton(QStringLiteral("<< Download")), "cmdReceive");
    for (QPushButton* button : {cmdConnect, cmdDisconnect, cmdAbort, cmdSend, cmdReceive}) {
        button->setEnabled(false);
        commands->addWidget(button);
    }
    cmdSend->setAccessibleDescription(QStringLiteral("Upload the selected local files to the server"));
    cmdReceive->setAccessibleDescription(QStringLiteral("Download the selected server files to the local folder"));
    fraTransfer = Named(new QGroupBox(QStringLiteral("Transfer")), "fraTransfer");
    fraTransfer->setAccessibleName(QStringLiteral("Transfer type"));
    auto* transferLayout = new QHBoxLayout(fraTransfer);
    optAscii = Named(new QRadioButton(QStringLiteral("ASCII")), "optAscii");
    optAscii->setToolTip(QStringLiteral("ASCII transfer mode"));
    optBinary = Named(new QRadioButton(QStringLiteral("Binary")), "optBinary");
    optBinary->setToolTip(QStringLiteral("Binary transfer mode"));
    transferLayout->addWidget(optAscii);
    transferLayout->addWidget(optBinary);
    connect(optAscii, &QRadioButton::toggled, this, [this](bool bOn) {
        if (bOn) SetTransferType(1);
    });
    connect(optBinary, &QRadioButton::toggled, this, [this](bool bOn) {
        if (bOn) SetTransferType(0);
    });
    commands->addStretch();
    commands->addWidget(fraTransfer);

    lstConnectionInfo = Named(new QListWidget, "lstConnectionInfo");
    lstConnectionInfo->setAccessibleName(QStringLiteral("Connection log"));
    lstConnectionInfo->setUniformItemSizes(true);
    // Lines can be selected and copied: Ctrl+C or the right button.
    lstConnectionInfo->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* mnuLog = Named(new QMenu(QStringLiteral("Connection log"), this), "mnuLog");
    QAction* copy = Named(mnuLog->addAction(QStringLiteral("&Copy")), "mnuLogCopy");
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    lstConnectionInfo->addAction(copy);
    connect(copy, &QAction::triggered, this, [this] { CopyLog(false); });
    connect(Named(mnuLog->addAction(QStringLiteral("Copy &All")), "mnuLogCopyAll"), &QAction::triggered, this,
            [this] { CopyLog(true); });
    mnuLog->addAction(mnuToolsClearLog);
    lstConnectionInfo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstConnectionInfo, &QWidget::customContextMenuRequested, this, [this, mnuLog](const QPoint& pos) {
        mnuLog->popup(lstConnectionInfo->viewport()->mapToGlobal(pos));
    });
    m_pShowLastLogLine = new QTimer(this);
    m_pShowLastLogLine->setSingleShot(true);
    m_pShowLastLogLine->setInterval(0);
    connect(m_pShowLastLogLine, &QTimer::timeout, this,
            [this] { lstConnectionInfo->setCurrentRow(lstConnectionInfo->count() - 1, QItemSelectionModel::ClearAndSelect); });

    auto* vertical = Named(new QSplitter(Qt::Vertical), "splLog");
    auto* top = new QWidget;
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(panes, 1);
    topLayout->addLayout(commands);
    vertical->addWidget(top);
    vertical->addWidget(lstConnectionInfo);
    vertical->setStretchFactor(0, 4);
    vertical->setStretchFactor(1, 1);
    layout->addWidget(vertical);
    setCentralWidget(central);
}

void frmMain::BuildStatusBar()
{
    QStatusBar* stbProgress = Named(statusBar(), "stbProgress");
    stbProgress->setAccessibleName(QStringLiteral("Status"));
    // Panels 1 to 3, then the rate and time left of a running transfer. A
    // screen reader reads a panel's text; the description says what it is.
    static const char* const kPanelNames[] = {"Current action", "Bytes transferred", "Total bytes",
                                              "Transfer rate and time left"};
    for (int i = 0; i < 4; ++i) {
        m_pPanel[i] = new QLabel;
        m_pPanel[i]->setObjectName(QStringLiteral("stbProgressPanel%1").arg(i + 1));
        m_pPanel[i]->setAccessibleDescription(QLatin1String(kPanelNames[i]));
        stbProgress->addWidget(m_pPanel[i], i == 0 ? 3 : 1);
    }
    m_rateClock.start();
    prgStatus = Named(new QProgressBar, "prgStatus");
    prgStatus->setAccessibleName(QStringLiteral("Transfer progress"));
    prgStatus->setRange(0, 100);
    prgStatus->setValue(0);
    prgStatus->setMaximumWidth(200);
    stbProgress->addPermanentWidget(prgStatus);
}

void frmMain::ApplyMenuBitmaps()
{
    // Small pictures for some items of the first four menus, by position;
    // positions that a menu does not have (or separators) are passed over.
    struct Bitmap {
        int menu, position;
        QStyle::StandardPixmap icon;
    };
    static const Bitmap kBitmaps[] = {
        {0, 0, QStyle::SP_DriveNetIcon},  {0, 2, QStyle::SP_BrowserReload},       {0, 4, QStyle::SP_DialogCloseButton},
        {0, 12, QStyle::SP_DirIcon},      {0, 13, QStyle::SP_FileIcon},           {1, 0, QStyle::SP_ArrowUp},
        {1, 2, QStyle::SP_BrowserReload}, {2, 0, QStyle::SP_ArrowDown},           {2, 1, QStyle::SP_BrowserReload},
        {2, 3, QStyle::SP_FileDialogToParent}, {2, 4, QStyle::SP_FileDialogNewFolder}, {3, 0, QStyle::SP_FileDialogDetailedView},
    };
    const QList<QAction*> menus = menuBar()->actions();
    for (const Bitmap& b : kBitmaps) {
        if (b.menu >= menus.size() || !menus[b.menu]->menu()) continue;
        const QList<QAction*> items = menus[b.menu]->menu()->actions();
        if (b.position >= items.size() || items[b.position]->isSeparator()) continue;
        items[b.position]->setIcon(style()->standardIcon(b.icon));
    }
}

void frmMain::Load(const QString& sCommandLine)
{
    const CRegister reg;

    ApplyMenuBitmaps();

    // Reading the Options window's boxes loads it (hidden) for the rest of
    // the run; its loading may itself write the start-up entry.
    const OptionsForm& options = OptionsForm::Loaded();
    const OptionsBoxes boxes{options.AddToStartup(), options.DeleteLogOnStartup(), options.DeleteLogIfSizeExceeds(),
                             options.SaveWindowPosition(), options.SaveWindowSize()};
    if (StartupRules::WantsStartupEntry(reg, boxes)) StartupEntry::Write(reg);

    SetFtpLogFile(StartupRules::PrepareLogFile(reg, boxes));

    optBinary->setChecked(true);

    m_lastRequest = ConnectionRequest();

    UpdateLocalCommands();
    UpdateRemoteCommands();
    SetConnectedState(false);
    SetBusyState(false);


    if (!isMinimized()) {
        const bool bPosition = StartupRules::AppliesPosition(reg, boxes);
        const bool bSize = StartupRules::AppliesSize(reg, boxes);
        RestoreWindowGeometry(this, QLatin1String(Settings::kMainWindow), bPosition, bSize, reg);
    }

    m_localPane->Start();  // the drive roots, the first of them current and listed
    StartupRules::CreateProgramFolders();
    AddTrayIcon();

    switch (StartupRules::StartupVisibility(sCommandLine, m_bTrayIconShown)) {
    case StartupRules::Visibility::Shown: show(); break;
    case StartupRules::Visibility::Hidden: hide(); break;
    case StartupRules::Visibility::Minimised: showMinimized(); break;
    }
}

// Each command's controls (button, menu item, toolbar button) run one routine.
void frmMain::ConnectCommands()
{
    const struct {
        void (frmMain::*routine)();
        const char* names[3];
    } kCommands[] = {
        {&frmMain::ConnectThroughSiteManager, {"Toolbar1_Connect", nullptr, nullptr}},
        {&frmMain::DisconnectFromServer, {"Toolbar1_Disconnect", nullptr, nullptr}},
        {&frmMain::Reconnect, {"Toolbar1_Reconnect", nullptr, nullptr}},
        {&frmMain::Abort, {"Toolbar1_Abort", nullptr, nullptr}},
        {&frmMain::cmdSend_Click, {"Toolbar1_Upload", nullptr, nullptr}},
        {&frmMain::cmdReceive_Click, {"Toolbar1_Download", nullptr, nullptr}},
        {&frmMain::EndProgram, {"Toolbar1_Exit", nullptr, nullptr}},
    };
    for (const auto& command : kCommands) {
        for (const char* name : command.names) {
            if (!name) continue;
            if (QAction* action = findChild<QAction*>(QLatin1String(name)))
                connect(action, &QAction::triggered, this, command.routine);
        }
    }
    // The file buttons run what the Local and Remote menus' items run (with
    // their checks: the remote ones wait for a running call).
    const std::pair<const char*, const char*> kMenuItems[] = {
        {"Toolbar1_NewFolder", "miCreateLocalFolder"},   {"Toolbar1_DelFolder", "miRemoveLocalFolder"},
        {"Toolbar1_DelFile", "miDeleteLocalFile"},       {"Toolbar1_Rename", "miRenameLocalFile"},
        {"Toolbar1_Reload2", "mnuRemoteRefresh"},        {"Toolbar1_NewFolder2", "miCreateRemoteFolder"},
        {"Toolbar1_DelFolder2", "miRemoveRemoteFolder"}, {"Toolbar1_DelFile2", "miDeleteRemoteFile"},
        {"Toolbar1_Rename2", "miRenameRemoteFile"},
    };
    for (const auto& [button, item] : kMenuItems) {
        QAction* action = findChild<QAction*>(QLatin1String(button));
        QAction* menuItem = findChild<QAction*>(QLatin1String(item));
        Q_ASSERT(action && menuItem);
        if (action && menuItem) connect(action, &QAction::triggered, menuItem, &QAction::trigger);
    }
    connect(cmdConnect, &QPushButton::clicked, this, &frmMain::ConnectThroughSiteManager);
    connect(cmdDisconnect, &QPushButton::clicked, this, &frmMain::DisconnectFromServer);
    connect(cmdAbort, &QPushButton::clicked, this, &frmMain::Abort);
    if (QAction* exit = findChild<QAction*>(QStringLiteral("Toolbar1_Exit"))) exit->setEnabled(true);
    connect(cmdSend, &QPushButton::clicked, this, &frmMain::cmdSend_Click);
    connect(cmdReceive, &QPushButton::clicked, this, &frmMain::cmdReceive_Click);
}

// The component's events that the window answers itself; the listing and
// skipped-item events belong to the remote pane and the transfer engines.
void frmMain::ConnectFtpEvents()
{
    connect(xFtp, &FtpComponent::logText, this, [this](const QString& sText, long) { DisplayMessage(sText); });
    connect(xFtp, &FtpComponent::progress, this, &frmMain::UpdateStatus);
    connect(xFtp, &FtpComponent::disconnected, this, &frmMain::OnDisconnected);
    connect(xFtp, &FtpComponent::receiving, this,
            [this](const QString& sName) { UpdateAction(QStringLiteral("Receiving ") + sName); });
    connect(xFtp, &FtpComponent::sending, this,
            [this](const QString& sName) { UpdateAction(QStringLiteral("Sending ") + sName); });
    connect(xFtp, &FtpComponent::accountQuery, this, [](QString& sAccount) {
        sAccount = ThePrompter()
                       .input(QStringLiteral("Kelvo ") + QStringLiteral("[Query]"),
                              QStringLiteral("An account is required for this server."), QString())
                       .value_or(QString());
    });
    connect(xFtp, &FtpComponent::certificateQuery, this, &frmMain::AskAboutCertificate);
    // Files inside folder transfers get the same question as single files.
    xFtp->setExistingFiles(ExistingFiles::Policy::Ask);
    connect(xFtp, &FtpComponent::existingFileQuery, this, [this](const ExistingFileQuestion& q, int& nAnswer) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        nAnswer = AskExists(TransferEngines::SourceCaption(q.source), TransferEngines::DestinationCaption(q.destination),
                            q.bResumeAllowed);
        QApplication::restoreOverrideCursor();
    });
    connect(xFtp, &FtpComponent::passwordQuery, this, [](QString& sPassword) {
        sPassword = ThePrompter()
                        .input(QStringLiteral("Kelvo ") + QStringLiteral("[Query]"),
                               QStringLiteral("Please enter the correct password"), QString())
                        .value_or(QString());
    });
}

void frmMain::AskAboutCertificate(const CertificateInfo& info, bool& bTrust)
{
    const CRegister reg;
    const QString trusted = ConnectionRules::TrustedCertificate(reg, info.sHost, info.nPort);
    // The connection waits with the busy pointer; the question gets the normal one.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const PromptResult answer = ThePrompter().message(QStringLiteral("Kelvo ") + QStringLiteral("[Certificate]"),
                                                      ConnectionRules::CertificateQuestion(info, trusted),
                                                      PromptButtons::YesNoCancel, PromptIcon::Exclamation,
                                                      PromptResult::Cancel);  // Enter must not trust a certificate
    QApplication::restoreOverrideCursor();
    bTrust = answer == PromptResult::Yes || answer == PromptResult::No;
    if (answer == PromptResult::Yes && !ConnectionRules::TrustCertificate(reg, info.sHost, info.nPort, info.sFingerprint))
        DisplayMessage(QStringLiteral("Error: the certificate is trusted for this connection only: it could not be stored."));
}

void frmMain::DisplayMessage(const QString& sMessage)
{
    lstConnectionInfo->addItem(sMessage);
    if (!m_pShowLastLogLine->isActive()) m_pShowLastLogLine->start();
}

void frmMain::UpdateAction(const QString& sMessage) { m_pPanel[0]->setText(sMessage); }

void frmMain::UpdateStatus(qint64 lBytes, qint64 lTotalBytes, int nBytesPercent)
{
    m_pPanel[1]->setText(QString::number(lBytes));
    m_pPanel[2]->setText(QStringLiteral("Total : ") + QString::number(lTotalBytes));
    prgStatus->setValue(qBound(0, nBytesPercent, 100));
    m_rate.Add(lBytes, lTotalBytes, m_rateClock.elapsed());
    m_pPanel[3]->setText(m_rate.Text());
}

void frmMain::ResetStatus()
{
    prgStatus->setValue(0);
    m_pPanel[1]->clear();
    m_pPanel[2]->clear();
    m_pPanel[3]->clear();
    m_rate.Reset();
}

// The selected lines of the log, or with none selected the whole log, as
// text on the clipboard.
void frmMain::CopyLog(bool bAll)
{
    QStringList lines;
    for (int row = 0; row < lstConnectionInfo->count(); ++row) {
        const QListWidgetItem* item = lstConnectionInfo->item(row);
        if (bAll || item->isSelected()) lines << item->text();
    }
    if (lines.isEmpty() && !bAll) return CopyLog(true);
    QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void frmMain::ClearLog() { lstConnectionInfo->clear(); }

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // A minimised window goes to the tray, but only where the tray icon can
    // bring it back; otherwise it stays in the task bar.
    // Hidden once the change is complete: showMinimized() shows the window
    // again right after changing its state.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_bTrayIconShown)
        QMetaObject::invokeMethod(this, [this] {
            if (isMinimized() && m_bTrayIconShown) hide();
        }, Qt::QueuedConnection);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Shutdown(true);
    event->accept();
}

void frmMain::Shutdown(bool bStoreGeometry)
{
    if (m_bShutDown) return;
    m_bShutDown = true;
    xFtp->Close();  // a running transfer stops; the program ends once it has
    Disconnect();
    if (bStoreGeometry) StoreWindowGeometry(this, QLatin1String(Settings::kMainWindow), CRegister());  // nothing when minimised
    RemoveTrayIcon();
    UnloadWindows();
    Q_EMIT programEnded();
}

// The windows that stay loaded between uses go with the program.
void frmMain::UnloadWindows()
{
    frmRemoteChangeMode::Unload();
    frmExist::Unload();
    OptionsForm::Unload();
}

// --- seams ------------------------------------------------------------------
// The FTP component writes its protocol log to this file.
void frmMain::SetFtpLogFile(const QString& sPath)
{
    m_sFtpLogFile = sPath;
    xFtp->PutProperty(FtpComponent::kLogFile, sPath);
}
// Transfer type 0 binary, 1 ASCII.
void frmMain::SetTransferType(int nType) { xFtp->PutProperty(FtpComponent::kTransferType, nType); }
// Command state: the rules decide, ApplyCommandStates finds the controls.
// A transfer run counts as busy from its start to its end, also between its
// calls (while the file-exists question waits, say).
bool frmMain::Busy() const { return m_bTransferRunning || xFtp->running(); }
void frmMain::UpdateLocalCommands()
{
    const int nState = Busy() ? FtpComponent::kStateBusy : static_cast<int>(xFtp->state());
    ApplyCommandStates(CommandState::UpdateLocalCommands(SelectionOf(lstLocalFileList), nState));
}
void frmMain::UpdateRemoteCommands()
{
    ApplyCommandStates(CommandState::UpdateRemoteCommands(SelectionOf(lstRemoteFileList), Busy()));
}
void frmMain::SetConnectedState(bool bConnected) { ApplyCommandStates(CommandState::SetConnectedState(bConnected)); }
// Starting and ending a call also decides again what the selections allow.
void frmMain::SetBusyState(bool bBusy)
{
    ApplyCommandStates(CommandState::SetBusyState(bBusy));
    UpdateLocalCommands();
    UpdateRemoteCommands();
}

PaneSelection frmMain::SelectionOf(const FilePane* list)
{
    PaneSelection selection;
    const int current = list->SelectedItem();
    selection.bHasSelectedItem = current >= 0;
    selection.nSelectedCount = static_cast<int>(list->SelectedRows().size());
    if (current >= 0) selection.nKind = list->Kind(current);
    return selection;
}

// The control each command switches: buttons, toolbar buttons, menu items,
// whole menus, toolbars and boxes.
void frmMain::BindCommands()
{
    const auto action = [this](const char* sName) { return findChild<QAction*>(QLatin1String(sName)); };
    const std::pair<Command, QObject*> controls[] = {
        {Command::ConnectButton, cmdConnect},
        {Command::DisconnectButton, cmdDisconnect},
        {Command::AbortButton, cmdAbort},
        {Command::UploadButton, cmdSend},
        {Command::DownloadButton, cmdReceive},
        {Command::AsciiType, optAscii},
        {Command::BinaryType, optBinary},
        {Command::ToolConnect, action("Toolbar1_Connect")},
        {Command::ToolDisconnect, action("Toolbar1_Disconnect")},
        {Command::ToolReconnect, action("Toolbar1_Reconnect")},
        {Command::ToolAbort, action("Toolbar1_Abort")},
        {Command::ToolUpload, action("Toolbar1_Upload")},
        {Command::ToolNewLocalFolder, action("Toolbar1_NewFolder")},
        {Command::ToolRemoveLocalFolder, action("Toolbar1_DelFolder")},
        {Command::ToolDeleteLocalFile, action("Toolbar1_DelFile")},
        {Command::ToolRenameLocalFile, action("Toolbar1_Rename")},
        {Command::ToolRefreshRemote, action("Toolbar1_Reload2")},
        {Command::ToolDownload, action("Toolbar1_Download")},
        {Command::ToolNewRemoteFolder, action("Toolbar1_NewFolder2")},
        {Command::ToolRemoveRemoteFolder, action("Toolbar1_DelFolder2")},
        {Command::ToolDeleteRemoteFile, action("Toolbar1_DelFile2")},
        {Command::ToolRenameRemoteFile, action("Toolbar1_Rename2")},
        {Command::LocalToolbarUpload, m_localPane->UploadButton()},
        {Command::RemoteToolbar, Toolbar6},
        {Command::RemoteToolbarDownload, m_remotePane->DownloadButton()},
        {Command::RemotePathBox, cboRemotePath},
        {Command::RemoteMenu, miRemote},
        {Command::LocalUpload, action("mnuLocalUpload")},
        {Command::LocalDeleteFile, action("miDeleteLocalFile")},
        {Command::LocalDeleteFileToTrash, action("mnuLocalDeleteFileToRecycleBin")},
        {Command::LocalRenameFile, action("miRenameLocalFile")},
        {Command::LocalCreateFolder, action("miCreateLocalFolder")},
        {Command::LocalRemoveFolder, action("miRemoveLocalFolder")},
        {Command::LocalRemoveFolderToTrash, action("mnuDelteFolderToRecycleBin")},
        {Command::RemoteDownload, action("mnuRemoteDownload")},
        {Command::RemoteCreateFolder, action("miCreateRemoteFolder")},
        {Command::RemoteRemoveFolder, action("miRemoveRemoteFolder")},
        {Command::RemoteDeleteFile, action("miDeleteRemoteFile")},
        {Command::RemoteRenameFile, action("miRenameRemoteFile")},
    };
    for (const auto& [command, control] : controls) {
        Q_ASSERT(control);
        m_commandControls.insert(command, control);
    }
}

void frmMain::ApplyCommandStates(const CommandStates& states)
{
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        QObject* control = m_commandControls.value(it.key());
        if (auto* menu = qobject_cast<QMenu*>(control)) menu->menuAction()->setEnabled(it.value());
        else if (auto* act = qobject_cast<QAction*>(control)) act->setEnabled(it.value());
        else if (auto* widget = qobject_cast<QWidget*>(control)) widget->setEnabled(it.value());
    }
}

// --- tray icon --------------------------------------------------------------------

// The icon in the notification area, where the desktop has one. Without it
// the window is never hidden (minimising keeps it in the task bar), so it
// cannot become unreachable.
void frmMain::AddTrayIcon()
{
    const bool bAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    if (!bAvailable || m_pTrayIcon) {
        m_bTrayIconShown = m_pTrayIcon != nullptr;
        return;
    }
    if (!mnuPopup) {
        mnuPopup = Named(new QMenu(QStringLiteral("Popup Menu"), this), "mnuPopup");
        connect(Named(mnuPopup->addAction(QStringLiteral("&Show/Hide")), "mnuPopupShow"), &QAction::triggered, this,
                &frmMain::ToggleShown);
        connect(Named(mnuPopup->addAction(QStringLiteral("&Exit")), "mnuPopupExit"), &QAction::triggered, this,
                &frmMain::EndProgram);
    }
    m_pTrayIcon = Named(new QSystemTrayIcon(this), "traypic");
    QIcon icon = windowIcon();
    if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_DriveNetIcon);
    m_pTrayIcon->setIcon(icon);
    m_pTrayIcon->setToolTip(QStringLiteral("Kelvo"));
    m_pTrayIcon->setContextMenu(mnuPopup);  // the right button
    connect(m_pTrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) ShowFromTray();
    });
    m_pTrayIcon->show();
    m_bTrayIconShown = true;
}

void frmMain::RemoveTrayIcon()
{
    delete m_pTrayIcon;
    m_pTrayIcon = nullptr;
    m_bTrayIconShown = false;
}

void frmMain::ShowFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void frmMain::ToggleShown()
{
    if (isHidden()) {
        showNormal();
        activateWindow();
    } else {
        hide();
    }
}

void frmMain::EndProgram()
{
    Shutdown(false);
    hide();
}
// Filled by the connection: harmless when not connected.
void frmMain::Disconnect() { DisconnectFromServer(); }

// --- connection -------------------------------------------------------------------

bool frmMain::ShowSiteManager(ConnectionRequest& request)
{
    if (m_siteManager) return m_siteManager(request);
    // A freshly loaded window for every call, unloaded afterwards.
    frmConnectionInfo siteManager(this);
    return siteManager.ShowForm(request.sServer, request.sPort, request.sUserName, request.sPassword,
                                request.bAnonymous, request.bUseTls);
}

void frmMain::ConnectThroughSiteManager()
{
    const RemotePane::ProgramMovesPathBox moving(*m_remotePane);
    if (!ShowSiteManager(m_lastRequest)) return;
    const QString problem = ConnectionRules::Apply(*xFtp, m_lastRequest, CRegister());
    if (!problem.isEmpty()) DisplayMessage(QStringLiteral("Error: ") + problem);
    else ConnectAndList();
}

void frmMain::ConnectAndList()
{
    ConnectToServer();
    if (xFtp->state() != FtpComponent::kStateConnected) return;
    ListFilesOnServer();
    SetConnectedState(true);
    UpdateLocalCommands();
}

void frmMain::ConnectToServer()
{
    if (xFtp->state() != FtpComponent::kStateNotConnected) {
        m_pPanel[0]->clear();
        return;
    }
    const QString server = xFtp->GetProperty(FtpComponent::kServerAddress).toString();
    try {
        UpdateAction(QStringLiteral("Connecting to ") + server + QStringLiteral(". Please wait..."));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // Connecting can take its time (a server that never greets): Abort
        // is there for it.
        SetBusyState(true);
        const auto notBusy = qScopeGuard([this] { SetBusyState(false); });
        xFtp->Invoke(FtpComponent::kConnect);
        QApplication::restoreOverrideCursor();
        m_sCurrentRemoteFolder = GetRemoteFolder();
        cboRemotePath->setEditText(m_sCurrentRemoteFolder);
        UpdateAction(QStringLiteral("Connected to ") + server);
    } catch (const FtpError& e) {
        QApplication::restoreOverrideCursor();
        ReportError(e);
        m_pPanel[0]->clear();
    }
}

void frmMain::DisconnectFromServer()
{
    try {
        if (xFtp->state() == FtpComponent::kStateNotConnected) SetConnectedState(false);
        // A running call (a transfer, say) is stopped first; the component
        // logs out as soon as it has, and the call's own end clears the
        // busy state.
        if (xFtp->running() || xFtp->state() != FtpComponent::kStateNotConnected) xFtp->Invoke(FtpComponent::kDisconnect);
    } catch (const FtpError& e) {
        ReportError(e);
    }
    if (!xFtp->running()) SetBusyState(false);
}

void frmMain::Reconnect()
{
    const RemotePane::ProgramMovesPathBox moving(*m_remotePane);
    const bool bKnown = !xFtp->GetProperty(FtpComponent::kServerAddress).toString().isEmpty()
                        && !xFtp->GetProperty(FtpComponent::kUserName).toString().isEmpty();
    if (xFtp->state() != FtpComponent::kStateNotConnected) return;
    if (!bKnown) return ConnectThroughSiteManager();
    ClearRemoteList();
    ConnectAndList();
}

void frmMain::Abort()
{
    try {
        xFtp->PutProperty(FtpComponent::kAbort, true);
    } catch (const FtpError& e) {
        ThePrompter().message(QStringLiteral("Kelvo ") + QStringLiteral("[Notice]") + QLatin1Char('"'),
                              QStringLiteral("Cannot abort the current operation! Error: ") + QLatin1Char('\n')
                                  + e.description + QString::number(e.number),
                              PromptButtons::OkCancel, PromptIcon::Exclamation);
    }
}

void frmMain::OnDisconnected()
{
    if (m_bShutDown) return;  // closing the program: nobody to tell
    ThePrompter().message(QStringLiteral("Kelvo ") + QStringLiteral("[Notice]"),
                          QStringLiteral("Disconnected from FTP server ")
                              + xFtp->GetProperty(FtpComponent::kServerAddress).toString(),
                          PromptButtons::Ok, PromptIcon::None);
    cboRemotePath->clear();
    m_pPanel[0]->clear();
    m_pPanel[2]->clear();
    ClearRemoteList();
    ResetStatus();
    SetConnectedState(false);
    UpdateRemoteCommands();
}

QString frmMain::GetRemoteFolder() { return m_remotePane->GetRemoteFolder(); }
// The first listing of a connection. The listing leaves "Obtaining
// directory listing..." in the status bar; once it is done the bar says
// again where the window is connected.
void frmMain::ListFilesOnServer()
{
    const QString sBefore = m_pPanel[0]->text();
    m_remotePane->ListFilesOnServer();
    if (m_pPanel[0]->text() == QLatin1String("Obtaining directory listing...")) UpdateAction(sBefore);
}
void frmMain::ClearRemoteList() { m_remotePane->ClearRemoteList(); }

QString frmMain::CurrentLocalFolder() const { return m_localPane->CurrentLocalFolder(); }

bool frmMain::OpenLocalFolder(const QString& sPath)
{
    if (!m_localPane->ChangeCurrentLocalFolder(sPath)) return false;
    m_localPane->RefreshLocalList();
    return true;
}

void frmMain::SetUpLocalPane()
{
    m_localPane = new LocalPane(lstLocalFileList, cboLocalPath, *this, this);
    connect(m_localPane, &LocalPane::uploadRequested, this, &frmMain::cmdSend_Click);
    m_localPane->BuildLocalMenu(miLocal);
    mnuTools->addAction(m_localPane->EmptyTrashAction());
    m_localPane->BuildToolbar(Toolbar5);
    Toolbar5->setVisible(true);
}

void frmMain::SetUpRemotePane()
{
    m_remotePane = new RemotePane(lstRemoteFileList, cboRemotePath, *xFtp, *this, this);
    connect(m_remotePane, &RemotePane::downloadRequested, this, &frmMain::cmdReceive_Click);
    m_remotePane->BuildRemoteMenu(miRemote);
    m_remotePane->BuildToolbar(Toolbar6);
    Toolbar6->setVisible(true);
    connect(lstRemoteFileList, &FilePane::contextMenuRequested, this, [this](const QPoint& pos) {
        if (miRemote->menuAction()->isEnabled()) miRemote->popup(pos);
    });
}

bool frmMain::Connected() const { return xFtp->state() != FtpComponent::kStateNotConnected; }
void frmMain::RefreshLocalList() { m_localPane->RefreshLocalList(); }
void frmMain::RefreshRemoteList() { m_remotePane->RefreshRemoteList(); }
int frmMain::AskExists(const QString& sSource, const QString& sDestination, bool bResumeAllowed)
{
    return frmExist::Ask(this, sSource, sDestination, bResumeAllowed);
}

// --- transfers ----------------------------------------------------------------

void frmMain::cmdReceive_Click()
{
    RunTransfer([this] { TransferEngines::ReceiveRows(*xFtp, *this, m_remotePane->SelectedRows(), CurrentLocalFolder()); });
}

void frmMain::cmdSend_Click()
{
    RunTransfer([this] { TransferEngines::SendRows(*xFtp, *this, m_localPane->SelectedRows(), CurrentLocalFolder()); });
}

template <typename Engine>
void frmMain::RunTransfer(Engine engine)
{
    if (m_bTransferRunning || xFtp->running()) {  // one call at a time: this one waits for the user
        DisplayMessage(RemotePane::BusyMessage());
        return;
    }
    m_bTransferRunning = true;
    UpdateLocalCommands();
    UpdateRemoteCommands();
    frmExist::ApplyToAll() = 0;  // each run asks again
    engine();
    m_bTransferRunning = false;
    UpdateLocalCommands();
    UpdateRemoteCommands();
}

// Dropping rows of one pane on the other starts the transfer toward the
// pane dropped on, for the other pane's selection. Files dropped on the
// remote pane from another program (a desktop file manager) are uploaded as
// dropped; the local pane takes no drops from other programs. A pane's own
// rows never drop on itself.
void frmMain::SetUpTransfers()
{
    connect(lstLocalFileList, &FilePane::rowsDropped, this, [this](FilePane* source, const QList<int>&) {
        if (source == lstRemoteFileList) cmdReceive_Click();
    });
    connect(lstRemoteFileList, &FilePane::rowsDropped, this, [this](FilePane* source, const QList<int>&) {
        if (source == lstLocalFileList && xFtp->state() == FtpComponent::kStateConnected) cmdSend_Click();
    });

    // The files dropped from one folder go as the rows a listing of that
    // folder would give them.
    lstRemoteFileList->SetAcceptFileDrops(true);
    connect(lstRemoteFileList, &FilePane::filesDropped, this, [this](const QStringList& files) {
        if (xFtp->state() != FtpComponent::kStateConnected) {
            DisplayMessage(QStringLiteral("Error: Not connected; connect to a server to upload files."));
            return;
        }
        for (const LocalPane::DroppedFolder& folder : LocalPane::GroupByFolder(files)) {
            const QList<FilePaneRow> rows = LocalPane::RowsOf(folder.sFolder, folder.names);
            if (rows.isEmpty()) continue;
            RunTransfer([&] { TransferEngines::SendRows(*xFtp, *this, rows, folder.sFolder); });
        }
    });
}

// Tools -> Local and Tools -> Remote: the four views of each pane.
void frmMain::BuildViewMenus()
{
    const struct {
        const char* sMenuName;
        QString sCaption;
        const char* sPrefix;
        FilePane* list;
    } kPanes[] = {
        {"mnuToolsLocal", QStringLiteral("&Local"), "mnuLocal", lstLocalFileList},
        {"mnuToolsRemote", QStringLiteral("&Remote"), "mnuRemote", lstRemoteFileList},
    };
    const struct {
        const char* sSuffix;
        QString sCaption;
        int nView;
    } kViews[] = {
        {"ShowBigIcons", QStringLiteral("Show &Big Icons"), FilePane::LargeIcons},
        {"ShowSmallIcons", QStringLiteral("Show &Small Icons"), FilePane::SmallIcons},
        {"ShowList", QStringLiteral("Show &List"), FilePane::List},
        {"ShowReport", QStringLiteral("Show &Report"), FilePane::Details},
    };
    QAction* before = mnuTools->actions().value(0);
    for (const auto& pane : kPanes) {
        auto* menu = Named(new QMenu(pane.sCaption, mnuTools), pane.sMenuName);
        for (const auto& view : kViews) {
            QAction* action = menu->addAction(view.sCaption);
            action->setObjectName(QLatin1String(pane.sPrefix) + QLatin1String(view.sSuffix));
            FilePane* list = pane.list;
            const int nView = view.nView;
            connect(action, &QAction::triggered, list, [list, nView] { list->SetView(nView); });
        }
        mnuTools->insertMenu(before, menu);
    }
    mnuTools->insertSeparator(before);
}
