// The main window's start-up, shutdown, connection log and status bar,
// against a store in memory and program folders in a temporary place.
#include "MemoryRegistryBackend.h"
#include "ScriptedPrompter.h"
#include "TestEnvironment.h"
#include "app/frmMain.h"
#include "ftp/FtpComponent.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"
#include "settings/StartupEntry.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QMenu>
#include <QTest>

#include <memory>

class tst_frmMain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void firstStartSettlesSettingsAndFolders();
    void startupSwitchKeepsTheWindowOutOfSight();
    void storedGeometryIsApplied();
    void partialOrBadGeometryIsIgnored();
    void closingStoresGeometry();
    void minimisedCloseStoresNothing();
    void storedOptionsOverrideTheDefaults();
    void ftpEventsReachTheLogStatusAndPrompts();
    void trayIconBringsTheWindowBackAndExitsWithoutGeometry();
    void withoutATrayTheWindowIsNeverHidden();

private:
    QString Stored(const char* name) const
    {
        return m_store->value(kHKEY_LOCAL_MACHINE, m_sSection, QLatin1String(name));
    }
    QString StoredGeometry(const char* word) const
    {
        return m_store->value(kHKEY_LOCAL_MACHINE, m_sSection, Settings::GeometryName(QStringLiteral("MAIN"), word));
    }
    void Store(const QString& name, const QString& value) { m_store->writeValue(kHKEY_LOCAL_MACHINE, m_sSection, name, value); }
    double Twips() const { return 1440.0 / m_window->logicalDpiX(); }
    template <typename T>
    T* Child(const char* name) const
    {
        T* child = m_window->findChild<T*>(QLatin1String(name));
        if (!child) qFatal("no child %s", name);
        return child;
    }

    const QString m_sSection = QLatin1String(Settings::kSection).mid(1);
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<MemoryRegistryBackend> m_store;
    std::unique_ptr<ScopedRegistryBackend> m_installed;
    std::unique_ptr<frmMain> m_window;
};

void tst_frmMain::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_store = std::make_unique<MemoryRegistryBackend>();
    m_installed = std::make_unique<ScopedRegistryBackend>(*m_store);
    m_window = std::make_unique<frmMain>();
}

void tst_frmMain::cleanup()
{
    frmMain::SetTrayAvailability(nullptr);
    m_window.reset();
    OptionsForm::Unload();
    m_installed.reset();
    m_store.reset();
    m_env.reset();
}

void tst_frmMain::firstStartSettlesSettingsAndFolders()
{
    m_window->Load(QString());

    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Kelvo"));
    QCOMPARE(Stored(Settings::kLogFileName), QStringLiteral("FTP.LOG"));
    QCOMPARE(Stored(Settings::kLogFileSize), QStringLiteral("1000"));
    QCOMPARE(m_window->FtpLogFilePath(), m_env->home() + QStringLiteral("/Log/FTP.LOG"));
    for (const char* folder : {"Download", "Profiles", "Log"})
        QVERIFY2(QFileInfo(m_env->home() + QLatin1Char('/') + QLatin1String(folder)).isDir(), folder);

    // The Options window's default ticks "Add to startup".
    QCOMPARE(m_store->value(kHKEY_CURRENT_USER, QLatin1String(Settings::kRunSection).mid(1), QStringLiteral("KELVO")),
             QCoreApplication::applicationFilePath() + QStringLiteral(" /STARTUP"));
    QVERIFY(QFileInfo(StartupEntry::AutostartFilePath()).isFile());

    QVERIFY(Child<QRadioButton>("optBinary")->isChecked());
    QCOMPARE(m_window->CurrentLocalFolder(), QStringLiteral("/"));
}

void tst_frmMain::startupSwitchKeepsTheWindowOutOfSight()
{
    m_window->Load(QStringLiteral("/startup"));
    QVERIFY(!m_window->isVisible() || m_window->isMinimized());
    QVERIFY2(QFileInfo(m_env->home() + QStringLiteral("/Log")).isDir(), "start-up ran all the same");
}

