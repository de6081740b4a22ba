#include "ftp/Certificates.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslError>

namespace Certificates {

namespace {

QString Names(const QSslCertificate& certificate, bool bIssuer)
{
    // The common name and organisation are what users recognise; the rest
    // of a distinguished name rarely helps.
    const auto get = [&](QSslCertificate::SubjectInfo field) {
        return (bIssuer ? certificate.issuerInfo(field) : certificate.subjectInfo(field)).join(QStringLiteral(", "));
    };
    QStringList parts;
    for (const auto field : {QSslCertificate::CommonName, QSslCertificate::Organization, QSslCertificate::CountryName}) {
        const QString value = get(field);
        if (!value.isEmpty()) parts << value;
    }
    return parts.isEmpty() ? QStringLiteral("(none)") : parts.join(QStringLiteral(", "));
}

}  // namespace

QString Fingerprint(const QSslCertificate& certificate)
{
    if (certificate.isNull()) return QString();
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

CertificateInfo Describe(const QSslCertificate& certificate, const QList<QSslError>& errors, const QString& sHost,
                         int nPort)
{
    CertificateInfo info;
    info.sHost = sHost;
    info.nPort = nPort;
    if (!certificate.isNull()) {
        info.sSubject = Names(certificate, false);
        info.sIssuer = Names(certificate, true);
        info.validFrom = certificate.effectiveDate();
        info.validUntil = certificate.expiryDate();
        info.sFingerprint = Fingerprint(certificate);
    }
    for (const QSslError& error : errors)
        if (!info.problems.contains(error.errorString())) info.problems << error.errorString();
    return info;
}

QString DescribeForUser(const CertificateInfo& info)
{
    const auto date = [](const QDateTime& time) {
        return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")) : QStringLiteral("?");
    };
    const QString server = info.sHost.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2").arg(info.sHost).arg(info.nPort)
                                                                 : QStringLiteral("%1:%2").arg(info.sHost).arg(info.nPort);
    QString text = QStringLiteral("Server: %1\nSubject: %2\nIssuer: %3\nValid: %4 to %5\nSHA-256 fingerprint: %6")
                       .arg(server, info.sSubject, info.sIssuer, date(info.validFrom), date(info.validUntil),
                            info.sFingerprint.isEmpty() ? QStringLiteral("(no certificate)") : info.sFingerprint);
    if (!info.problems.isEmpty()) text += QStringLiteral("\nProblems: ") + info.problems.join(QStringLiteral("; "));
    return text;
}

}  // namespace Certificates
