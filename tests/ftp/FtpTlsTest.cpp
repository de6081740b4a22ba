// Explicit FTPS against vsftpd (requiring the data connections to resume the
// control connection's TLS session) and pyftpdlib, with a certificate the
// fixture makes: the certificate question and its answers, listings and
// transfers both ways in both modes, aborts, and servers without TLS or
// requiring it.
#include "FtpFixture.h"

#include <QSslCertificate>

namespace {

QString FingerprintOfFile(const QString& sPem)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(sPem);
    return certificates.isEmpty() ? QString() : Certificates::Fingerprint(certificates.first());
}

struct TlsClient : FtpClient {
    explicit TlsClient(const FtpTestServer& server, bool bTls = true) { PointAtServer(ftp, server); ftp.setUseTls(bTls); }
};

const VsftpdServer::Options kVsftpdTls{.bTls = true};

}  // namespace

// The fixture's self-signed certificate is not one the system vouches for:
// the user is asked once, with what identifies it, and the connection and
// its extra ones for a folder transfer use it without asking again.
TEST(FtpTlsTest, TrustedOnceGivesListingsTransfersBothWaysInBothModesAndAborts)
{
    VsftpdServer vsftpd(kVsftpdTls);
    PyFtpdServer pyftpd(PyFtpdServer::Options{.bTls = true});
    for (FtpTestServer* server : std::initializer_list<FtpTestServer*>{&vsftpd, &pyftpd}) {
        KELVO_START_OR_SKIP(*server);
        TlsClient client(*server);
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.Connect(); }));
        ASSERT_EQ(client.asked.size(), 1);
        const CertificateInfo& info = client.asked.first();
        EXPECT_EQ(info.sFingerprint, FingerprintOfFile(server->certificateFile()));
        EXPECT_EQ(info.sHost, server->host());
        EXPECT_EQ(info.nPort, server->port());
        EXPECT_TRUE(info.sSubject.contains("127.0.0.1")) << info.sSubject.toStdString();
        EXPECT_TRUE(info.validUntil > QDateTime::currentDateTime());
        EXPECT_FALSE(info.problems.isEmpty());
        EXPECT_TRUE(client.Logged("The connection is encrypted (TLS 1."));

        // One read block exactly: an upload that ends before the server's session
        // tickets are read is where closing the connection used to reset it.
        const QByteArray big = RandomBytes(1 << 20, 1);
        ASSERT_TRUE(WriteTestFile(client.Local("big.bin"), big));
        for (const bool bPassive : {true, false}) {
            SCOPED_TRACE(bPassive ? "passive" : "active");
            client.ftp.setPassiveMode(bPassive);
            const QString name = bPassive ? "p.bin" : "a.bin";
            ASSERT_TRUE(client.Succeeds([&] { client.ftp.SendFile(client.Local("big.bin"), 0, name, false); }));
            EXPECT_TRUE(ReadTestFile(server->root() + "/" + name) == big);
            ASSERT_TRUE(client.Succeeds([&] { client.ftp.ReceiveFile(name, 0, client.Local("back-" + name)); }));
            EXPECT_TRUE(ReadTestFile(client.Local("back-" + name)) == big);
            EXPECT_TRUE(client.Names().contains(name));
        }
        // A folder over three connections: the extra ones trust what the user
        // trusted for this one.
        client.ftp.setPassiveMode(true);
        client.ftp.setParallelConnections(3);
        for (int i = 0; i < 9; ++i)
            ASSERT_TRUE(WriteTestFile(client.Local(QStringLiteral("tree/f%1.bin").arg(i)), RandomBytes(50'000 + i, 10 + i)));
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.SendFolder(client.Local("tree/*"), "tree", false, false); }));
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.ReceiveFolder("tree/*", client.Local("down"), false); }));
        EXPECT_EQ(TreeOf(server->root() + "/tree"), TreeOf(client.Local("tree")));
        EXPECT_EQ(TreeOf(client.Local("down")), TreeOf(client.Local("tree")));
        // Raw commands that would change the encryption are refused before
        // they reach the server; the connection goes on.
        for (const char* raw : {"PROT C", "ccc", "QUOTE AUTH TLS"}) {
            EXPECT_EQ(ErrorOf([&] { client.ftp.SendCommand(raw); }).number, kInvalidArgument) << raw;
        }
        EXPECT_FALSE(client.Logged("PROT C"));
        EXPECT_TRUE(client.Logged("[2] "));
        EXPECT_FALSE(client.Logged("No extra connection"));
        EXPECT_EQ(client.asked.size(), 1);

        // Aborted in the middle, a download and an upload (of a whole file: a
        // short one could end before the abort) leave the connection usable,
        // and the partial download resumes to the whole file.
        const QByteArray data = RandomBytes(48 << 20, 3);
        const QString down = client.Local("huge.bin"), whole = client.Local("whole.bin");
        ASSERT_TRUE(WriteTestFile(server->root() + "/huge.bin", data) && WriteTestFile(whole, data));
        auto aborter = QObject::connect(&client.ftp, &FtpComponent::progress, [&](qint64 nBytes, qint64, int) {
            if (nBytes > 0) client.ftp.setAbort(true);
        });
        EXPECT_EQ(ErrorOf([&] { client.ftp.ReceiveFile("huge.bin", 0, down); }).number, kAborted);
        const qint64 have = QFileInfo(down).size();
        EXPECT_LT(have, data.size());
        EXPECT_EQ(ErrorOf([&] { client.ftp.SendFile(whole, 0, "up.bin", false); }).number, kAborted);
        QObject::disconnect(aborter);
        EXPECT_EQ(client.ftp.state(), FtpComponent::kStateConnected) << client.Log();
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.FolderContents(); }));
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.ReceiveFile("huge.bin", have, down); }));
        EXPECT_TRUE(ReadTestFile(down) == data);
    }
}