void tst_frmMain::storedGeometryIsApplied()
{
    const double t = Twips();
    Store(QStringLiteral("MAIN TOP"), QString::number(100 * t));
    Store(QStringLiteral("MAIN LEFT"), QString::number(150 * t));
    Store(QStringLiteral("MAIN HEIGHT"), QString::number(560 * t));
    Store(QStringLiteral("MAIN WIDTH"), QString::number(780 * t));
    m_window->Load(QString());
    QCOMPARE(m_window->pos(), QPoint(150, 100));
    QCOMPARE(m_window->size(), QSize(780, 560));
}

void tst_frmMain::partialOrBadGeometryIsIgnored()
{
    const double t = Twips();
    const QSize designed = m_window->size();
    Store(QStringLiteral("MAIN TOP"), QString::number(100 * t));
    Store(QStringLiteral("MAIN LEFT"), QStringLiteral("left"));
    Store(QStringLiteral("MAIN HEIGHT"), QString::number(560 * t));  // no width
    m_window->Load(QString());
    QCOMPARE(m_window->size(), designed);
    QVERIFY(m_window->pos().y() != 100);
}

void tst_frmMain::closingStoresGeometry()
{
    m_window->Load(QString());
    m_window->resize(720, 530);
    m_window->move(40, 30);
    QSignalSpy ended(m_window.get(), &frmMain::programEnded);
    QVERIFY(m_window->close());
    QCOMPARE(ended.count(), 1);
    QVERIFY(!OptionsForm::IsLoaded());

    const double t = Twips();
    QCOMPARE(StoredGeometry("TOP").toDouble(), 30 * t);
    QCOMPARE(StoredGeometry("LEFT").toDouble(), 40 * t);
    QCOMPARE(StoredGeometry("HEIGHT").toDouble(), 530 * t);
    QCOMPARE(StoredGeometry("WIDTH").toDouble(), 720 * t);
}

void tst_frmMain::minimisedCloseStoresNothing()
{
    m_window->Load(QString());
    m_window->showMinimized();
    QVERIFY(m_window->isMinimized());
    QVERIFY(m_window->close());
    for (const char* word : {"TOP", "LEFT", "HEIGHT", "WIDTH"})
        QVERIFY2(!m_store->has(kHKEY_LOCAL_MACHINE, m_sSection, Settings::GeometryName(QStringLiteral("MAIN"), word)),
                 word);
}

void tst_frmMain::storedOptionsOverrideTheDefaults()
{
    Store(QLatin1String(Settings::kAddToStartup), QStringLiteral("0"));
    Store(QLatin1String(Settings::kDeleteLogOnStartup), QStringLiteral("True"));
    Store(QLatin1String(Settings::kDeleteLogIfSizeExceeds), QStringLiteral("False"));
    Store(QLatin1String(Settings::kSaveWindowSize), QStringLiteral("not a number"));
    m_window->Load(QString());

    const OptionsForm& options = OptionsForm::Loaded();
    QVERIFY(!options.AddToStartup());
    QVERIFY(options.DeleteLogOnStartup());
    QVERIFY(!options.DeleteLogIfSizeExceeds());
    QVERIFY(!options.SaveWindowSize());
    QVERIFY(options.SaveWindowPosition());
    QVERIFY(!m_store->has(kHKEY_CURRENT_USER, QLatin1String(Settings::kRunSection).mid(1), QStringLiteral("KELVO")));
    QVERIFY(!QFileInfo::exists(StartupEntry::AutostartFilePath()));
    QVERIFY2(!m_store->has(kHKEY_LOCAL_MACHINE, m_sSection, QLatin1String(Settings::kLogFileSize)),
             "no size limit without size checking");
}

