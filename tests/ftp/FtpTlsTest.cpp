// Explicit FTPS against vsftpd with a certificate the fixture makes: the
// certificate question and its answers, listings and transfers both ways in
// passive and active mode with the server requiring the data connections to
// resume the control connection's TLS session, and servers that refuse TLS.
#include "ErrorOf.h"
#include "FtpTestServers.h"
#include "PointAtServer.h"
#include "StartOrSkip.h"
#include "TestFiles.h"
#include "ftp/FtpComponent.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace FtpErrorNumber;

QString FingerprintOfFile(const QString& sPem)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(sPem);
    return certificates.isEmpty() ? QString() : Certificates::Fingerprint(certificates.first());
}

QByteArray RandomBytes(int nSize, quint32 nSeed)
{
    QRandomGenerator random(nSeed);
    QByteArray data(nSize, Qt::Uninitialized);
    for (char& c : data) c = static_cast<char>(random.generate());
    return data;
}

// A component for the server, answering the certificate question with
// bTrust and recording what it was shown, and the log.
struct TlsClient {
    FtpComponent ftp;
    QList<CertificateInfo> asked;
    QStringList log;
    bool bTrust = true;

    explicit TlsClient(const FtpTestServer& server, bool bTls = true)
    {
        PointAtServer(ftp, server);
        ftp.setUseTls(bTls);
        QObject::connect(&ftp, &FtpComponent::certificateQuery, [this](const CertificateInfo& info, bool& bAnswer) {
            asked << info;
            bAnswer = bTrust;
        });
        QObject::connect(&ftp, &FtpComponent::logText, [this](const QString& sText, long) { log << sText; });
    }
    // A call that must succeed; when it fails, the error and the log say why.
    testing::AssertionResult Succeeds(const std::function<void()>& call)
    {
        const FtpError error = ErrorOf(call);
        if (error.number == 0) return testing::AssertionSuccess();
        return testing::AssertionFailure() << error.description.toStdString() << "\n"
                                           << log.join(QLatin1Char('\n')).toStdString();
    }
    bool Logged(const QString& sPart) const
    {
        return std::any_of(log.begin(), log.end(), [&](const QString& line) { return line.contains(sPart); });
    }
};

VsftpdServer::Options TlsOptions()
{
    VsftpdServer::Options options;
    options.bTls = true;
    options.bRequireSessionReuse = true;
    return options;
}

