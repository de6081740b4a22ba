#include "settings/OptionsForm.h"

#include "settings/CRegister.h"
#include "settings/Settings.h"
#include "settings/StartupEntry.h"
#include "ui/Prompter.h"
#include "ui/WindowGeometry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QPointer<OptionsForm> g_pLoaded;

QString Read(const CRegister& reg, const char* sName, const char* sDefault)
{
    return reg.REGGetSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection), QLatin1String(sName),
                             QLatin1String(sDefault));
}

// Check boxes hold 0 or 1; other stored numbers leave the box as it is.
void LoadCheck(QCheckBox* box, const QString& sStored)
{
    const double value = Settings::NumberOrZero(sStored);
    if (value == 0.0) box->setChecked(false);
    else if (value == 1.0) box->setChecked(true);
}

// Option buttons in one frame: selecting one clears the other, and a stored
// False clears the button even when that leaves none selected.
void Write(const CRegister& reg, const char* sName, const QString& sValue)
{
    reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection), QLatin1String(sName), sValue);
}

QString CheckText(const QCheckBox* box) { return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); }

QLabel* WarningLabel(const char* sName)
{
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(sName));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(palette);
    label->hide();
    return label;
}

void LoadOption(QRadioButton* option, const QString& sStored)
{
    const bool bSelect = Settings::ReadAsBoolean(sStored);
    if (bSelect || !option->isChecked()) {
        option->setChecked(bSelect);
        return;
    }
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

}  // namespace

OptionsForm& OptionsForm::Loaded()
{
    if (!g_pLoaded) {
        g_pLoaded = new OptionsForm;
        g_pLoaded->UpdateFirewallFields();
        g_pLoaded->LoadFirewallSettings();
        g_pLoaded->LoadGeneralSettings();
        // Loaded with the box ticked: the entry is written (again), as start-up does.
        if (g_pLoaded->AddToStartup()) StartupEntry::Write(CRegister());
        RestoreGeometryByConvention(g_pLoaded, QLatin1String(Settings::kOptionsWindow));
    }
    return *g_pLoaded;
}

bool OptionsForm::IsLoaded() { return !g_pLoaded.isNull(); }

void OptionsForm::Unload() { delete g_pLoaded.data(); }

void OptionsForm::ShowModal(QWidget* owner)
{
    OptionsForm& form = Loaded();
    // Loaded hidden, perhaps before start-up settled the log file's name and
    // size: show the values in force now.
    form.LoadFirewallSettings();
    form.LoadGeneralSettings();
    form.SSTab1->setCurrentIndex(0);
    if (owner && form.parentWidget() != owner) form.setParent(owner, form.windowFlags() | Qt::Dialog);
    form.exec();
}

QString OptionsForm::LogFileNameRefused()
{
    return QStringLiteral("The log file name must be a plain file name: not empty, without \"/\" or \"\\\", "
                          "and not \".\" or \"..\". The log file is kept in the program's Log folder.");
}

OptionsForm::OptionsForm()
{
    setObjectName(QStringLiteral("OptionsForm"));
    setWindowTitle(QStringLiteral("Settings"));
    BuildControls();
}

