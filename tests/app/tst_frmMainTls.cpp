// The window connecting over TLS to vsftpd with a self-signed certificate:
// the certificate question answered each way, what is remembered, and the
// warning when a server shows another certificate than the trusted one.
#include "FtpTestServers.h"
#include "WindowTestFixture.h"
#include "app/ConnectionRules.h"
#include "app/frmMain.h"
#include "ftp/Certificates.h"
#include "ftp/FtpComponent.h"
#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "ui/FilePane.h"

#include <QListWidget>
#include <QSslCertificate>
#include <QTest>

#include <memory>

class tst_frmMainTls : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void trustAlwaysIsRememberedForTheServer();
    void trustOnceConnectsAndCancelRefuses();
    void anotherCertificateThanTheTrustedOneIsAWarning();

private:
    void PickTlsServer()
    {
        m_window->SetSiteManager([this](ConnectionRequest& request) {
            request.sServer = m_server->host();
            request.sPort = QString::number(m_server->port());
            request.sUserName = m_server->user();
            request.sPassword = m_server->password();
            request.bAnonymous = false;
            request.bUseTls = true;
            return true;
        });
    }
    QStringList Log() const
    {
        QStringList lines;
        const auto* list = m_window->findChild<QListWidget*>(QStringLiteral("lstConnectionInfo"));
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        return lines;
    }
    QString Stored() const { return ConnectionRules::TrustedCertificate(CRegister(*m_store), m_server->host(), m_server->port()); }
    long State() const { return m_window->Ftp().state(); }
    void Disconnect()
    {
        m_prompter->AnswerMessage(PromptResult::Ok);  // "Disconnected from FTP server ..."
        m_window->DisconnectFromServer();
    }

    std::unique_ptr<WindowTestFixture> m_fixture;
    TestEnvironment* m_env = nullptr;           // parts of m_fixture
    MemoryRegistryBackend* m_store = nullptr;
    ScriptedPrompter* m_prompter = nullptr;
    std::unique_ptr<VsftpdServer> m_server;
    std::unique_ptr<frmMain> m_window;
    QString m_sFingerprint;
};

void tst_frmMainTls::init()
{
    m_fixture = std::make_unique<WindowTestFixture>();
    m_env = &m_fixture->env;
    m_store = &m_fixture->store;
    m_prompter = &m_fixture->prompter;
    VsftpdServer::Options options;
    options.bTls = true;
    m_server = std::make_unique<VsftpdServer>(options);
    if (!m_server->Start()) QSKIP(qPrintable(m_server->skipReason()));
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(m_server->certificateFile());
    QVERIFY(!certificates.isEmpty());
    m_sFingerprint = Certificates::Fingerprint(certificates.first());
    QFile welcome(m_server->root() + QStringLiteral("/welcome.txt"));
    QVERIFY(welcome.open(QIODevice::WriteOnly));
    welcome.close();
    m_window = std::make_unique<frmMain>();
    m_window->Load(QString());
    PickTlsServer();
}

void tst_frmMainTls::cleanup()
{
    if (m_window) m_window->close();
    m_window.reset();
    OptionsForm::Unload();
    m_server.reset();
    QVERIFY2(!m_prompter || m_prompter->ScriptDone(), "a scripted answer was not used");
    m_fixture.reset();
    m_env = nullptr;
    m_store = nullptr;
    m_prompter = nullptr;
}

void tst_frmMainTls::trustAlwaysIsRememberedForTheServer()
{
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

void tst_frmMainTls::trustOnceConnectsAndCancelRefuses()
{
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

void tst_frmMainTls::anotherCertificateThanTheTrustedOneIsAWarning()
{
    const QString old = QStringLiteral("AB:").repeated(31) + QStringLiteral("CD");
    QVERIFY(ConnectionRules::TrustCertificate(CRegister(*m_store), m_server->host(), m_server->port(), old));
    m_prompter->AnswerMessage(PromptResult::Yes);
    m_window->ConnectThroughSiteManager();
    QCOMPARE(State(), long(FtpComponent::kStateConnected));
    QVERIFY(m_prompter->shown().first().sText.startsWith(QStringLiteral("WARNING: this server shows another certificate")));
    QCOMPARE(Stored(), m_sFingerprint);
}

QTEST_MAIN(tst_frmMainTls)
#include "tst_frmMainTls.moc"
