// The About window, the connection description and the page opening of the
// Help menu, with the network state and the desktop's opener replaced.
#include "MemoryRegistryBackend.h"
#include "ScriptedPrompter.h"
#include "TestEnvironment.h"
#include "app/InternetConnection.h"
#include "app/frmAbout.h"
#include "app/frmMain.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <memory>

using Flag = ConnectionState::Flag;

class tst_frmAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void descriptionsFollowTheFlags_data();
    void descriptionsFollowTheFlags();
    void pagesOpenOnlyWithAConnection();
    void helpMenuOpensTheBundledGuide();
    void textsAndTip();
    void escapeReleasedCloses();
    void escapeEndsTheModalWindow();
    void contactOpensMailOnlyWithAConnection();
    void geometryIsStoredAndRestored();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<MemoryRegistryBackend> m_store;
    std::unique_ptr<ScopedRegistryBackend> m_installed;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<ScopedPrompter> m_prompterInstalled;
    ConnectionState m_state;
    QList<QUrl> m_opened;
};

void tst_frmAbout::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_store = std::make_unique<MemoryRegistryBackend>();
    m_installed = std::make_unique<ScopedRegistryBackend>(*m_store);
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_prompterInstalled = std::make_unique<ScopedPrompter>(*m_prompter);
    m_state = ConnectionState{};
    m_opened.clear();
    InternetConnection::SetConnectionStateProvider([this] { return m_state; });
    InternetConnection::SetUrlOpener([this](const QUrl& url) {
        m_opened << url;
        return true;
    });
}

void tst_frmAbout::cleanup()
{
    InternetConnection::SetConnectionStateProvider(nullptr);
    InternetConnection::SetUrlOpener(nullptr);
    OptionsForm::Unload();
    QVERIFY2(m_prompter->ScriptDone(), "a scripted answer was not used");
    m_prompterInstalled.reset();
    m_prompter.reset();
    m_installed.reset();
    m_store.reset();
    m_env.reset();
}

void tst_frmAbout::descriptionsFollowTheFlags_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << false << unsigned(Flag::kLan | Flag::kConfigured) << "No internet connection.";
    QTest::newRow("LAN") << true << unsigned(Flag::kConfigured | Flag::kLan)
                         << "Network connection configured.\nConnect via a LAN..";  // the pieces run together as they are
    QTest::newRow("LAN, proxy") << true << unsigned(Flag::kLan | Flag::kProxy) << "Connect via a LAN., and uses a proxy server.";
    QTest::newRow("no flags") << true << 0u << ".";
    QTest::newRow("configured only") << true << unsigned(Flag::kConfigured) << "Network connection configured.\n.";
    QTest::newRow("proxy without LAN") << true << unsigned(Flag::kProxy) << ", and uses a proxy server.";
    QTest::newRow("every flag") << true << 127u
                                << "Network connection configured.\nConnect via a LAN., and uses a proxy server."
                                   "Connect via a Modem.Connection offline.Modem is busy with a non-Internet "
                                   "connection.Remote Access Services are installed.";
    QTest::newRow("modem and the rest") << true
                                        << unsigned(Flag::kModem | Flag::kOffline | Flag::kModemBusy
                                                    | Flag::kRemoteAccessInstalled)
                                        << ".Connect via a Modem.Connection offline.Modem is busy with a non-Internet "
                                           "connection.Remote Access Services are installed.";
}

void tst_frmAbout::descriptionsFollowTheFlags()
{
    QFETCH(bool, connected);
    QFETCH(unsigned, flags);
    QFETCH(QString, text);
    QCOMPARE(InternetConnection::ConnectionDescription(ConnectionState{connected, flags}), text);
}

void tst_frmAbout::pagesOpenOnlyWithAConnection()
{
    const QUrl page(QStringLiteral("https://kelvo.example/tutorial.html"));
    m_prompter->AnswerMessage(PromptResult::Ok);
    QVERIFY(!InternetConnection::OpenPage(page));
    QCOMPARE(m_prompter->shown().size(), 1);
    QCOMPARE(m_prompter->shown()[0].sText, QStringLiteral("No internet connection."));
    QCOMPARE(m_prompter->shown()[0].buttons, PromptButtons::Ok);
    QVERIFY(m_opened.isEmpty());

    m_state = ConnectionState{true, Flag::kLan};
    QVERIFY(InternetConnection::OpenPage(page));
    QCOMPARE(m_opened, QList<QUrl>{page});

    // A file of the program's own needs no connection.
    m_state = ConnectionState{};
    const QUrl local = QUrl::fromLocalFile(m_env->path(QStringLiteral("guide.html")));
    QVERIFY(InternetConnection::OpenPage(local));
    QCOMPARE(m_opened.last(), local);
}

void tst_frmAbout::helpMenuOpensTheBundledGuide()
{
    frmMain window;
    window.findChild<QAction*>(QStringLiteral("mnuOnlineHelp"))->trigger();
    window.findChild<QAction*>(QStringLiteral("mnuVisitOurSite"))->trigger();
    QCOMPARE(m_opened.size(), 2);
    QVERIFY(m_opened[0].isLocalFile() && m_opened[0].path().endsWith(QStringLiteral("/docs/tutorial.html")));
    QVERIFY(m_opened[1].isLocalFile() && m_opened[1].path().endsWith(QStringLiteral("/docs/index.html")));
    window.close();
}

