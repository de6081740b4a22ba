#include "sites/frmConnectionInfo.h"
#include "ui/Named.h"

#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"
#include "sites/SiteProfiles.h"
#include "ui/Prompter.h"
#include "ui/WindowGeometry.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kTitle = QStringLiteral("Kelvo");
const QString kRootKey = QStringLiteral("r");
const QString kAnonymousUser = QStringLiteral("anonymous");
constexpr int kKeyRole = Qt::UserRole;

// The designed size of the controls' area; the resizer keeps the controls at
// these proportions whatever size the window takes.
constexpr int kPanelWidth = 560;
constexpr int kPanelHeight = 300;


bool IsNavigationKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

}  // namespace

frmConnectionInfo::frmConnectionInfo(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConnectionInfo"));
    setWindowTitle(QStringLiteral("Connection Information"));
    ImageList1 = {style()->standardIcon(QStyle::SP_DirIcon), style()->standardIcon(QStyle::SP_DriveNetIcon)};
    BuildControls();

    m_resizer.PrepareClass(panel);
    SelectOption(optAnonymous);
    BuildTree();
    RestoreGeometryByConvention(this, QLatin1String(Settings::kConnectionInfoWindow));
    cmdDeleteSite->setEnabled(false);
}

frmConnectionInfo::~frmConnectionInfo()
{
    StoreWindowGeometry(this, QLatin1String(Settings::kConnectionInfoWindow), CRegister());
}