void OptionsForm::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
    auto* menu = new QMenuBar(this);
    QAction* mnuSave = menu->addAction(QStringLiteral("&Save"));
    mnuSave->setObjectName(QStringLiteral("mnuSave"));
    QAction* mnuClose = menu->addAction(QStringLiteral("&Close"));
    mnuClose->setObjectName(QStringLiteral("mnuClose"));
    connect(mnuSave, &QAction::triggered, this, &OptionsForm::Save);
    connect(mnuClose, &QAction::triggered, this, &QWidget::close);
    layout->setMenuBar(menu);
    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    layout->addWidget(SSTab1);

    auto* general = new QWidget;
    auto* generalLayout = new QVBoxLayout(general);
    chkPasv = new QCheckBox(QStringLiteral("Use PASV Transfer Mode"));
    chkSaveWindowSize = new QCheckBox(QStringLiteral("Save Window Size On Exit"));
    chkSaveWindowSize->setChecked(true);
    chkSaveWindowPosition = new QCheckBox(QStringLiteral("Save Window Position on Exit"));
    chkSaveWindowPosition->setChecked(true);
    frameLogFile = new QGroupBox(QStringLiteral("Log File"));
    auto* logLayout = new QFormLayout(frameLogFile);
    optDeleteLogIfSizeExceeds = new QRadioButton(QStringLiteral("Delete Log File if it Exceeds :"));
    optDeleteLogIfSizeExceeds->setChecked(true);
    txtLogFileSize = new QLineEdit(QStringLiteral("1000"));
    lblKiloBytes = new QLabel(QStringLiteral("kb"));
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(txtLogFileSize);
    sizeRow->addWidget(lblKiloBytes);
    lblLogFileSizeWarning = WarningLabel("lblLogFileSizeWarning");
    sizeRow->addWidget(lblLogFileSizeWarning);
    logLayout->addRow(optDeleteLogIfSizeExceeds, sizeRow);
    optDeleteLogOnStartup = new QRadioButton(QStringLiteral("Delete Log File on Startup?"));
    logLayout->addRow(optDeleteLogOnStartup);
    lblLogFileName = new QLabel(QStringLiteral("Log Filename"));
    txtLogFilename = new QLineEdit(QStringLiteral("KELVO.LOG"));
    logLayout->addRow(lblLogFileName, txtLogFilename);
    chkAddToStartup = new QCheckBox(QStringLiteral("Add Kelvo To Windows Startup"));
    for (QWidget* w : {static_cast<QWidget*>(chkPasv), static_cast<QWidget*>(chkSaveWindowSize),
                       static_cast<QWidget*>(chkSaveWindowPosition), static_cast<QWidget*>(frameLogFile),
                       static_cast<QWidget*>(chkAddToStartup)})
        generalLayout->addWidget(w);
    generalLayout->addStretch();
    SSTab1->addTab(general, QStringLiteral("General Settings"));

    auto* firewallTab = new QWidget;
    auto* firewallTabLayout = new QVBoxLayout(firewallTab);
    auto* firewallFrame = new QGroupBox(QStringLiteral("Firewall Settings"));
    auto* firewallLayout = new QFormLayout(firewallFrame);
    chkFirewall = new QCheckBox(QStringLiteral("Use Firewall"));
    comboFirewallType = new QComboBox;
    comboFirewallType->setEditable(true);
    comboFirewallType->addItems({QStringLiteral("SOCKS 4"), QStringLiteral("SOCKS 5")});
    txtFirewallHostName = new QLineEdit;
    txtFirewallPort = new QLineEdit(QStringLiteral("1080"));
    txtFirewallUserName = new QLineEdit;
    txtFirewallPassword = new QLineEdit;
    txtFirewallPassword->setEchoMode(QLineEdit::Password);
    firewallLayout->addRow(chkFirewall);
    firewallLayout->addRow(QStringLiteral("Type"), comboFirewallType);
    firewallLayout->addRow(QStringLiteral("Hostname"), txtFirewallHostName);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(txtFirewallPort);
    lblFirewallPortWarning = WarningLabel("lblFirewallPortWarning");
    portRow->addWidget(lblFirewallPortWarning);
    firewallLayout->addRow(QStringLiteral("Port"), portRow);
    firewallLayout->addRow(QStringLiteral("User Name"), txtFirewallUserName);
    firewallLayout->addRow(QStringLiteral("Password"), txtFirewallPassword);
    firewallTabLayout->addWidget(firewallFrame);
    firewallTabLayout->addStretch();
    SSTab1->addTab(firewallTab, QStringLiteral("Firewall Settings"));

    const std::pair<QObject*, const char*> names[] = {
        {chkPasv, "chkPasv"},
        {chkSaveWindowSize, "chkSaveWindowSize"},
        {chkSaveWindowPosition, "chkSaveWindowPosition"},
        {frameLogFile, "frameLogFile"},
        {optDeleteLogIfSizeExceeds, "optDeleteLogIfSizeExceeds"},
        {txtLogFileSize, "txtLogFileSize"},
        {optDeleteLogOnStartup, "optDeleteLogOnStartup"},
        {txtLogFilename, "txtLogFilename"},
        {chkAddToStartup, "chkAddToStartup"},
        {chkFirewall, "chkFirewall"},
        {comboFirewallType, "comboFirewallType"},
        {txtFirewallHostName, "txtFirewallHostName"},
        {txtFirewallPort, "txtFirewallPort"},
        {txtFirewallUserName, "txtFirewallUserName"},
        {txtFirewallPassword, "txtFirewallPassword"},
    };
    for (const auto& [object, name] : names) object->setObjectName(QLatin1String(name));
    // What a screen reader says for the fields whose label is not their own.
    const std::pair<QWidget*, const char*> spoken[] = {
        {txtLogFileSize, "Log file size limit in kilobytes"},
        {txtLogFilename, "Log file name"},
        {comboFirewallType, "Firewall type"},
        {txtFirewallHostName, "Firewall host name"},
        {txtFirewallPort, "Firewall port"},
        {txtFirewallUserName, "Firewall user name"},
        {txtFirewallPassword, "Firewall password"},
    };
    for (const auto& [widget, name] : spoken) widget->setAccessibleName(QLatin1String(name));
    comboFirewallType->lineEdit()->setAccessibleName(QStringLiteral("Firewall type"));

    connect(chkFirewall, &QCheckBox::toggled, this, &OptionsForm::UpdateFirewallFields);
    // Values are stored as typed; one that cannot work is marked beside its
    // field so that the user sees it before connecting.
    connect(txtFirewallPort, &QLineEdit::textChanged, this, &OptionsForm::UpdateFieldWarnings);
    connect(txtLogFileSize, &QLineEdit::textChanged, this, &OptionsForm::UpdateFieldWarnings);
    connect(optDeleteLogIfSizeExceeds, &QRadioButton::toggled, this, &OptionsForm::UpdateFieldWarnings);
    connect(optDeleteLogIfSizeExceeds, &QRadioButton::toggled, this, [this](bool bOn) {
        if (bOn) txtLogFileSize->setEnabled(true);
    });
    connect(optDeleteLogOnStartup, &QRadioButton::toggled, this, [this](bool bOn) {
        if (bOn) txtLogFileSize->setEnabled(false);
    });
    // The user's tick takes effect at once and is kept at once: the entry is
    // written or removed and the choice stored, so that no later loading of
    // this window brings back what the user turned off.
    connect(chkAddToStartup, &QCheckBox::clicked, this, [this](bool bOn) {
        const CRegister reg;
        if (bOn) StartupEntry::Write(reg);
        else StartupEntry::Remove(reg);
        Write(reg, Settings::kAddToStartup, CheckText(chkAddToStartup));
    });
}

