#pragma once

#include "app/CommandState.h"
#include "app/ConnectionRules.h"
#include "app/TransferRate.h"
#include "ui/PaneHost.h"

#include <QElapsedTimer>

#include <QMainWindow>
#include <QString>

#include <functional>

struct CertificateInfo;

class FtpComponent;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolBar;
class QSystemTrayIcon;
class FilePane;
class LocalPane;
class QTimer;
class RemotePane;

// The main window: the local pane and the remote pane side by side, the
// connection buttons and transfer type below them, the connection log and
// the status bar at the bottom.
class frmMain final : public QMainWindow, public PaneHost {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: settings, log file, command state, local folder, geometry,
    // program folders, tray icon and the "/STARTUP" switch, in that order.
    void Load(const QString& sCommandLine);

    // The connection log and the status bar.
    void DisplayMessage(const QString& sMessage) override;
    void UpdateAction(const QString& sMessage) override;
    void UpdateStatus(qint64 lBytes, qint64 lTotalBytes, int nBytesPercent);
    void ResetStatus() override;
    void ClearLog();
    // The selected log lines (bAll: every line) to the clipboard.
    void CopyLog(bool bAll);

    // The protocol log file handed to the FTP component at start-up.
    QString FtpLogFilePath() const { return m_sFtpLogFile; }
    QString CurrentLocalFolder() const override;
    // Makes sPath the current local folder and lists it; false (logged) when
    // it is no folder.
    bool OpenLocalFolder(const QString& sPath);
    // The FTP component that does all the window's FTP work.
    FtpComponent& Ftp() const { return *xFtp; }

    // Connecting and disconnecting (the Connect, Disconnect, Reconnect and
    // Abort commands).
    void ConnectThroughSiteManager();
    void DisconnectFromServer();
    void Reconnect();
    void Abort() override;

    // Transfers: the download engine for the remote selection, the upload
    // engine for the local selection. While a run (or any other call) is
    // going, a further start is refused with a log line (the component does
    // one thing at a time).
    void cmdReceive_Click();
    void cmdSend_Click();

    // Shows the site manager with the last connection's values, which it may
    // change; true when the user chose to connect. The site manager window
    // unless replaced (tests answer for the user).
    using SiteManager = std::function<bool(ConnectionRequest& request)>;
    void SetSiteManager(SiteManager siteManager) { m_siteManager = std::move(siteManager); }
    QString CurrentRemoteFolder() const { return m_sCurrentRemoteFolder; }

    // Ends the program as the tray menu's and the toolbar's Exit do:
    // disconnects and removes the tray icon, but stores no geometry.
    void EndProgram();
    // The tray menu's Show/Hide: a hidden window comes back restored, a
    // shown one is hidden.
    void ToggleShown();
    // Brings the window back, restored and active (a left click on the icon).
    void ShowFromTray();
    bool TrayIconShown() const { return m_bTrayIconShown; }

Q_SIGNALS:
    // Shutdown has run; the program should end now.
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildMenus();
    void BuildToolbar();
    void BuildPanes();
    void BuildStatusBar();
    void ApplyMenuBitmaps();
    void ConnectFtpEvents();
    void ConnectCommands();
    void BindCommands();
    void ApplyCommandStates(const CommandStates& states);
    static PaneSelection SelectionOf(const FilePane* list);
    // The one way the program ends: a running transfer stops, the
    // connection closes, the tray icon and the loaded windows go; the
    // window's geometry is stored when the window itself was closed.
    void Shutdown(bool bStoreGeometry);
    void UnloadWindows();

    // Seams for the parts of the window that later work fills in. Each is
    // called at the point of start-up or shutdown where it belongs.
    void SetFtpLogFile(const QString& sPath);  // the FTP component's log file property
    void SetTransferType(int nType);           // the FTP component's transfer type (0 binary, 1 ASCII)
    void UpdateLocalCommands() override;  // command state
    void UpdateRemoteCommands() override;
    void SetConnectedState(bool bConnected);
    void SetBusyState(bool bBusy) override;
    bool Connected() const override;
    void RefreshLocalList() override;
    void RefreshRemoteList() override;
    int AskExists(const QString& sSource, const QString& sDestination, bool bResumeAllowed) override;
    bool Busy() const;  // a transfer run or another call is going
    void AddTrayIcon();  // tray icon
    void RemoveTrayIcon();
    void Disconnect();   // connection
    void ConnectToServer();
    void ConnectAndList();  // connects and, once connected, lists the server's folder
    void OnDisconnected();
    QString GetRemoteFolder();
    void ListFilesOnServer();  // the remote pane's listing
    void ClearRemoteList();
    void SetUpRemotePane();
    void SetUpLocalPane();
    void SetUpTransfers();
    void BuildViewMenus();
    // Runs a transfer engine, one at a time.
    template <typename Engine>
    void RunTransfer(Engine engine);
    bool ShowSiteManager(ConnectionRequest& request);
    // The component's question about a certificate nothing vouches for.
    void AskAboutCertificate(const CertificateInfo& info, bool& bTrust);

    FtpComponent* xFtp = nullptr;
    QString m_sCurrentRemoteFolder;
    SiteManager m_siteManager;
    RemotePane* m_remotePane = nullptr;
    // Brings the log's last line into view once the lines that have arrived
    // meanwhile are all in: the list view's cost of making a row current
    // grows with its length, so doing it per line made a busy transfer
    // stall the window.
    QTimer* m_pShowLastLogLine = nullptr;
    LocalPane* m_localPane = nullptr;
    QString m_sFtpLogFile;
    ConnectionRequest m_lastRequest;  // what the site manager gave last
    bool m_bTrayIconShown = false;
    QSystemTrayIcon* m_pTrayIcon = nullptr;
    QMenu* mnuPopup = nullptr;
    bool m_bShutDown = false;
    bool m_bTransferRunning = false;
    QMap<Command, QObject*> m_commandControls;  // the control each command enables

    QMenu* mnuFile = nullptr;
    QMenu* miLocal = nullptr;
    QMenu* miRemote = nullptr;
    QMenu* mnuTools = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuToolsClearLog = nullptr;
    QToolBar* Toolbar1 = nullptr;
    QToolBar* Toolbar5 = nullptr;
    QToolBar* Toolbar6 = nullptr;
    QComboBox* cboLocalPath = nullptr;
    QComboBox* cboRemotePath = nullptr;
    FilePane* lstLocalFileList = nullptr;
    FilePane* lstRemoteFileList = nullptr;
    QPushButton* cmdConnect = nullptr;
    QPushButton* cmdDisconnect = nullptr;
    QPushButton* cmdAbort = nullptr;
    QPushButton* cmdSend = nullptr;
    QPushButton* cmdReceive = nullptr;
    QGroupBox* fraTransfer = nullptr;
    QRadioButton* optAscii = nullptr;
    QRadioButton* optBinary = nullptr;
    QListWidget* lstConnectionInfo = nullptr;
    QLabel* m_pPanel[4] = {nullptr, nullptr, nullptr, nullptr};  // status bar panels 1 to 3; rate and time left
    TransferRate m_rate;
    QElapsedTimer m_rateClock;
    QProgressBar* prgStatus = nullptr;
};
