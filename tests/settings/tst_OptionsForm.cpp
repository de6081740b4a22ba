// The Settings window with a scripted prompter and a registry in memory:
// stored values, the question on closing with changes, the firewall fields,
// the log file name guard and the field warnings.
#include "MemoryRegistryBackend.h"
#include "ScriptedPrompter.h"
#include "TestEnvironment.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"
#include "settings/StartupEntry.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <memory>

namespace {

template <typename T>
T* Control(const char* sName)
{
    T* control = OptionsForm::Loaded().findChild<T*>(QLatin1String(sName));
    if (!control) qFatal("no control %s", sName);
    return control;
}

const QString kSection = QLatin1String(Settings::kSection).mid(1);
const QString kRun = QLatin1String(Settings::kRunSection).mid(1);

const char* const kAllSettings[] = {
    Settings::kFtpPasv, Settings::kAddToStartup, Settings::kLogFileName, Settings::kDeleteLogOnStartup,
    Settings::kDeleteLogIfSizeExceeds, Settings::kLogFileSize, Settings::kSaveWindowPosition,
    Settings::kSaveWindowSize, Settings::kFirewallHostName, Settings::kFirewallUserName,
    Settings::kFirewallPassword, Settings::kFirewallType, Settings::kFirewallProxyPort, Settings::kFirewallUse,
};

}  // namespace

class tst_OptionsForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void storedValuesLoadWithTheirConversions();
    void closingWithChangesAsks_data();
    void closingWithChangesAsks();
    void firewallFieldsFollowTheCheckBox();
    void logFileNameReachingOutsideIsRefused();
    void unusablePortAndSizeAreMarked();

private:
    QString Stored(const char* sName) const { return m_store->value(kHKEY_LOCAL_MACHINE, kSection, QLatin1String(sName)); }
    bool Has(const char* sName) const { return m_store->has(kHKEY_LOCAL_MACHINE, kSection, QLatin1String(sName)); }
    void Store(const char* sName, const QString& sValue)
    {
        m_store->writeValue(kHKEY_LOCAL_MACHINE, kSection, QLatin1String(sName), sValue);
    }
    bool StartupEntryExists() const
    {
        return m_store->has(kHKEY_CURRENT_USER, kRun, QLatin1String(Settings::kRunValueName))
               && QFileInfo::exists(StartupEntry::AutostartFilePath());
    }
    // Every stored setting, to tell "nothing written" from "something written".
    QStringList Snapshot() const
    {
        QStringList values;
        for (const char* name : kAllSettings) values << (Has(name) ? Stored(name) : QStringLiteral("<none>"));
        return values;
    }
    static void Close() { OptionsForm::Loaded().close(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<MemoryRegistryBackend> m_store;
    std::unique_ptr<ScopedRegistryBackend> m_installed;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<ScopedPrompter> m_prompterInstalled;
};

void tst_OptionsForm::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_store = std::make_unique<MemoryRegistryBackend>();
    m_installed = std::make_unique<ScopedRegistryBackend>(*m_store);
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_prompterInstalled = std::make_unique<ScopedPrompter>(*m_prompter);
}

void tst_OptionsForm::cleanup()
{
    OptionsForm::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(m_prompter->ScriptDone(), "a scripted answer was not used");
    m_prompterInstalled.reset();
    m_prompter.reset();
    m_installed.reset();
    m_store.reset();
    m_env.reset();
}

void tst_OptionsForm::storedValuesLoadWithTheirConversions()
{
    Store(Settings::kDeleteLogOnStartup, QStringLiteral("true"));
    Store(Settings::kDeleteLogIfSizeExceeds, QStringLiteral("False"));
    Store(Settings::kFtpPasv, QStringLiteral("0"));
    Store(Settings::kAddToStartup, QStringLiteral("0"));
    Store(Settings::kFirewallUse, QStringLiteral("1"));
    Store(Settings::kFirewallType, QStringLiteral("SOCKS 5"));
    Store(Settings::kFirewallProxyPort, QStringLiteral("1085"));
    QVERIFY(Control<QRadioButton>("optDeleteLogOnStartup")->isChecked());
    QVERIFY(!Control<QRadioButton>("optDeleteLogIfSizeExceeds")->isChecked());
    QVERIFY(!Control<QLineEdit>("txtLogFileSize")->isEnabled());
    QVERIFY(!Control<QCheckBox>("chkPasv")->isChecked());
    QVERIFY(!Control<QCheckBox>("chkAddToStartup")->isChecked());
    QVERIFY(!StartupEntryExists());
    QVERIFY(Control<QCheckBox>("chkFirewall")->isChecked());
    QCOMPARE(Control<QComboBox>("comboFirewallType")->currentText(), QStringLiteral("SOCKS 5"));
    QCOMPARE(Control<QLineEdit>("txtFirewallPort")->text(), QStringLiteral("1085"));
    Close();
    QVERIFY(m_prompter->shown().isEmpty());
}