bool OptionsForm::AddToStartup() const { return chkAddToStartup->isChecked(); }
bool OptionsForm::DeleteLogOnStartup() const { return optDeleteLogOnStartup->isChecked(); }
bool OptionsForm::DeleteLogIfSizeExceeds() const { return optDeleteLogIfSizeExceeds->isChecked(); }
bool OptionsForm::SaveWindowPosition() const { return chkSaveWindowPosition->isChecked(); }
bool OptionsForm::SaveWindowSize() const { return chkSaveWindowSize->isChecked(); }

void OptionsForm::UpdateFirewallFields()
{
    const bool bOn = chkFirewall->isChecked();
    for (QWidget* field : {static_cast<QWidget*>(txtFirewallHostName), static_cast<QWidget*>(txtFirewallPort),
                           static_cast<QWidget*>(txtFirewallUserName), static_cast<QWidget*>(txtFirewallPassword),
                           static_cast<QWidget*>(comboFirewallType)}) {
        field->setEnabled(bOn);
        // From the window's palette: the field's own has been changed before.
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, this->palette().color(bOn ? QPalette::Base : QPalette::Button));
        field->setPalette(palette);
    }
    UpdateFieldWarnings();
}

void OptionsForm::UpdateFieldWarnings()
{
    if (!lblFirewallPortWarning || !lblLogFileSizeWarning) return;  // still building
    const bool bBadPort = chkFirewall->isChecked() && !Settings::IsValidPort(txtFirewallPort->text());
    lblFirewallPortWarning->setText(bBadPort ? QStringLiteral("not a port (1-65535)") : QString());
    lblFirewallPortWarning->setVisible(bBadPort);
    double dSize = 0;
    const bool bBadSize = optDeleteLogIfSizeExceeds->isChecked()
                          && (!Settings::ParseNumber(txtLogFileSize->text(), dSize) || dSize < 0);
    lblLogFileSizeWarning->setText(bBadSize ? QStringLiteral("not a number") : QString());
    lblLogFileSizeWarning->setVisible(bBadSize);
}