void frmConnectionInfo::BuildControls()
{
    // The menu bar sits above the controls; the controls themselves are
    // placed by geometry on one panel, which the layout sizes to the window.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    menuBar = Named(new QMenuBar(this), "menuBar");
    layout->setMenuBar(menuBar);
    cmdConnect = Named(menuBar->addAction(QStringLiteral("&Connect")), "cmdConnect");
    cmdNewSite = Named(menuBar->addAction(QStringLiteral("&New")), "cmdNewSite");
    cmdDeleteSite = Named(menuBar->addAction(QStringLiteral("&Delete")), "cmdDeleteSite");
    cmdSaveSite = Named(menuBar->addAction(QStringLiteral("&Save")), "cmdSaveSite");

    panel = Named(new QWidget(this), "panel");
    panel->resize(kPanelWidth, kPanelHeight);
    layout->addWidget(panel);

    TView1 = Named(new QTreeWidget(panel), "TView1", QStringLiteral("Current saved profiles"));
    TView1->setAccessibleName(QStringLiteral("Saved sites"));
    TView1->setHeaderHidden(true);
    TView1->setColumnCount(1);
    TView1->setGeometry(8, 8, 200, 284);

    const auto addBox = [this](const char* sLabelName, const QString& sCaption, const char* sBoxName,
                               const QString& sTip, int top, QLabel*& label, QLineEdit*& box) {
        label = Named(new QLabel(sCaption, panel), sLabelName);
        label->setGeometry(220, top, 100, 24);
        box = Named(new QLineEdit(panel), sBoxName, sTip);
        box->setGeometry(320, top, 232, 24);
        label->setBuddy(box);
    };
    addBox("siteNameLabel", QStringLiteral("Site Name:"), "txtSiteName", QStringLiteral("Site name"), 12,
           siteNameLabel, txtSiteName);
    addBox("lblHost", QStringLiteral("Host Address : "), "txtHost", QStringLiteral("Remote site Ip address or hostname"),
           44, lblHost, txtHost);
    addBox("lblUserName", QStringLiteral("User Name :"), "txtUserName", QStringLiteral("Remote site user name"), 76,
           lblUserName, txtUserName);
    addBox("lblPassword", QStringLiteral("Password :"), "txtPassword", QStringLiteral("Remote site password"), 108,
           lblPassword, txtPassword);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*" for each character

    fraLoginType = Named(new QGroupBox(QStringLiteral("Login Type"), panel), "fraLoginType");
    fraLoginType->setGeometry(220, 144, 200, 80);
    optAnonymous = Named(new QRadioButton(QStringLiteral("Anonymous"), fraLoginType), "optAnonymous",
                         QStringLiteral("Set login type to anonymous"));
    optAnonymous->setGeometry(12, 24, 176, 22);
    optNormal = Named(new QRadioButton(QStringLiteral("Save Password"), fraLoginType), "optNormal",
                      QStringLiteral("Save the user name and password"));
    optNormal->setGeometry(12, 50, 176, 22);

    lblPort = Named(new QLabel(QStringLiteral("Port:"), panel), "lblPort");
    lblPort->setGeometry(436, 152, 40, 24);
    txtPort = Named(new QLineEdit(QStringLiteral("21"), panel), "txtPort", QStringLiteral("Remote site port number"));
    txtPort->setGeometry(480, 152, 72, 24);
    lblPort->setBuddy(txtPort);

    chkUseTls = Named(new QCheckBox(QStringLiteral("Use &TLS (FTPS)"), panel), "chkUseTls",
                      QStringLiteral("Encrypt the login and the files (explicit FTP over TLS)"));
    chkUseTls->setGeometry(220, 232, 200, 22);

    cmdConnect1 = Named(new QPushButton(QStringLiteral("Connect"), panel), "cmdConnect1");
    cmdConnect1->setGeometry(376, 260, 84, 28);
    cmdConnect1->setDefault(true);  // Enter connects from every box
    cmdCancel = Named(new QPushButton(QStringLiteral("C&ancel"), panel), "cmdCancel", QStringLiteral("Close window"));
    cmdCancel->setGeometry(468, 260, 84, 28);

    const QList<QWidget*> tabOrder = {TView1, txtSiteName, txtHost, txtUserName, txtPassword,
                                      optAnonymous, optNormal, txtPort, chkUseTls, cmdConnect1, cmdCancel};
    for (qsizetype i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    resize(kPanelWidth, kPanelHeight + menuBar->sizeHint().height());
    panel->installEventFilter(this);
    TView1->installEventFilter(this);

    connect(cmdConnect, &QAction::triggered, this, &frmConnectionInfo::Connect);
    connect(cmdConnect1, &QPushButton::clicked, this, &frmConnectionInfo::Connect);
    connect(cmdCancel, &QPushButton::clicked, this, &frmConnectionInfo::reject);
    connect(cmdNewSite, &QAction::triggered, this, &frmConnectionInfo::NewSite);
    connect(cmdSaveSite, &QAction::triggered, this, &frmConnectionInfo::SaveSite);
    connect(cmdDeleteSite, &QAction::triggered, this, &frmConnectionInfo::DeleteSite);
    connect(TView1, &QTreeWidget::itemClicked, this, &frmConnectionInfo::NodeClick);
    connect(optAnonymous, &QRadioButton::toggled, this, [this](bool bOn) {
        if (!bOn) return;
        txtUserName->setText(kAnonymousUser);
        txtPassword->setText(QLatin1String(kAnonymousPassword));
        ApplyLoginBoxes(false);
    });
    connect(optNormal, &QRadioButton::toggled, this, [this](bool bOn) {
        if (bOn) ApplyLoginBoxes(true);
    });
}

bool frmConnectionInfo::ShowForm(QString& sAddress, QString& sPort, QString& sUserName, QString& sPassword,
                                 bool& bIsAnonymous, bool& bUseTls)
{
    m_bCancelled = true;
    txtHost->setText(sAddress);
    txtPort->setText(sPort.isEmpty() ? QStringLiteral("21") : sPort);
    txtUserName->setText(sUserName);
    txtPassword->setText(sPassword);
    SelectOption(bIsAnonymous ? optAnonymous : optNormal);
    if (bIsAnonymous) {
        // Anonymous was selected already, so selecting it filled nothing in:
        // show what an anonymous login sends rather than empty boxes.
        txtUserName->setText(kAnonymousUser);
        txtPassword->setText(QLatin1String(kAnonymousPassword));
    }
    chkUseTls->setChecked(bUseTls);

    exec();

    if (m_bCancelled) return false;
    sAddress = txtHost->text().trimmed();
    sPort = txtPort->text().trimmed();
    sUserName = txtUserName->text().trimmed();
    sPassword = txtPassword->text().trimmed();
    bIsAnonymous = optAnonymous->isChecked();
    bUseTls = chkUseTls->isChecked();
    return true;
}

void frmConnectionInfo::Connect()
{
    m_bCancelled = false;
    accept();
}

void frmConnectionInfo::reject()
{
    m_bCancelled = true;
    QDialog::reject();
}

bool frmConnectionInfo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == panel && event->type() == QEvent::Resize) {
        m_resizer.ResizeControls();
    } else if (watched == TView1 && event->type() == QEvent::KeyRelease) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const int key = keyEvent->key();
        if (keyEvent->isAutoRepeat()) {
            // act once per key stroke, when the key is let go
        } else if (key == Qt::Key_Delete) {
            DeleteSite();
        } else if (IsNavigationKey(key) && TView1->currentItem() != m_xLastClicked) {
            // Moving through the entries with the keyboard picks them as a
            // click would.
            NodeClick(TView1->currentItem());
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Login type: selecting the selected option changes nothing (no toggled
// signal); selecting the other one fills or frees the boxes through the
// toggled handlers and unselects the first.
void frmConnectionInfo::SelectOption(QRadioButton* option) { option->setChecked(true); }

// Clearing only unselects: the boxes keep their texts and enabled state.
// Exclusive buttons cannot be unchecked directly, hence the detour.
void frmConnectionInfo::ClearOption(QRadioButton* option)
{
    if (!option->isChecked()) return;
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

// Disabled boxes take the button-face colour as background, enabled ones the
// ordinary text-box background.
void frmConnectionInfo::ApplyLoginBoxes(bool bEnabled)
{
    const QColor background = palette().color(bEnabled ? QPalette::Base : QPalette::Button);
    for (QLineEdit* box : {txtUserName, txtPassword}) {
        box->setEnabled(bEnabled);
        QPalette boxPalette = box->palette();
        boxPalette.setColor(QPalette::Base, background);
        box->setPalette(boxPalette);
    }
}

void frmConnectionInfo::BuildTree()
{
    const QStringList sites = SiteProfiles::ListSites();
    const QSignalBlocker blocker(TView1);
    TView1->clear();
    m_xLastClicked = nullptr;
    auto* root = new QTreeWidgetItem(TView1, {QStringLiteral("Profiles")});
    root->setData(0, kKeyRole, kRootKey);
    root->setIcon(0, ImageList1.at(0));
    for (const QString& sEntry : sites) {
        auto* site = new QTreeWidgetItem(root, {sEntry});
        site->setIcon(0, ImageList1.at(1));
    }
    TView1->expandItem(root);
}

void frmConnectionInfo::NodeClick(QTreeWidgetItem* item)
{
    if (!item) return;
    m_xLastClicked = item;
    if (item->data(0, kKeyRole).toString() == kRootKey) {
        cmdDeleteSite->setEnabled(false);
        return;
    }
    const SiteProfile profile = SiteProfiles::Read(item->text(0));
    txtSiteName->setText(profile.sName);
    txtHost->setText(profile.sAddress);
    txtUserName->setText(profile.sUserName);
    txtPassword->setText(profile.sPassword);
    txtPort->setText(profile.sPort);
    chkUseTls->setChecked(profile.bUseTls);

    // In this order: an anonymous site read while Anonymous is not selected
    // gets the anonymous defaults first, and with them a password, so it ends
    // with Save Password selected.
    if (txtUserName->text() == kAnonymousUser) SelectOption(optAnonymous);
    else ClearOption(optAnonymous);
    if (!txtPassword->text().isEmpty()) SelectOption(optNormal);
    else ClearOption(optNormal);
    cmdDeleteSite->setEnabled(true);
}

void frmConnectionInfo::NewSite()
{
    txtSiteName->clear();
    txtHost->clear();
    if (optAnonymous->isChecked()) {
        txtUserName->setText(kAnonymousUser);
        txtPassword->setText(QLatin1String(kAnonymousPassword));
    } else {
        txtUserName->clear();
        txtPassword->clear();
    }
    txtPort->setText(QStringLiteral("21"));
    chkUseTls->setChecked(false);
    cmdDeleteSite->setEnabled(false);
}

void frmConnectionInfo::SaveSite()
{
    if (txtSiteName->text().isEmpty() || txtHost->text().isEmpty()) {
        ThePrompter().message(kTitle, QStringLiteral("Please check Site name and Server Address!"),
                              PromptButtons::Ok, PromptIcon::Exclamation);
        return;
    }
    const SiteProfile profile{txtSiteName->text(), txtHost->text(), txtUserName->text(), txtPassword->text(),
                              txtPort->text(), chkUseTls->isChecked()};
    const QString sError = SiteProfiles::Save(profile, optNormal->isChecked());
    if (!sError.isEmpty()) {
        // Nothing was written: say why rather than confirm a save.
        ThePrompter().message(kTitle, sError, PromptButtons::Ok, PromptIcon::Exclamation);
        return;
    }
    BuildTree();
    cmdDeleteSite->setEnabled(false);
    ThePrompter().message(kTitle, QStringLiteral("Profile Saved"), PromptButtons::Ok, PromptIcon::Information);
}

void frmConnectionInfo::DeleteSite()
{
    QTreeWidgetItem* item = TView1->currentItem();
    if (!item || !item->isSelected() || item->data(0, kKeyRole).toString() == kRootKey) return;
    const QString sEntry = item->text(0);
    if (!ConfirmDestruction(kTitle, QStringLiteral("Are you sure you want to delete this profile: ") + sEntry + QLatin1Char('?')))
        return;
    SiteProfiles::Delete(sEntry);
    BuildTree();
}
