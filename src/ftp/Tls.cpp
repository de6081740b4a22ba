#include "ftp/Tls.h"

#include "ftp/ControlChannel.h"
#include "ftp/FtpEvents.h"

#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>

using namespace FtpErrorNumber;

namespace {

QString ProtocolName(QSsl::SslProtocol protocol)
{
    switch (protocol) {
    case QSsl::TlsV1_2: return QStringLiteral("TLS 1.2");
    case QSsl::TlsV1_3: return QStringLiteral("TLS 1.3");
    default: return QStringLiteral("TLS");
    }
}

}  // namespace

FtpTls::FtpTls(ControlChannel& control, FtpEvents& events, const FtpSettings& settings)
    : m_control(control), m_events(events), m_settings(settings)
{
}

void FtpTls::reset()
{
    m_sAcceptedCertificate.clear();
    m_serverCertificate.reset();
}

void FtpTls::startOnControl(const QString& sHost)
{
    const FtpReply reply = m_control.command(QStringLiteral("AUTH TLS"));
    if (reply.code != 234)
        throw FtpError{kTls, QStringLiteral("The server does not offer TLS: %1 %2").arg(reply.code).arg(reply.text())};
    auto* control = static_cast<QSslSocket*>(&m_control.socket());
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // The session is kept so that data connections can resume it: many
    // servers refuse data connections that do not.
    config.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    control->setSslConfiguration(config);
    control->setPeerVerifyName(sHost);
    m_sRefusal.clear();
    QObject::connect(control, &QSslSocket::sslErrors, &m_events, [this, control, sHost](const QList<QSslError>& errors) {
        if (acceptCertificate(control->peerCertificate(), errors, sHost)) control->ignoreSslErrors();
    });
    control->startClientEncryption();
    waitEncrypted(*control, m_settings.nConnectTimeoutMs, QStringLiteral("control"));
    m_control.setEncrypted();
    m_serverCertificate = control->peerCertificate();
    const QSslCipher cipher = control->sessionCipher();
    m_control.log(QStringLiteral("The connection is encrypted (%1, %2).").arg(ProtocolName(control->sessionProtocol()), cipher.name()));
}

bool FtpTls::acceptCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors, const QString& sHost)
{
    const QString fingerprint = Certificates::Fingerprint(certificate);
    if (!fingerprint.isEmpty()
        && (fingerprint == m_sAcceptedCertificate || m_settings.trustedCertificates.contains(fingerprint))) {
        m_control.log(QStringLiteral("The server's certificate is one trusted for this server (SHA-256 %1).").arg(fingerprint));
        return true;
    }
    const CertificateInfo info = Certificates::Describe(certificate, errors, sHost, m_settings.nPort);
    bool bTrust = false;
    if (!fingerprint.isEmpty()) {
        ++m_nQueries;
        Q_EMIT m_events.certificateQuery(info, &bTrust);
    }
    if (bTrust) {
        m_sAcceptedCertificate = fingerprint;
        m_control.log(QStringLiteral("The server's certificate was accepted (SHA-256 %1).").arg(fingerprint));
        return true;
    }
    m_sRefusal = QStringLiteral("The server's certificate is not trusted (%1). SHA-256 fingerprint: %2")
                     .arg(info.problems.join(QStringLiteral("; ")), fingerprint.isEmpty() ? QStringLiteral("none") : fingerprint);
    return false;
}

void FtpTls::waitEncrypted(QSslSocket& socket, int nTimeoutMs, const QString& sWhat)
{
    int queries = m_nQueries;
    m_control.wait(nTimeoutMs).until(
        [&] {
            if (socket.isEncrypted()) return Wait::Done;
            // The user took their time over the certificate: that is no
            // reason to give up on the server.
            if (queries != m_nQueries) {
                queries = m_nQueries;
                return Wait::Moved;
            }
            if (socket.state() != QAbstractSocket::ConnectedState) {
                if (!m_sRefusal.isEmpty()) throw FtpError{kTls, m_sRefusal};
                throw FtpError{kTls, QStringLiteral("TLS on the %1 connection failed: %2").arg(sWhat, socket.errorString())};
            }
            return Wait::Idle;
        },
        [&](int nSliceMs) { socket.waitForEncrypted(nSliceMs); },
        [&] { throw FtpError{kTimeout, QStringLiteral("Timed out setting up TLS on the %1 connection.").arg(sWhat)}; });
}

void FtpTls::encryptData(QTcpSocket* pData, bool& bTlsClosed)
{
    auto* data = qobject_cast<QSslSocket*>(pData);
    if (!data || !m_control.encrypted()) throw FtpError{kTls, QStringLiteral("The data connection cannot be encrypted.")};
    // The control connection's configuration carries its session, which
    // the data connection resumes; the certificate it shows must be the
    // one the control connection showed.
    QSslConfiguration config = static_cast<QSslSocket&>(m_control.socket()).sslConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    data->setSslConfiguration(config);
    // A server that ends the data with close_notify may wait for the
    // connection to close before it confirms the transfer: the end of the
    // TLS stream is the end of the data.
    QObject::connect(data, &QAbstractSocket::errorOccurred, data, [&bTlsClosed](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError) bTlsClosed = true;
    });
    data->startClientEncryption();
    m_sRefusal.clear();
    waitEncrypted(*data, m_settings.nConnectTimeoutMs, QStringLiteral("data"));
    if (!m_serverCertificate || data->peerCertificate() != *m_serverCertificate) {
        data->abort();
        throw FtpError{kTls, QStringLiteral("The data connection showed another certificate than the control connection.")};
    }
}