void OptionsForm::LoadFirewallSettings()
{
    const CRegister reg;
    txtFirewallHostName->setText(Read(reg, Settings::kFirewallHostName, ""));
    txtFirewallUserName->setText(Read(reg, Settings::kFirewallUserName, ""));
    txtFirewallPassword->setText(Read(reg, Settings::kFirewallPassword, ""));
    comboFirewallType->setCurrentText(Read(reg, Settings::kFirewallType, ""));
    txtFirewallPort->setText(Read(reg, Settings::kFirewallProxyPort, ""));
    LoadCheck(chkFirewall, Read(reg, Settings::kFirewallUse, "0"));
}

void OptionsForm::LoadGeneralSettings()
{
    const CRegister reg;
    LoadCheck(chkPasv, Read(reg, Settings::kFtpPasv, Settings::kFtpPasvDefault));
    LoadCheck(chkAddToStartup, Read(reg, Settings::kAddToStartup, "1"));
    // Start-up uses these when none is stored: they are the values in force.
    txtLogFilename->setText(Read(reg, Settings::kLogFileName, Settings::kDefaultLogFileName));
    LoadOption(optDeleteLogOnStartup, Read(reg, Settings::kDeleteLogOnStartup, "1"));
    LoadOption(optDeleteLogIfSizeExceeds, Read(reg, Settings::kDeleteLogIfSizeExceeds, "1"));
    txtLogFileSize->setText(Read(reg, Settings::kLogFileSize, Settings::kDefaultLogFileSize));
    LoadCheck(chkSaveWindowPosition, Read(reg, Settings::kSaveWindowPosition, "1"));
    LoadCheck(chkSaveWindowSize, Read(reg, Settings::kSaveWindowSize, "1"));
}

void RestoreGeometryByConvention(QWidget* xWindow, const QString& sPrefix)
{
    const CRegister reg;
    const bool bPosition = Settings::NumberOrZero(Read(reg, Settings::kSaveWindowPosition, "0")) == 1.0
                           || OptionsForm::Loaded().SaveWindowPosition();
    const bool bSize = Settings::NumberOrZero(Read(reg, Settings::kSaveWindowSize, "0")) == 1.0
                       || OptionsForm::Loaded().SaveWindowSize();
    RestoreWindowGeometry(xWindow, sPrefix, bPosition, bSize, reg);
}

// --- saving and closing -----------------------------------------------------------

void OptionsForm::SaveGeneralSettings()
{
    const CRegister reg;
    Write(reg, Settings::kFtpPasv, CheckText(chkPasv));
    Write(reg, Settings::kAddToStartup, CheckText(chkAddToStartup));
    Write(reg, Settings::kLogFileName, txtLogFilename->text());
    Write(reg, Settings::kDeleteLogOnStartup, Settings::BooleanText(optDeleteLogOnStartup->isChecked()));
    Write(reg, Settings::kDeleteLogIfSizeExceeds, Settings::BooleanText(optDeleteLogIfSizeExceeds->isChecked()));
    Write(reg, Settings::kLogFileSize, txtLogFileSize->text());
    Write(reg, Settings::kSaveWindowPosition, CheckText(chkSaveWindowPosition));
    Write(reg, Settings::kSaveWindowSize, CheckText(chkSaveWindowSize));
}

void OptionsForm::SaveFirewallSettings()
{
    const CRegister reg;
    Write(reg, Settings::kFirewallHostName, txtFirewallHostName->text());
    Write(reg, Settings::kFirewallProxyPort, txtFirewallPort->text());
    Write(reg, Settings::kFirewallUse, CheckText(chkFirewall));
    Write(reg, Settings::kFirewallUserName, txtFirewallUserName->text());
    Write(reg, Settings::kFirewallPassword, txtFirewallPassword->text());
    Write(reg, Settings::kFirewallType, comboFirewallType->currentText());
}