void tst_OptionsForm::closingWithChangesAsks_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes stores") << true;
    QTest::newRow("No leaves the store") << false;
}

void tst_OptionsForm::closingWithChangesAsks()
{
    QFETCH(bool, yes);
    Store(Settings::kFirewallProxyPort, QStringLiteral("1080"));
    const QStringList before = Snapshot();
    Control<QLineEdit>("txtFirewallPort")->setText(QStringLiteral("1081"));
    m_prompter->AnswerMessage(yes ? PromptResult::Yes : PromptResult::No);
    Close();
    QCOMPARE(m_prompter->shown().size(), 1);
    QCOMPARE(m_prompter->shown()[0].sTitle, QStringLiteral("Software settings have changed"));
    QCOMPARE(m_prompter->shown()[0].sText, QStringLiteral("Would you like to apply option changes?: "));
    QVERIFY(!OptionsForm::IsLoaded());
    if (yes) QCOMPARE(Stored(Settings::kFirewallProxyPort), QStringLiteral("1081"));
    else QCOMPARE(Snapshot(), before);
}

void tst_OptionsForm::firewallFieldsFollowTheCheckBox()
{
    const char* const fields[] = {"txtFirewallHostName", "txtFirewallPort", "txtFirewallUserName", "txtFirewallPassword"};
    auto* firewall = Control<QCheckBox>("chkFirewall");
    const QPalette system = OptionsForm::Loaded().palette();
    for (bool bOn : {true, false}) {
        firewall->setChecked(bOn);
        for (const char* name : fields) {
            auto* field = Control<QLineEdit>(name);
            QCOMPARE(field->isEnabled(), bOn);
            QCOMPARE(field->palette().color(QPalette::Base), system.color(bOn ? QPalette::Base : QPalette::Button));
        }
        QCOMPARE(Control<QComboBox>("comboFirewallType")->isEnabled(), bOn);
    }
    QCOMPARE(Control<QLineEdit>("txtFirewallPassword")->echoMode(), QLineEdit::Password);
}

void tst_OptionsForm::logFileNameReachingOutsideIsRefused()
{
    for (const char* name : {"../Profiles/Home.Profile", "..", "   ", "logs\\\\x.log"}) {
        Control<QLineEdit>("txtLogFilename")->setText(QLatin1String(name));
        m_prompter->AnswerMessage(PromptResult::Ok);
        OptionsForm::Loaded().findChild<QAction*>(QStringLiteral("mnuSave"))->trigger();
        QVERIFY2(OptionsForm::IsLoaded(), name);  // stays open to be corrected
        QCOMPARE(m_prompter->shown().last().sText, OptionsForm::LogFileNameRefused());
        for (const char* setting : kAllSettings) QVERIFY2(!Has(setting), setting);
    }
    // Closing with the changes: Yes is refused the same way and the window
    // stays; No then closes it without storing.
    m_prompter->AnswerMessage(PromptResult::Yes);
    m_prompter->AnswerMessage(PromptResult::Ok);
    Close();
    QVERIFY(OptionsForm::IsLoaded());
    m_prompter->AnswerMessage(PromptResult::No);
    Close();
    QVERIFY(!OptionsForm::IsLoaded());
    for (const char* setting : kAllSettings) QVERIFY2(!Has(setting), setting);
}

void tst_OptionsForm::unusablePortAndSizeAreMarked()
{
    auto* portWarning = Control<QLabel>("lblFirewallPortWarning");
    auto* sizeWarning = Control<QLabel>("lblLogFileSizeWarning");
    Control<QCheckBox>("chkFirewall")->setChecked(true);
    for (const auto& [text, bad] : {std::pair{"1080", false}, {"0", true}, {"65536", true}, {"80a", true}, {" 21 ", false}}) {
        Control<QLineEdit>("txtFirewallPort")->setText(QLatin1String(text));
        QVERIFY2(portWarning->isHidden() != bad, text);
    }
    Control<QCheckBox>("chkFirewall")->setChecked(false);  // an unused port is not marked
    QVERIFY(portWarning->isHidden());

    Control<QLineEdit>("txtLogFileSize")->setText(QStringLiteral("lots"));
    QVERIFY(!sizeWarning->isHidden());
    Control<QLineEdit>("txtLogFileSize")->setText(QStringLiteral("500"));
    QVERIFY(sizeWarning->isHidden());

    // Marked, but stored as typed.
    Control<QLineEdit>("txtFirewallPort")->setText(QStringLiteral("99999"));
    OptionsForm::Loaded().findChild<QAction*>(QStringLiteral("mnuSave"))->trigger();
    QCOMPARE(Stored(Settings::kFirewallProxyPort), QStringLiteral("99999"));
}

QTEST_MAIN(tst_OptionsForm)
#include "tst_OptionsForm.moc"
