#pragma once

#include "ftp/Fingerprint.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QSslCertificate;
class QSslError;

// What a user needs to decide about a server certificate that the system's
// certificate store does not vouch for.
struct CertificateInfo {
    QString sHost;        // as the connection named it
    int nPort = 0;
    QString sSubject, sIssuer;
    QDateTime validFrom, validUntil;
    QString sFingerprint;  // SHA-256, canonical (see NormalizeFingerprint)
    QStringList problems;  // why the system's check refused it, in words
};

namespace Certificates {

// The SHA-256 fingerprint of the certificate's DER form, as 32 upper-case
// hex pairs joined by ':'; empty for a null certificate.
QString Fingerprint(const QSslCertificate& certificate);

CertificateInfo Describe(const QSslCertificate& certificate, const QList<QSslError>& errors, const QString& sHost,
                         int nPort);

// Several lines for a message box or a terminal: server, subject, issuer,
// validity, fingerprint and the problems found.
QString DescribeForUser(const CertificateInfo& info);

}  // namespace Certificates
