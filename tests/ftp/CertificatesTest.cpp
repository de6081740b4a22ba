// Fingerprints as users type or paste them, and the description a user
// decides on.
#include "ftp/Certificates.h"

#include <QSslCertificate>

#include <gtest/gtest.h>

namespace {

const QString kCanonical = QStringLiteral(
    "2E:94:0B:9F:3F:1E:10:71:F8:5B:74:C6:C2:DD:74:40:6C:DC:57:73:95:28:00:71:14:D1:53:CF:8A:33:BB:FF");

}  // namespace

TEST(CertificatesTest, FingerprintsInEveryUsualFormNormalizeToOneAndOthersAreRefused)
{
    const QString bare = QString(kCanonical).remove(QLatin1Char(':'));
    for (const QString& form : {kCanonical, kCanonical.toLower(), bare, bare.toLower(), "SHA256:" + kCanonical, "sha-256:" + bare,
                                "  " + QString(kCanonical).replace(QLatin1Char(':'), QLatin1Char(' '))})
        EXPECT_EQ(Certificates::NormalizeFingerprint(form), kCanonical) << form.toStdString();
    // The wrong length, or other characters (an Arabic-Indic zero is a digit, but not hex).
    for (const QString& form : {QString(), bare.left(63), bare + QLatin1Char('0'), bare.left(62) + QStringLiteral("0g"),
                                bare.left(63) + QChar(0x0660), "SHA1:" + bare, bare.left(40)})
        EXPECT_TRUE(Certificates::NormalizeFingerprint(form).isEmpty()) << form.toStdString();
}

TEST(CertificatesTest, DescriptionNamesServerFingerprintAndProblems)
{
    const QDateTime from(QDate(2026, 1, 2), QTime(3, 4), Qt::UTC);
    const CertificateInfo info{"::1", 2121, "ftp.example.test", "ftp.example.test", from, from.addYears(1), kCanonical,
                               {"The certificate is self-signed, and untrusted"}};
    const QString text = Certificates::DescribeForUser(info);
    EXPECT_TRUE(text.contains(QLatin1String("Server: [::1]:2121"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Valid: 2026-01-02 03:04 UTC to 2027-01-02 03:04 UTC"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("SHA-256 fingerprint: ") + kCanonical));
    EXPECT_TRUE(text.contains(QLatin1String("Problems: The certificate is self-signed")));
    EXPECT_TRUE(Certificates::Fingerprint(QSslCertificate()).isEmpty());
}
