// Connecting the main window to a real pyftpdlib on loopback: site manager
// values in and out, the log of the login, disconnection, reconnection; and
// over TLS to vsftpd with a self-signed certificate: the certificate question
// answered each way, what is remembered, and the warning when a server shows
// another certificate than the trusted one.
#include "FtpTestServers.h"
#include "TestFiles.h"
#include "WindowTestFixture.h"
#include "app/ConnectionRules.h"
#include "app/frmMain.h"
#include "ftp/Certificates.h"
#include "ftp/FtpComponent.h"
#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "ui/FilePane.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QToolBar>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTest>

#include <memory>

class tst_frmMainConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void cancelledSiteManagerChangesNothing();
    void wrongPasswordAndBadPortAreLoggedErrors();
    void serverGoingAwayIsReported();
    void trustAlwaysIsRememberedForTheServer();
    void trustOnceConnectsAndCancelRefuses();
    void anotherCertificateThanTheTrustedOneIsAWarning();

private:
    // A site manager that answers like a user who picked the test server.
    void PickServer(bool bAnonymous = false, const QString& password = QString(), bool bTls = false)
    {
        m_window->SetSiteManager([=, this](ConnectionRequest& request) {
            ++m_nSiteManagerShown;
            m_seenAddress = request.sServer;
            request.sServer = QStringLiteral(" 127.0.0.1 ").trimmed();
            request.sPort = QString::number(m_server->port());
            request.sUserName = m_server->user();
            request.sPassword = password.isEmpty() ? m_server->password() : password;
            request.bAnonymous = bAnonymous;
            request.bUseTls = bTls;
            return true;
        });
    }
    // vsftpd requiring TLS, with a self-signed certificate, in place of
    // pyftpdlib; false (the test skipped or failed) when it is not there.
    bool PickTlsServer()
    {
        VsftpdServer::Options options;
        options.bTls = true;
        m_server = std::make_unique<VsftpdServer>(options);
        if (!m_server->Start()) {
            QTest::qSkip(qPrintable(m_server->skipReason()), __FILE__, __LINE__);
            return false;
        }
        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(m_server->certificateFile());
        if (certificates.isEmpty() || !WriteTestFile(m_server->root() + QStringLiteral("/welcome.txt"), QByteArray())) {
            QTest::qFail("the TLS server is not ready", __FILE__, __LINE__);
            return false;
        }
        m_sFingerprint = Certificates::Fingerprint(certificates.first());
        PickServer(false, QString(), true);
        return true;
    }
    QString Stored() const { return ConnectionRules::TrustedCertificate(CRegister(*m_store), m_server->host(), m_server->port()); }
    void Disconnect()
    {
        m_prompter->AnswerMessage(PromptResult::Ok);  // "Disconnected from FTP server ..."
        m_window->DisconnectFromServer();
    }
    QStringList Log() const
    {
        QStringList lines;
        const auto* list = m_window->findChild<QListWidget*>(QStringLiteral("lstConnectionInfo"));
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        return lines;
    }
    QString Panel1() const { return m_window->findChild<QLabel*>(QStringLiteral("stbProgressPanel1"))->text(); }
    QComboBox* RemotePath() const { return m_window->findChild<QComboBox*>(QStringLiteral("cboRemotePath")); }
    long State() const { return m_window->Ftp().state(); }

    std::unique_ptr<WindowTestFixture> m_fixture;
    TestEnvironment* m_env = nullptr;           // parts of m_fixture
    MemoryRegistryBackend* m_store = nullptr;
    ScriptedPrompter* m_prompter = nullptr;
    std::unique_ptr<FtpTestServer> m_server;
    std::unique_ptr<frmMain> m_window;
    int m_nSiteManagerShown = 0;
    QString m_seenAddress;
    QString m_sFingerprint;  // of the TLS server's certificate
};

void tst_frmMainConnection::init()
{
    m_fixture = std::make_unique<WindowTestFixture>();
    m_env = &m_fixture->env;
    m_store = &m_fixture->store;
    m_prompter = &m_fixture->prompter;
    PyFtpdServer::Options options;
    options.bAnonymous = true;
    m_server = std::make_unique<PyFtpdServer>(options);
    if (!m_server->Start()) QSKIP(qPrintable(m_server->skipReason()));
    QVERIFY(WriteTestFile(m_server->root() + QStringLiteral("/welcome.txt"), QByteArray()));
    m_window = std::make_unique<frmMain>();
    m_window->Load(QString());
    m_nSiteManagerShown = 0;
}

void tst_frmMainConnection::cleanup()
{
    if (m_window) m_window->close();  // shutting down asks nothing
    m_window.reset();
    OptionsForm::Unload();
    m_server.reset();
    QVERIFY2(!m_prompter || m_prompter->ScriptDone(), "a scripted answer was not used");
    m_fixture.reset();
    m_env = nullptr;
    m_store = nullptr;
    m_prompter = nullptr;
}

void tst_frmMainConnection::cancelledSiteManagerChangesNothing()
{
    m_window->SetSiteManager([this](ConnectionRequest& request) {
        ++m_nSiteManagerShown;
        request.sServer = QStringLiteral("typed but cancelled");
        return false;
    });
    m_window->ConnectThroughSiteManager();
    QCOMPARE(m_nSiteManagerShown, 1);
    QVERIFY(m_window->Ftp().serverAddress().isEmpty());
    QCOMPARE(State(), long(FtpComponent::kStateNotConnected));
    QCOMPARE(RemotePath()->property("Tag").toString(), QStringLiteral("0"));
}

