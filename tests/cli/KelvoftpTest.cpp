// kelvoftp end to end: the real executable against servers on loopback.
#include "FtpFixture.h"

#include <QProcess>
#include <QRegularExpression>

#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    QString out, err;
};

// kelvoftp run in sFolder, with KELVO_PASSWORD set only when a password is given.
Result Kelvoftp(const QString& sFolder, const QStringList& args, const QString& password = QString(), const QByteArray& input = {})
{
    QProcess process;
    process.setWorkingDirectory(sFolder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("KELVO_PASSWORD");
    if (!password.isEmpty()) env.insert("KELVO_PASSWORD", password);
    process.setProcessEnvironment(env);
    // Without a controlling terminal: a run that would ask for a password
    // must not wait on the developer's one.
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

// kelvoftp on a pseudo-terminal of its own, the password typed at its prompt;
// prints everything the terminal showed and ends with kelvoftp's status.
const char kTerminal[] = R"PY(
import os, pty, sys
os.environ.pop("KELVO_PASSWORD", None)
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], [sys.argv[1], "--timeout", "20", sys.argv[2], "ls"])
shown = b""
def read():
    global shown
    try: chunk = os.read(fd, 4096)
    except OSError: chunk = b""
    shown += chunk
    return chunk
while b"Password for" not in shown and read(): pass
os.write(fd, sys.argv[3].encode() + b"\n")
while read(): pass
sys.stdout.buffer.write(shown)
sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
)PY";

}  // namespace