void tst_frmMain::ftpEventsReachTheLogStatusAndPrompts()
{
    m_window->Load(QString());
    FtpComponent& ftp = m_window->Ftp();
    QCOMPARE(ftp.GetProperty(FtpComponent::kLogFile).toString(), m_env->home() + QStringLiteral("/Log/FTP.LOG"));
    QCOMPARE(ftp.transferType(), 0L);
    Child<QRadioButton>("optAscii")->setChecked(true);
    QCOMPARE(ftp.transferType(), 1L);

    Q_EMIT ftp.logText(QStringLiteral("230 Login successful."), 0);
    QTRY_VERIFY(Child<QListWidget>("lstConnectionInfo")->currentItem());
    QCOMPARE(Child<QListWidget>("lstConnectionInfo")->currentItem()->text(), QStringLiteral("230 Login successful."));
    Q_EMIT ftp.receiving(QStringLiteral("a.txt"));
    QCOMPARE(Child<QLabel>("stbProgressPanel1")->text(), QStringLiteral("Receiving a.txt"));
    Q_EMIT ftp.sending(QStringLiteral("b.txt"));
    QCOMPARE(Child<QLabel>("stbProgressPanel1")->text(), QStringLiteral("Sending b.txt"));
    Q_EMIT ftp.progress(10, 40, 25);
    QCOMPARE(Child<QLabel>("stbProgressPanel3")->text(), QStringLiteral("Total : 40"));

    ScriptedPrompter prompter;
    ScopedPrompter installed(prompter);
    prompter.AnswerInput(QStringLiteral("acct"));
    prompter.AnswerInput(std::nullopt);
    QString account, password = QStringLiteral("unchanged");
    Q_EMIT ftp.accountQuery(account);
    Q_EMIT ftp.passwordQuery(password);
    QCOMPARE(account, QStringLiteral("acct"));
    QVERIFY2(password.isEmpty(), "a cancelled box gives up");
    QVERIFY(prompter.ScriptDone());
    QCOMPARE(prompter.shown()[0].sTitle, QStringLiteral("Kelvo [Query]"));
    QCOMPARE(prompter.shown()[0].sText, QStringLiteral("An account is required for this server."));
    QCOMPARE(prompter.shown()[1].sText, QStringLiteral("Please enter the correct password"));
}

void tst_frmMain::trayIconBringsTheWindowBackAndExitsWithoutGeometry()
{
    frmMain::SetTrayAvailability([] { return true; });
    m_window->Load(QString());
    QVERIFY(m_window->TrayIconShown());
    auto* icon = Child<QSystemTrayIcon>("traypic");
    QCOMPARE(icon->toolTip(), QStringLiteral("Kelvo"));
    QMenu* popup = icon->contextMenu();
    QVERIFY(popup);
    QCOMPARE(popup->actions().size(), 2);
    QCOMPARE(popup->actions()[0]->text(), QStringLiteral("&Show/Hide"));
    QCOMPARE(popup->actions()[1]->text(), QStringLiteral("&Exit"));

    // Minimised, the window goes to the tray; a left click brings it back
    // in normal state.
    m_window->showMinimized();
    QTRY_VERIFY(m_window->isHidden());
    Q_EMIT icon->activated(QSystemTrayIcon::Trigger);
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->isMinimized());
    Q_EMIT icon->activated(QSystemTrayIcon::DoubleClick);  // other events do nothing
    QVERIFY(m_window->isVisible());

    // Show/Hide toggles.
    popup->actions()[0]->trigger();
    QVERIFY(m_window->isHidden());
    popup->actions()[0]->trigger();
    QVERIFY(m_window->isVisible() && !m_window->isMinimized());

    // Exit ends the program with no icon left and no geometry stored.
    QSignalSpy ended(m_window.get(), &frmMain::programEnded);
    popup->actions()[1]->trigger();
    QCOMPARE(ended.count(), 1);
    QVERIFY(!m_window->TrayIconShown());
    QVERIFY(!m_window->findChild<QSystemTrayIcon*>(QStringLiteral("traypic")));
    m_window->close();  // the window's own closing does not run again
    QCOMPARE(ended.count(), 1);
    for (const char* word : {"TOP", "LEFT", "HEIGHT", "WIDTH"}) QVERIFY2(StoredGeometry(word).isEmpty(), word);
}

void tst_frmMain::withoutATrayTheWindowIsNeverHidden()
{
    frmMain::SetTrayAvailability([] { return false; });
    m_window->Load(QString());
    QVERIFY(!m_window->TrayIconShown());
    m_window->showMinimized();
    QCoreApplication::processEvents();
    QVERIFY(!m_window->isHidden());
    QVERIFY(!m_window->findChild<QSystemTrayIcon*>());
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