// Start-up deletes the log file by this name, so a typed name that reaches
// outside the log folder is never stored. A name left as it was stored is
// not questioned (start-up ignores a stored name that reaches outside).
bool OptionsForm::LogFileNameAccepted()
{
    const QString sName = txtLogFilename->text();
    if (Settings::IsPlainLogFileName(sName) || sName == Read(CRegister(), Settings::kLogFileName, Settings::kDefaultLogFileName))
        return true;
    ThePrompter().message(QStringLiteral("Kelvo"), LogFileNameRefused(), PromptButtons::Ok, PromptIcon::Exclamation);
    SSTab1->setCurrentIndex(0);
    txtLogFilename->setFocus();
    return false;
}

void OptionsForm::Save()
{
    if (!LogFileNameAccepted()) return;
    SaveGeneralSettings();
    SaveFirewallSettings();
    close();
}

bool OptionsForm::ConfirmUnsavedOptions()
{
    const CRegister reg;
    const auto check = [&](const char* sName, const char* sDefault, const QCheckBox* box) {
        return Settings::NumberOrZero(Read(reg, sName, sDefault)) == (box->isChecked() ? 1.0 : 0.0);
    };
    // The two log options share a frame: loading selects "on startup" and
    // then "if size exceeds", which clears the first when both are stored
    // as selected (the defaults). Compare with what loading shows, or the
    // defaults would count as a change every time.
    const bool bIfSizeStored = Settings::ReadAsBoolean(Read(reg, Settings::kDeleteLogIfSizeExceeds, "1"));
    const bool bOnStartupStored = Settings::ReadAsBoolean(Read(reg, Settings::kDeleteLogOnStartup, "1")) && !bIfSizeStored;
    const auto text = [&](const char* sName, const QString& sShown, const char* sDefault = "") {
        return Read(reg, sName, sDefault) == sShown;
    };
    // Every comparison runs, in the order the settings are listed.
    const bool same[] = {
        check(Settings::kFtpPasv, Settings::kFtpPasvDefault, chkPasv),
        check(Settings::kAddToStartup, "1", chkAddToStartup),
        text(Settings::kLogFileName, txtLogFilename->text(), Settings::kDefaultLogFileName),
        bOnStartupStored == optDeleteLogOnStartup->isChecked(),
        bIfSizeStored == optDeleteLogIfSizeExceeds->isChecked(),
        text(Settings::kLogFileSize, txtLogFileSize->text(), Settings::kDefaultLogFileSize),
        check(Settings::kSaveWindowPosition, "1", chkSaveWindowPosition),
        check(Settings::kSaveWindowSize, "1", chkSaveWindowSize),
        text(Settings::kFirewallHostName, txtFirewallHostName->text()),
        text(Settings::kFirewallUserName, txtFirewallUserName->text()),
        text(Settings::kFirewallPassword, txtFirewallPassword->text()),
        text(Settings::kFirewallType, comboFirewallType->currentText()),
        text(Settings::kFirewallProxyPort, txtFirewallPort->text()),
        check(Settings::kFirewallUse, "0", chkFirewall),
    };
    if (std::all_of(std::begin(same), std::end(same), [](bool b) { return b; })) return true;
    if (ThePrompter().message(QStringLiteral("Software settings have changed"),
                              QStringLiteral("Would you like to apply option changes?: "), PromptButtons::YesNo,
                              PromptIcon::Question)
        != PromptResult::Yes)
        return true;
    if (!LogFileNameAccepted()) return false;
    SaveGeneralSettings();
    SaveFirewallSettings();
    return true;
}

void OptionsForm::closeEvent(QCloseEvent* event)
{
    if (m_bClosing) return;  // already on its way out
    StoreWindowGeometry(this, QLatin1String(Settings::kOptionsWindow), CRegister());  // nothing when minimised
    if (!ConfirmUnsavedOptions()) {
        event->ignore();
        return;
    }
    event->accept();
    // Unloaded: the next reader loads the window afresh from the store.
    m_bClosing = true;
    if (g_pLoaded == this) g_pLoaded = nullptr;
    deleteLater();
}

void OptionsForm::reject() { close(); }