// Refusing the certificate ends the attempt before the login, with the
// fingerprint in the error; a pinned fingerprint is accepted without a
// question, and a pinned one that does not match asks again. A plain login
// is refused with the server's reason; a server without TLS is left before
// the user name or password could travel in the clear.
TEST(FtpTlsTest, CertificateRefusedPinnedOrMismatchedAndTlsMissingOnEitherSide)
{
    VsftpdServer server(kVsftpdTls);
    KELVO_START_OR_SKIP(server);
    const QString fingerprint = FingerprintOfFile(server.certificateFile());
    ASSERT_FALSE(fingerprint.isEmpty());
    const struct {
        QStringList pinned;
        bool bTrust;
        long nError;
        qsizetype nAsked;
    } cases[] = {{{}, false, kTls, 1}, {{fingerprint.toLower().remove(':')}, false, 0, 0}, {{QString(64, 'A')}, false, kTls, 1}};
    for (const auto& c : cases) {
        TlsClient client(server);
        client.bTrust = c.bTrust;
        client.ftp.setTrustedCertificates(c.pinned);
        const FtpError error = ErrorOf([&] { client.ftp.Connect(); });
        EXPECT_EQ(error.number, c.nError) << error.description.toStdString();
        EXPECT_EQ(client.asked.size(), c.nAsked);
        EXPECT_EQ(client.ftp.encrypted(), c.nError == 0);
        if (c.nError == 0) continue;
        EXPECT_TRUE(c.pinned.size() || error.description.contains(fingerprint)) << error.description.toStdString();
        EXPECT_FALSE(client.Logged("USER ") || client.Logged("PASS "));
    }
    TlsClient plainClient(server, false);
    EXPECT_TRUE(FailsWith(kLoginFailed, "encryption", [&] { plainClient.ftp.Connect(); }));
    EXPECT_TRUE(plainClient.Logged("The connection is not encrypted"));

    PyFtpdServer noTls;
    KELVO_START_OR_SKIP(noTls);
    TlsClient client(noTls);
    EXPECT_TRUE(FailsWith(kTls, "does not offer TLS", [&] { client.ftp.Connect(); }));
    EXPECT_TRUE(client.Logged("AUTH TLS"));
    EXPECT_FALSE(client.Logged("USER "));
    EXPECT_EQ(client.ftp.state(), FtpComponent::kStateNotConnected);
}