void tst_frmAbout::textsAndTip()
{
    frmAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("Kelvo - About Us"));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
             QStringLiteral("Kelvo - The Easy Way to Transfer Files.\r\nFile Transfer Client for Windows 9x/NT/2000/ME\r\n"
                            "Version 4.0"));
    QVERIFY(about.findChild<QGroupBox*>(QStringLiteral("Frame2"))->isAncestorOf(
        about.findChild<QLabel*>(QStringLiteral("lblWarning"))));
    auto* contact = about.findChild<QLabel*>(QStringLiteral("lblContactInfo"));
    QCOMPARE(contact->text(), frmAbout::ContactAddress());
    QVERIFY(frmAbout::ContactAddress().contains(QLatin1Char('@')));
    QCOMPARE(contact->toolTip(), QStringLiteral("Click here to  email us"));
}

void tst_frmAbout::escapeReleasedCloses()
{
    frmAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(&about, Qt::Key_A);
    QTest::keyClick(&about, Qt::Key_Return);
    QVERIFY(about.isVisible());
    QTest::keyPress(&about, Qt::Key_Escape);
    QVERIFY2(about.isVisible(), "the press alone does not close it");
    QTest::keyRelease(&about, Qt::Key_Escape);
    QVERIFY(!about.isVisible());

    // With the focus on the contact label, Escape reaches the window through it.
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    auto* contact = about.findChild<QLabel*>(QStringLiteral("lblContactInfo"));
    contact->setFocus();
    QTest::keyClick(contact, Qt::Key_Escape);
    QVERIFY(!about.isVisible());
}

void tst_frmAbout::escapeEndsTheModalWindow()
{
    // ShowModal returns once Escape is released in the window, and the window
    // is gone: its geometry has been stored on the way out.
    bool bSent = false;
    QTimer::singleShot(0, this, [&bSent] {
        auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        if (!about) return;
        QTest::keyClick(about, Qt::Key_Escape);
        bSent = true;
    });
    QTimer::singleShot(5000, this, [] {
        if (QWidget* stuck = QApplication::activeModalWidget()) stuck->close();
    });
    frmAbout::ShowModal(nullptr);
    QVERIFY2(bSent, "the modal window did not come up");
    for (QWidget* top : QApplication::topLevelWidgets()) QVERIFY(!qobject_cast<frmAbout*>(top));
    const QString section = QLatin1String(Settings::kSection).mid(1);
    QVERIFY(m_store->has(kHKEY_LOCAL_MACHINE, section, Settings::GeometryName(QStringLiteral("ABOUT"), "WIDTH")));
}

void tst_frmAbout::contactOpensMailOnlyWithAConnection()
{
    frmAbout about;
    about.show();
    auto* contact = about.findChild<QLabel*>(QStringLiteral("lblContactInfo"));
    m_prompter->AnswerMessage(PromptResult::Ok);
    QTest::mouseClick(contact, Qt::LeftButton);
    QCOMPARE(m_prompter->shown().size(), 1);
    QCOMPARE(m_prompter->shown()[0].sTitle, QStringLiteral("Kelvo"));
    QCOMPARE(m_prompter->shown()[0].sText, QStringLiteral("No internet connection."));
    QVERIFY(m_opened.isEmpty());

    m_state = ConnectionState{true, Flag::kLan};
    QTest::mouseClick(contact, Qt::LeftButton);
    contact->setFocus();
    QTest::keyClick(contact, Qt::Key_Space);  // the keyboard reaches it too
    const QUrl mail(QStringLiteral("mailto:") + frmAbout::ContactAddress());
    QCOMPARE(m_opened, (QList<QUrl>{mail, mail}));
    QCOMPARE(m_prompter->shown().size(), 1);  // no message when the mail program opens
}

void tst_frmAbout::geometryIsStoredAndRestored()
{
    const QString section = QLatin1String(Settings::kSection).mid(1);
    const auto stored = [&](const char* word) {
        return m_store->has(kHKEY_LOCAL_MACHINE, section, Settings::GeometryName(QStringLiteral("ABOUT"), word));
    };
    {
        // A minimised window stores nothing.
        frmAbout about;
        about.showMinimized();
        QVERIFY(about.isMinimized());
    }
    QVERIFY(!stored("TOP") && !stored("WIDTH"));
    {
        frmAbout about;
        about.move(40, 60);
        about.resize(500, 320);
    }
    for (const char* word : {"TOP", "LEFT", "HEIGHT", "WIDTH"}) QVERIFY2(stored(word), word);
    frmAbout again;
    QCOMPARE(again.size(), QSize(500, 320));
    QCOMPARE(again.pos(), QPoint(40, 60));
}

QTEST_MAIN(tst_frmAbout)
#include "tst_frmAbout.moc"