void TrustedOnceGivesListingsAndTransfersBothWaysInBothModes(const FtpTestServer& server)
{
    TlsClient client(server);
    ASSERT_TRUE(client.Succeeds([&] { client.ftp.Connect(); }));
    ASSERT_EQ(client.asked.size(), 1);
    const CertificateInfo& info = client.asked.first();
    EXPECT_EQ(info.sFingerprint, FingerprintOfFile(server.certificateFile()));
    EXPECT_EQ(info.sHost, server.host());
    EXPECT_EQ(info.nPort, server.port());
    EXPECT_TRUE(info.sSubject.contains(QLatin1String("127.0.0.1"))) << info.sSubject.toStdString();
    EXPECT_TRUE(info.validUntil > QDateTime::currentDateTime());
    EXPECT_FALSE(info.problems.isEmpty());
    EXPECT_TRUE(client.ftp.encrypted());
    EXPECT_TRUE(client.Logged(QStringLiteral("The connection is encrypted (TLS 1.")));
    EXPECT_TRUE(client.Logged(QStringLiteral("PROT P")));

    QTemporaryDir local;
    // One read block exactly: an upload that ends before the server's session
    // tickets are read is where closing the connection used to reset it.
    const QByteArray big = RandomBytes(1 << 20, 1);
    ASSERT_TRUE(WriteTestFile(local.filePath(QStringLiteral("big.bin")), big));
    for (const bool bPassive : {true, false}) {
        SCOPED_TRACE(bPassive ? "passive" : "active");
        client.ftp.setPassiveMode(bPassive);
        const QString name = bPassive ? QStringLiteral("p.bin") : QStringLiteral("a.bin");
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.SendFile(local.filePath(QStringLiteral("big.bin")), 0, name, false); }));
        EXPECT_EQ(ReadTestFile(server.root() + QLatin1Char('/') + name), big);
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.ReceiveFile(name, 0, local.filePath(QStringLiteral("back-") + name)); }));
        EXPECT_EQ(ReadTestFile(local.filePath(QStringLiteral("back-") + name)), big);
        QStringList names;
        for (const ListingEntry& entry : client.ftp.FolderContents()) names << entry.name;
        EXPECT_TRUE(names.contains(name)) << names.join(QLatin1Char(' ')).toStdString();
    }

    // A folder over three connections: the extra ones trust what the user
    // trusted for this one.
    client.ftp.setPassiveMode(true);
    client.ftp.setParallelConnections(3);
    for (int i = 0; i < 9; ++i)
        ASSERT_TRUE(WriteTestFile(local.filePath(QStringLiteral("tree/f%1.bin").arg(i)), RandomBytes(50'000 + i, 10 + i)));
    ASSERT_TRUE(client.Succeeds(
        [&] { client.ftp.SendFolder(local.filePath(QStringLiteral("tree/*")), QStringLiteral("tree"), false, false); }));
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(ReadTestFile(server.root() + QStringLiteral("/tree/f%1.bin").arg(i)), RandomBytes(50'000 + i, 10 + i)) << i;
    ASSERT_TRUE(client.Succeeds(
        [&] { client.ftp.ReceiveFolder(QStringLiteral("tree/*"), local.filePath(QStringLiteral("down")), false); }));
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(ReadTestFile(local.filePath(QStringLiteral("down/f%1.bin").arg(i))), RandomBytes(50'000 + i, 10 + i)) << i;
    // Raw commands that would change the encryption are refused before
    // they reach the server; the connection goes on.
    for (const QString& raw : {QStringLiteral("PROT C"), QStringLiteral("ccc"), QStringLiteral("QUOTE AUTH TLS")})
        EXPECT_EQ(ErrorOf([&] { client.ftp.SendCommand(raw); }).number, kInvalidArgument) << raw.toStdString();
    EXPECT_FALSE(client.Logged(QStringLiteral("PROT C")));
    ASSERT_TRUE(client.Succeeds([&] { client.ftp.FolderContents(); }));
    EXPECT_TRUE(client.Logged(QStringLiteral("[2] ")));
    EXPECT_FALSE(client.Logged(QStringLiteral("No extra connection")));
    EXPECT_EQ(client.asked.size(), 1);
    client.ftp.Disconnect();
}

}  // namespace

TEST(FtpTlsTest, PlainLoginToAServerThatRequiresTlsFailsWithTheServersReason)
{
    VsftpdServer server(TlsOptions());
    KELVO_START_OR_SKIP(server, "vsftpd did not start");
    TlsClient client(server, false);
    const FtpError error = ErrorOf([&] { client.ftp.Connect(); });
    EXPECT_EQ(error.number, kLoginFailed);
    EXPECT_TRUE(error.description.contains(QLatin1String("encryption"))) << error.description.toStdString();
    EXPECT_EQ(client.ftp.state(), FtpComponent::kStateNotConnected);
    EXPECT_TRUE(client.Logged(QStringLiteral("The connection is not encrypted")));
}

// The fixture's self-signed certificate is not one the system vouches for:
// the user is asked once, with what identifies it, and the connection and
// its extra ones for a folder transfer use it without asking again.

TEST(FtpTlsTest, VsftpdRequiringSessionReuseGivesListingsAndTransfersBothWaysInBothModes)
{
    VsftpdServer server(TlsOptions());
    KELVO_START_OR_SKIP(server, "vsftpd did not start");
    TrustedOnceGivesListingsAndTransfersBothWaysInBothModes(server);
}

TEST(FtpTlsTest, PyftpdlibGivesListingsAndTransfersBothWaysInBothModes)
{
    PyFtpdServer::Options options;
    options.bTls = true;
    PyFtpdServer server(options);
    KELVO_START_OR_SKIP(server, "pyftpdlib did not start");
    TrustedOnceGivesListingsAndTransfersBothWaysInBothModes(server);
}

// Refusing the certificate ends the attempt before the login, with the
// fingerprint in the error; a pinned fingerprint is accepted without a
// question, and a pinned one that does not match asks again.
TEST(FtpTlsTest, CertificateRefusedPinnedOrMismatched)
{
    VsftpdServer server(TlsOptions());
    KELVO_START_OR_SKIP(server, "vsftpd did not start");
    const QString fingerprint = FingerprintOfFile(server.certificateFile());
    ASSERT_FALSE(fingerprint.isEmpty());
    {
        TlsClient client(server);
        client.bTrust = false;
        const FtpError error = ErrorOf([&] { client.ftp.Connect(); });
        EXPECT_EQ(error.number, kTls);
        EXPECT_TRUE(error.description.contains(fingerprint)) << error.description.toStdString();
        EXPECT_EQ(client.asked.size(), 1);
        EXPECT_EQ(client.ftp.state(), FtpComponent::kStateNotConnected);
        EXPECT_FALSE(client.Logged(QStringLiteral("USER ")));
        EXPECT_FALSE(client.Logged(QStringLiteral("PASS ")));
    }
    {
        TlsClient client(server);
        client.ftp.setTrustedCertificates({fingerprint.toLower().remove(QLatin1Char(':'))});
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.Connect(); }));
        EXPECT_TRUE(client.asked.isEmpty());
        EXPECT_TRUE(client.ftp.encrypted());
        client.ftp.Disconnect();
    }
    {
        TlsClient client(server);
        client.bTrust = false;
        client.ftp.setTrustedCertificates({QString(64, QLatin1Char('A'))});
        EXPECT_EQ(ErrorOf([&] { client.ftp.Connect(); }).number, kTls);
        EXPECT_EQ(client.asked.size(), 1);
    }
}

// An abort in the middle of an encrypted download and upload: ABOR over the
// encrypted control connection, the connection still usable, and the
// partial download resumed to the whole file.
TEST(FtpTlsTest, AbortedTransfersLeaveTheConnectionUsableAndResume)
{
    VsftpdServer server(TlsOptions());
    KELVO_START_OR_SKIP(server, "vsftpd did not start");
    const QByteArray data = RandomBytes(48 << 20, 3);
    ASSERT_TRUE(WriteTestFile(server.root() + QStringLiteral("/huge.bin"), data));
    TlsClient client(server);
    ASSERT_TRUE(client.Succeeds([&] { client.ftp.Connect(); }));
    client.ftp.setPassiveMode(true);
    QTemporaryDir local;
    const QString down = local.filePath(QStringLiteral("huge.bin"));

    auto abortOnProgress = QObject::connect(&client.ftp, &FtpComponent::progress, [&](qint64 nBytes, qint64, int) {
        if (nBytes > 0) client.ftp.setAbort(true);
    });
    EXPECT_EQ(ErrorOf([&] { client.ftp.ReceiveFile(QStringLiteral("huge.bin"), 0, down); }).number, kAborted);
    const qint64 have = QFileInfo(down).size();
    EXPECT_LT(have, data.size());
    // The upload sends the whole file: a short partial one could end before the abort.
    const QString whole = local.filePath(QStringLiteral("whole.bin"));
    ASSERT_TRUE(WriteTestFile(whole, data));
    EXPECT_EQ(ErrorOf([&] { client.ftp.SendFile(whole, 0, QStringLiteral("up.bin"), false); }).number, kAborted);
    QObject::disconnect(abortOnProgress);

    EXPECT_EQ(client.ftp.state(), FtpComponent::kStateConnected) << client.log.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(client.Succeeds([&] { client.ftp.FolderContents(); }));
    ASSERT_TRUE(client.Succeeds([&] { client.ftp.ReceiveFile(QStringLiteral("huge.bin"), have, down); }));
    EXPECT_TRUE(ReadTestFile(down) == data);
}

// A server without TLS: the attempt ends after AUTH TLS, before the user
// name or password could travel in the clear.
TEST(FtpTlsTest, ServerWithoutTlsIsLeftBeforeTheLogin)
{
    PyFtpdServer server;
    KELVO_START_OR_SKIP(server, "pyftpdlib did not start");
    TlsClient client(server);
    const FtpError error = ErrorOf([&] { client.ftp.Connect(); });
    EXPECT_EQ(error.number, kTls);
    EXPECT_TRUE(error.description.contains(QLatin1String("does not offer TLS"))) << error.description.toStdString();
    EXPECT_TRUE(client.Logged(QStringLiteral("AUTH TLS")));
    EXPECT_FALSE(client.Logged(QStringLiteral("USER ")));
    EXPECT_EQ(client.ftp.state(), FtpComponent::kStateNotConnected);
}
