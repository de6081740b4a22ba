#include "settings/OptionsForm.h"

#include "settings/CRegister.h"
#include "settings/Settings.h"
#include "settings/StartupEntry.h"
#include "ui/WindowGeometry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
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
        RestoreGeometryByConvention(g_pLoaded, QLatin1String(Settings::kOptionsWindow));
    }
    return *g_pLoaded;
}

bool OptionsForm::IsLoaded() { return !g_pLoaded.isNull(); }

void OptionsForm::Unload() { delete g_pLoaded.data(); }

OptionsForm::OptionsForm()
{
    setObjectName(QStringLiteral("OptionsForm"));
    setWindowTitle(QStringLiteral("Settings"));
    BuildControls();
}

void OptionsForm::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
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
    firewallLayout->addRow(QStringLiteral("Port"), txtFirewallPort);
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

    connect(chkFirewall, &QCheckBox::toggled, this, &OptionsForm::UpdateFirewallFields);
    connect(optDeleteLogIfSizeExceeds, &QRadioButton::toggled, this, [this](bool bOn) {
        if (bOn) txtLogFileSize->setEnabled(true);
    });
    connect(optDeleteLogOnStartup, &QRadioButton::toggled, this, [this](bool bOn) {
        if (bOn) txtLogFileSize->setEnabled(false);
    });
    connect(chkAddToStartup, &QCheckBox::toggled, this, [](bool bOn) {
        const CRegister reg;
        if (bOn) StartupEntry::Write(reg);
        else StartupEntry::Remove(reg);
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
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, palette.color(bOn ? QPalette::Base : QPalette::Button));
        field->setPalette(palette);
    }
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
    LoadCheck(chkPasv, Read(reg, Settings::kFtpPasv, "1"));
    LoadCheck(chkAddToStartup, Read(reg, Settings::kAddToStartup, "1"));
    txtLogFilename->setText(Read(reg, Settings::kLogFileName, ""));
    LoadOption(optDeleteLogOnStartup, Read(reg, Settings::kDeleteLogOnStartup, "1"));
    LoadOption(optDeleteLogIfSizeExceeds, Read(reg, Settings::kDeleteLogIfSizeExceeds, "1"));
    txtLogFileSize->setText(Read(reg, Settings::kLogFileSize, ""));
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