void tst_frmMainConnection::wrongPasswordAndBadPortAreLoggedErrors()
{
    PickServer(false, QStringLiteral("wrong"));
    m_prompter->AnswerInput(std::nullopt);  // the server asks again for the password: cancelled
    m_window->ConnectThroughSiteManager();
    QCOMPARE(m_prompter->shown().first().sText, QStringLiteral("Please enter the correct password"));
    QCOMPARE(State(), long(FtpComponent::kStateNotConnected));
    QVERIFY2(!Log().filter(QRegularExpression(QStringLiteral("^Error: Login failed: 530"))).isEmpty(),
             qPrintable(Log().join(QLatin1Char('\n'))));
    QVERIFY(Panel1().isEmpty());

    m_window->SetSiteManager([](ConnectionRequest& request) {
        request.sServer = QStringLiteral("127.0.0.1");
        request.sPort = QStringLiteral("70000");
        request.bAnonymous = true;
        return true;
    });
    m_window->ConnectThroughSiteManager();
    QVERIFY(!Log().filter(QStringLiteral("Error: The port \"70000\"")).isEmpty());
    QCOMPARE(State(), long(FtpComponent::kStateNotConnected));
}

void tst_frmMainConnection::serverGoingAwayIsReported()
{
    PickServer();
    m_window->ConnectThroughSiteManager();
    QCOMPARE(State(), long(FtpComponent::kStateConnected));
    m_prompter->AnswerMessage(PromptResult::Ok);
    m_server->Stop();
    QDeadlineTimer wait(10'000);
    while (m_prompter->shown().isEmpty() && !wait.hasExpired()) QTest::qWait(50);
    QCOMPARE(m_prompter->shown().size(), 1);
    QCOMPARE(m_prompter->shown().first().sText, QStringLiteral("Disconnected from FTP server 127.0.0.1"));
    QCOMPARE(State(), long(FtpComponent::kStateNotConnected));
}

void tst_frmMainConnection::trustAlwaysIsRememberedForTheServer()
{
    if (!PickTlsServer()) return;
    m_prompter->AnswerMessage(PromptResult::Yes);
    m_window->ConnectThroughSiteManager();
    QCOMPARE(State(), long(FtpComponent::kStateConnected));
    const ScriptedPrompter::Shown question = m_prompter->shown().first();
    QCOMPARE(question.sTitle, QStringLiteral("Kelvo [Certificate]"));
    QCOMPARE(question.buttons, PromptButtons::YesNoCancel);
    QVERIFY(question.defaultButton == PromptResult::Cancel);
    QVERIFY2(question.sText.contains(QStringLiteral("SHA-256 fingerprint: ") + m_sFingerprint), qPrintable(question.sText));
    QVERIFY(question.sText.contains(QStringLiteral("Subject: 127.0.0.1")));
    QVERIFY(question.sText.contains(QStringLiteral("Valid: ")));
    QCOMPARE(Stored(), m_sFingerprint);
    QVERIFY2(!Log().filter(QStringLiteral("The connection is encrypted (TLS")).isEmpty(), qPrintable(Log().join(QLatin1Char('\n'))));
    const auto* remote = m_window->findChild<FilePane*>(QStringLiteral("lstRemoteFileList"));
    QCOMPARE(remote->Count(), 1);
    QCOMPARE(remote->Text(0), QStringLiteral("welcome.txt"));

    // The next connection to the server asks nothing.
    Disconnect();
    m_window->ConnectThroughSiteManager();
    QCOMPARE(State(), long(FtpComponent::kStateConnected));
    QCOMPARE(m_prompter->shown().size(), 2);  // the question and the disconnection only
}

void tst_frmMainConnection::trustOnceConnectsAndCancelRefuses()
{
    if (!PickTlsServer()) return;
    m_prompter->AnswerMessage(PromptResult::No);
    m_window->ConnectThroughSiteManager();
    QCOMPARE(State(), long(FtpComponent::kStateConnected));
    QVERIFY(Stored().isEmpty());
    Disconnect();

    m_prompter->AnswerMessage(PromptResult::Cancel);
    m_window->ConnectThroughSiteManager();
    QCOMPARE(State(), long(FtpComponent::kStateNotConnected));
    QVERIFY(Stored().isEmpty());
    const QStringList errors = Log().filter(QStringLiteral("Error: The server's certificate is not trusted"));
    QVERIFY2(!errors.isEmpty(), qPrintable(Log().join(QLatin1Char('\n'))));
    QVERIFY(errors.first().contains(m_sFingerprint));
    QCOMPARE(m_prompter->shown().size(), 3);
}

void tst_frmMainConnection::anotherCertificateThanTheTrustedOneIsAWarning()
{
    if (!PickTlsServer()) return;
    const QString old = QStringLiteral("AB:").repeated(31) + QStringLiteral("CD");
    QVERIFY(ConnectionRules::TrustCertificate(CRegister(*m_store), m_server->host(), m_server->port(), old));
    m_prompter->AnswerMessage(PromptResult::Yes);
    m_window->ConnectThroughSiteManager();
    QCOMPARE(State(), long(FtpComponent::kStateConnected));
    QVERIFY(m_prompter->shown().first().sText.startsWith(QStringLiteral("WARNING: this server shows another certificate")));
    QCOMPARE(Stored(), m_sFingerprint);
}

QTEST_MAIN(tst_frmMainConnection)
#include "tst_frmMainConnection.moc"
