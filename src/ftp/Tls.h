#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>

#include <optional>

class ControlChannel;
class FtpEvents;
class QSslError;
class QSslSocket;
class QTcpSocket;
struct FtpSettings;

// TLS for one session: AUTH TLS and the handshake on the control connection,
// the question about a certificate nobody vouches for, and the handshake on
// each data connection, which must show the control connection's certificate.
class FtpTls {
public:
    FtpTls(ControlChannel& control, FtpEvents& events, const FtpSettings& settings);

    // A new connection: no certificate seen or accepted yet.
    void reset();
    void startOnControl(const QString& sHost);
    // Once the server has answered 1xx. bTlsClosed is set when the server
    // ends the TLS stream (close_notify): that is the end of the data.
    void encryptData(QTcpSocket* pData, bool& bTlsClosed);
    // The fingerprint the user accepted for this connection; empty when none.
    QString acceptedCertificate() const { return m_sAcceptedCertificate; }

private:
    bool acceptCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors, const QString& sHost);
    void waitEncrypted(QSslSocket& socket, int nTimeoutMs, const QString& sWhat);

    ControlChannel& m_control;
    FtpEvents& m_events;
    const FtpSettings& m_settings;
    // What the control connection showed; nothing before a handshake, so
    // that a plain connection never loads the TLS library.
    std::optional<QSslCertificate> m_serverCertificate;
    QString m_sAcceptedCertificate;       // fingerprint accepted by the user for this connection
    QString m_sRefusal;                   // why the last handshake's certificate was refused
    int m_nQueries = 0;                   // a question restarts the handshake's timeout
};
