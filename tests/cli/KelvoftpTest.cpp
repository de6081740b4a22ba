// kelvoftp end to end: the real executable against pyftpdlib on loopback.
#include "FtpFixture.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    QString out, err;
};

Result RunKelvoftp(const QString& sFolder, const QStringList& args, const QByteArray& input = QByteArray(),
                  const QString& password = QString())
{
    QProcess process;
    process.setWorkingDirectory(sFolder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("KELVO_PASSWORD");
    if (!password.isEmpty()) env.insert("KELVO_PASSWORD", password);
    process.setProcessEnvironment(env);
    // A session of its own, without a controlling terminal: a run that
    // would ask for a password must not wait on the developer's one.
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(QStringLiteral(KELVOFTP_EXECUTABLE), QStringList{"--timeout", "20"} + args);
    if (!process.waitForStarted(10'000)) return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60'000)) {
        process.kill();
        process.waitForFinished();
    }
    return Result{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                  QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

class KelvoftpTest : public ::testing::Test {
protected:
    void SetUp() override { KELVO_START_OR_SKIP(m_server); }

    QString UrlWithoutPassword() const
    {
        return QStringLiteral("ftp://%1@127.0.0.1:%2/").arg(m_server.user()).arg(m_server.port());
    }

    Result Run(const QStringList& args, const QByteArray& input = QByteArray(), const QString& password = QString())
    {
        return RunKelvoftp(m_local.path(), args, input, password);
    }

    QString Local(const QString& name) const { return m_local.path() + QLatin1Char('/') + name; }
    QString Remote(const QString& name) const { return m_server.root() + QLatin1Char('/') + name; }

    PyFtpdServer m_server;
    QTemporaryDir m_local;
};

}  // namespace

TEST_F(KelvoftpTest, PutGetAndListRoundTrip)
{
    const QByteArray data = RandomBytes(3 << 20, 3);
    ASSERT_TRUE(WriteTestFile(Local("data.bin"), data));

    Result r = Run({m_server.url(), "put", "data.bin", "up.bin"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(Remote("up.bin")), data);

    // The password may come from the environment instead of the URL.
    r = Run({UrlWithoutPassword(), "get", "up.bin", "down.bin"}, {}, m_server.password());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(ReadTestFile(Local("down.bin")) == data);

    r = Run({m_server.url(), "ls"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("up.bin")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QString::number(data.size())));
}

TEST_F(KelvoftpTest, FailuresAndUsageErrorsHaveTheirOwnStatus)
{
    Result r = Run({UrlWithoutPassword(), "ls"}, QByteArray(), "nope");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith("kelvoftp: error 1006:")) << r.err.toStdString();

    r = Run({m_server.url(), "get", "missing.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("550")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Local("missing.txt"))) << "no empty file left behind";

    // A local file longer than the server's cannot be resumed.
    ASSERT_TRUE(WriteTestFile(Local("long.bin"), "0123456789"));
    ASSERT_TRUE(WriteTestFile(Remote("long.bin"), "01234"));
    r = Run({"--resume", m_server.url(), "get", "long.bin"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(Local("long.bin")), QByteArray("0123456789"));

    r = Run({m_server.url(), "frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    r = Run({"http://127.0.0.1/", "ls"});
    EXPECT_EQ(r.exitCode, 2);
    r = Run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE((r.out + r.err).contains("Usage: kelvoftp"));
}

TEST_F(KelvoftpTest, ScriptModeRunsOverOneConnectionAndStopsAtAFailure)
{
    ASSERT_TRUE(WriteTestFile(Local("a file.txt"), "hello"));
    QDir().mkpath(Local("tree/sub"));
    ASSERT_TRUE(WriteTestFile(Local("tree/sub/deep.txt"), "deep"));
    const QByteArray script = "# comment\n"
                              "mkdir work\n"
                              "cd work\n"
                              "put \"a file.txt\"\n"
                              "pwd\n"
                              "putdir tree tree\n"
                              "ls tree\n"  // lists it from here, and stays here
                              "pwd\n"
                              "getdir tree back\n"
                              "mv \"a file.txt\" renamed.txt\n";
    Result r = Run({"--verbose", m_server.url(), "-"}, script);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(Remote("work/renamed.txt")), QByteArray("hello"));
    EXPECT_EQ(ReadTestFile(Remote("work/tree/sub/deep.txt")), QByteArray("deep"));
    EXPECT_EQ(ReadTestFile(Local("back/sub/deep.txt")), QByteArray("deep"));
    EXPECT_EQ(r.out.split('\n').filter(QRegularExpression("^/work")), (QStringList{"/work", "/work"})) << r.out.toStdString();
    // Folder transfers may log in extra connections, whose lines carry
    // their number; the script itself keeps its one connection.
    EXPECT_EQ(r.err.count(QRegularExpression("(^|\\n)USER ")), 1) << "one login for the whole script";
    EXPECT_TRUE(r.err.contains("PASS ****"));
    EXPECT_FALSE(r.err.contains(m_server.password()));

    r = Run({m_server.url(), "-"}, "rm nothing-here\nmkdir never\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(Remote("never"))) << "the script stopped at the failure";
}

TEST_F(KelvoftpTest, PasswordIsAskedOnTheTerminalWhenTheUrlHasNone)
{
    ASSERT_TRUE(WriteTestFile(Remote("seen.txt"), "x"));
    // kelvoftp on a pseudo-terminal of its own; the script answers the
    // prompt and passes on everything the terminal showed.
    const char* kTerminal = R"PY(
import os, pty, sys
exe, url, password = sys.argv[1], sys.argv[2], sys.argv[3].encode()
os.environ.pop("KELVO_PASSWORD", None)
pid, fd = pty.fork()
if pid == 0:
    os.execv(exe, [exe, "--timeout", "20", url, "ls"])
shown = b""
while b"Password for" not in shown:
    chunk = os.read(fd, 1024)
    if not chunk: break
    shown += chunk
os.write(fd, password + b"\n")
try:
    while True:
        chunk = os.read(fd, 4096)
        if not chunk: break
        shown += chunk
except OSError:
    pass
_, status = os.waitpid(pid, 0)
sys.stdout.buffer.write(shown)
sys.exit(os.waitstatus_to_exitcode(status))
)PY";
    QProcess process;
    process.start("/usr/bin/python3", {"-c", QString::fromUtf8(kTerminal),
                                                       QStringLiteral(KELVOFTP_EXECUTABLE), UrlWithoutPassword(),
                                                       m_server.password()});
    if (!process.waitForFinished(30'000)) {
        process.kill();
        process.waitForFinished();
        FAIL() << "the prompt was not answered";
    }
    const QString shown = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitCode(), 0) << shown.toStdString() << process.readAllStandardError().toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Password for %1@127.0.0.1: ").arg(m_server.user()))) << shown.toStdString();
    EXPECT_TRUE(shown.contains("seen.txt")) << "logged in with the typed password";
    EXPECT_FALSE(shown.contains(m_server.password())) << "what is typed is not echoed";

    // With the password in the URL there is no prompt, but a warning.
    const Result r = Run({m_server.url(), "ls"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("process list"));
}

// FTP over TLS against vsftpd with a self-signed certificate: refused with
// its fingerprint until --tls-trust names it, then transfers both ways.
TEST(KelvoftpTlsTest, SelfSignedCertificateIsRefusedUntilTrustedByFingerprint)
{
    VsftpdServer::Options options;
    options.bTls = true;
    VsftpdServer server(options);
    KELVO_START_OR_SKIP(server);
    QTemporaryDir local;
    const QString url = QStringLiteral("ftpes://%1@127.0.0.1:%2/").arg(server.user()).arg(server.port());

    Result r = RunKelvoftp(local.path(), {url, "ls"}, {}, server.password());
    EXPECT_EQ(r.exitCode, 1);
    const QRegularExpressionMatch match = QRegularExpression("--tls-trust ((?:[0-9A-F]{2}:){31}[0-9A-F]{2})").match(r.err);
    ASSERT_TRUE(match.hasMatch()) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("error 1015")) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(server.password()));
    const QString fingerprint = match.captured(1);

    const QByteArray data = RandomBytes(1 << 20, 1);
    ASSERT_TRUE(WriteTestFile(local.filePath("data.bin"), data));
    // --tls with an ftp:// URL is the same as ftpes://.
    const QString plainUrl = QStringLiteral("ftp://%1@127.0.0.1:%2/").arg(server.user()).arg(server.port());
    r = RunKelvoftp(local.path(), {"--tls", "--tls-trust", fingerprint.toLower(), "--verbose",
                     plainUrl, "put", "data.bin", "up.bin"}, {}, server.password());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("The connection is encrypted")) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(server.root() + "/up.bin"), data);
    r = RunKelvoftp(local.path(), {"--tls-trust", fingerprint, url, "get", "up.bin", "down.bin"}, {}, server.password());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(local.filePath("down.bin")), data);
}