TEST(KelvoftpTest, TransfersScriptsPasswordsAndExitStatuses)
{
    PyFtpdServer server;
    KELVO_START_OR_SKIP(server);
    QTemporaryDir local;
    const auto Local = [&](const QString& name) { return local.filePath(name); };
    const auto Remote = [&](const QString& name) { return server.root() + '/' + name; };
    const QString url = server.url(), noPassword = QStringLiteral("ftp://%1@127.0.0.1:%2/").arg(server.user()).arg(server.port());

    // put, get (the password from the environment) and ls.
    const QByteArray data = RandomBytes(3 << 20, 3);
    ASSERT_TRUE(WriteTestFile(Local("data.bin"), data));
    Result r = Kelvoftp(local.path(), {url, "put", "data.bin", "up.bin"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(Remote("up.bin")), data);
    r = Kelvoftp(local.path(), {"--log", Local("k.log"), noPassword, "get", "up.bin", "down.bin"}, server.password());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(ReadTestFile(Local("down.bin")) == data);
    EXPECT_TRUE(ReadTestFile(Local("k.log")).contains("RETR up.bin"));
    r = Kelvoftp(local.path(), {url, "ls"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("up.bin") && r.out.contains(QString::number(data.size()))) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("process list")) << "a password in the URL is warned about";

    // Failures exit with 1, usage errors with 2.
    r = Kelvoftp(local.path(), {noPassword, "ls"}, "nope");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith("kelvoftp: error 1006:")) << r.err.toStdString();
    r = Kelvoftp(local.path(), {url, "get", "missing.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("550")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Local("missing.txt"))) << "no empty file left behind";
    // A local file longer than the server's cannot be resumed.
    ASSERT_TRUE(WriteTestFile(Local("long.bin"), "0123456789"));
    ASSERT_TRUE(WriteTestFile(Remote("long.bin"), "01234"));
    r = Kelvoftp(local.path(), {"--resume", url, "get", "long.bin"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(Local("long.bin")), QByteArray("0123456789"));
    EXPECT_EQ(Kelvoftp(local.path(), {url, "frobnicate"}).exitCode, 2);
    EXPECT_EQ(Kelvoftp(local.path(), {"http://127.0.0.1/", "ls"}).exitCode, 2);
    r = Kelvoftp(local.path(), {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE((r.out + r.err).contains("Usage: kelvoftp"));

    // A script runs over one connection and stops at the first failure.
    ASSERT_TRUE(WriteTestFile(Local("a file.txt"), "hello"));
    ASSERT_TRUE(WriteTestFile(Local("tree/sub/deep.txt"), "deep"));
    const QByteArray script = "# comment\nmkdir work\ncd work\nput \"a file.txt\"\npwd\nputdir tree tree\n"
                              "ls tree\npwd\ngetdir tree back\nmv \"a file.txt\" renamed.txt\n";
    r = Kelvoftp(local.path(), {"--verbose", url, "-"}, {}, script);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(Remote("work/renamed.txt")), QByteArray("hello"));
    EXPECT_EQ(ReadTestFile(Remote("work/tree/sub/deep.txt")), QByteArray("deep"));
    EXPECT_EQ(ReadTestFile(Local("back/sub/deep.txt")), QByteArray("deep"));
    // "ls tree" lists from the folder and stays there.
    EXPECT_EQ(r.out.split('\n').filter(QRegularExpression("^/work")), (QStringList{"/work", "/work"})) << r.out.toStdString();
    // Folder transfers may log in extra connections, whose lines carry their number.
    EXPECT_EQ(r.err.count(QRegularExpression("(^|\\n)USER ")), 1) << "one login for the whole script";
    EXPECT_TRUE(r.err.contains("PASS ****"));
    EXPECT_FALSE(r.err.contains(server.password()));
    // --existing holds for the files of a folder transfer too.
    ASSERT_TRUE(WriteTestFile(Local("back/sub/deep.txt"), "changed"));  // not the same size: would be replaced
    EXPECT_EQ(Kelvoftp(local.path(), {"--existing", "skip", url, "getdir", "work/tree", "back"}).exitCode, 0);
    EXPECT_EQ(ReadTestFile(Local("back/sub/deep.txt")), QByteArray("changed"));
    r = Kelvoftp(local.path(), {url, "-"}, {}, "rm nothing-here\nmkdir never\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(Remote("never"))) << "the script stopped at the failure";

    // Without a password anywhere, it is asked for on the terminal, not echoed.
    QProcess terminal;
    terminal.start("/usr/bin/python3", {"-c", kTerminal, QStringLiteral(KELVOFTP_EXECUTABLE), noPassword, server.password()});
    if (!terminal.waitForFinished(60'000)) {
        terminal.kill();
        terminal.waitForFinished();
        FAIL() << "the prompt was not answered";
    }
    const QString shown = QString::fromUtf8(terminal.readAllStandardOutput());
    EXPECT_EQ(terminal.exitCode(), 0) << shown.toStdString() << terminal.readAllStandardError().toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Password for %1@127.0.0.1: ").arg(server.user()))) << shown.toStdString();
    EXPECT_TRUE(shown.contains("up.bin")) << "logged in with the typed password";
    EXPECT_FALSE(shown.contains(server.password())) << "what is typed is not echoed";
}

// FTP over TLS against vsftpd with a self-signed certificate: refused with
// its fingerprint until --tls-trust names it, then transfers both ways.
TEST(KelvoftpTlsTest, SelfSignedCertificateIsRefusedUntilTrustedByFingerprint)
{
    VsftpdServer server(VsftpdServer::Options{.bTls = true});
    KELVO_START_OR_SKIP(server);
    QTemporaryDir local;
    const QString url = QStringLiteral("ftpes://%1@127.0.0.1:%2/").arg(server.user()).arg(server.port());

    Result r = Kelvoftp(local.path(), {url, "ls"}, server.password());
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
    r = Kelvoftp(local.path(), {"--tls", "--tls-trust", fingerprint.toLower(), "--verbose", plainUrl, "put", "data.bin", "up.bin"},
            server.password());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("The connection is encrypted")) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(server.root() + "/up.bin"), data);
    r = Kelvoftp(local.path(), {"--tls-trust", fingerprint, url, "get", "up.bin", "down.bin"}, server.password());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(ReadTestFile(local.filePath("down.bin")), data);
}
