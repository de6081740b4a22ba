// Starts each kind of loopback server the engine tests use and talks to it
// over a plain socket, so a broken fixture shows up here rather than as a
// puzzling engine failure.
#include "FtpTestServers.h"
#include "StartOrSkip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <pwd.h>

namespace {

constexpr int kTimeoutMs = 5000;

// A control connection that reads whole (possibly multi-line) replies.
class Control {
public:
    bool Connect(quint16 nPort)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), nPort);
        return m_socket.waitForConnected(kTimeoutMs);
    }
    // The complete reply; empty on timeout or close.
    QString Reply()
    {
        QString reply;
        while (true) {
            while (!m_socket.canReadLine())
                if (!m_socket.waitForReadyRead(kTimeoutMs)) return QString();
            const QString line = QString::fromUtf8(m_socket.readLine());
            reply += line;
            if (line.size() >= 4 && line[3] == QLatin1Char(' ') && line.left(3).toInt() >= 100) return reply;
        }
    }
    QString Send(const QString& sCommand)
    {
        m_socket.write((sCommand + QStringLiteral("\r\n")).toUtf8());
        m_socket.waitForBytesWritten(kTimeoutMs);
        return Reply();
    }
    bool Login(const QString& sUser, const QString& sPassword)
    {
        return Send(QStringLiteral("USER ") + sUser).startsWith(QLatin1String("331"))
               && Send(QStringLiteral("PASS ") + sPassword).startsWith(QLatin1String("230"));
    }
    // Names in the current folder, over an EPSV data connection.
    QStringList Names()
    {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^229 .*\\(\\|\\|\\|(\\d+)\\|\\)")).match(Send(QStringLiteral("EPSV")));
        if (!m.hasMatch()) return {QStringLiteral("<no EPSV>")};
        QTcpSocket data;
        data.connectToHost(QStringLiteral("127.0.0.1"), m.captured(1).toUShort());
        if (!data.waitForConnected(kTimeoutMs)) return {QStringLiteral("<no data connection>")};
        if (!Send(QStringLiteral("NLST")).startsWith(QLatin1Char('1'))) return {QStringLiteral("<NLST refused>")};
        QByteArray listing;
        while (data.state() == QAbstractSocket::ConnectedState && data.waitForReadyRead(kTimeoutMs)) listing += data.readAll();
        listing += data.readAll();
        if (!Reply().startsWith(QLatin1String("226"))) return {QStringLiteral("<no 226>")};
        return QString::fromUtf8(listing).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

private:
    QTcpSocket m_socket;
};

bool Refuses(quint16 nPort)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), nPort);
    return !socket.waitForConnected(kTimeoutMs) && socket.error() == QAbstractSocket::ConnectionRefusedError;
}

bool ProcessGone(qint64 nPid) { return ::kill(static_cast<pid_t>(nPid), 0) != 0 && errno == ESRCH; }

// Logs in as the fixture's user, finds a file put into root(), and checks that
// Stop() takes the server and its port away.
void CheckLoginListingAndStop(FtpTestServer& server)
{
    ASSERT_TRUE(QDir(server.root()).isEmpty());
    QFile file(server.root() + QStringLiteral("/hello.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("hello");
    file.close();
    EXPECT_EQ(server.url(), QStringLiteral("ftp://%1:%2@127.0.0.1:%3/")
                                .arg(server.user(), server.password()).arg(server.port()));

    Control control;
    ASSERT_TRUE(control.Connect(server.port()));
    const QString greeting = control.Reply();
    ASSERT_TRUE(greeting.startsWith(QLatin1String("220"))) << greeting.toStdString();
    EXPECT_TRUE(control.Send(QStringLiteral("USER ") + server.user()).startsWith(QLatin1String("331")));
    EXPECT_TRUE(control.Send(QStringLiteral("PASS wrong-") + server.password()).startsWith(QLatin1String("530")));
    ASSERT_TRUE(control.Login(server.user(), server.password()));
    EXPECT_EQ(control.Send(QStringLiteral("PWD")).section(QLatin1Char('"'), 1, 1), QStringLiteral("/"));
    EXPECT_TRUE(control.Send(QStringLiteral("TYPE I")).startsWith(QLatin1String("200")));
    EXPECT_EQ(control.Send(QStringLiteral("SIZE /hello.txt")).trimmed(), QStringLiteral("213 5"));
    EXPECT_EQ(control.Names(), QStringList{QStringLiteral("hello.txt")});
    EXPECT_TRUE(control.Send(QStringLiteral("QUIT")).startsWith(QLatin1String("221")));

    const qint64 nPid = server.pid();
    ASSERT_GT(nPid, 0);
    server.Stop();
    EXPECT_EQ(server.pid(), 0);
    EXPECT_TRUE(ProcessGone(nPid));
    EXPECT_TRUE(Refuses(server.port()));
}

}  // namespace

TEST(FtpTestServers, FreeLoopbackPortsAreDistinctAndBindable)
{
    QSet<quint16> seen;
    for (int i = 0; i < 30; ++i) {
        const quint16 nPort = FreeLoopbackPort();
        ASSERT_NE(nPort, 0);
        EXPECT_FALSE(seen.contains(nPort)) << nPort;
        seen.insert(nPort);
        QTcpServer server;
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, nPort)) << nPort;
    }
    EXPECT_FALSE(WaitForGreeting(QStringLiteral("127.0.0.1"), FreeLoopbackPort(), 300));
}

TEST(FtpTestServers, PyFtpdLogsInListsAndStops)
{
    PyFtpdServer server;
    KELVO_START_OR_SKIP(server, "pyftpdlib did not start");
    Control control;
    ASSERT_TRUE(control.Connect(server.port()));
    ASSERT_TRUE(control.Reply().startsWith(QLatin1String("220")));
    const QString feat = control.Send(QStringLiteral("FEAT"));
    EXPECT_TRUE(feat.contains(QLatin1String(" MLST "))) << feat.toStdString();
    EXPECT_TRUE(feat.contains(QLatin1String(" UTF8\r\n"))) << feat.toStdString();
    EXPECT_TRUE(control.Send(QStringLiteral("USER anonymous")).startsWith(QLatin1String("331")));
    EXPECT_TRUE(control.Send(QStringLiteral("PASS a@b")).startsWith(QLatin1String("530")));
    CheckLoginListingAndStop(server);
}

TEST(FtpTestServers, PyFtpdOptionsChangeWhatItOffers)
{
    PyFtpdServer::Options options;
    options.bMlsd = false;
    options.bUtf8 = false;
    options.nMaxConnections = 1;
    options.bAnonymous = true;
    PyFtpdServer server(options);
    KELVO_START_OR_SKIP(server, "pyftpdlib did not start");
    Control control;
    ASSERT_TRUE(control.Connect(server.port()));
    ASSERT_TRUE(control.Reply().startsWith(QLatin1String("220")));
    const QString feat = control.Send(QStringLiteral("FEAT"));
    ASSERT_TRUE(feat.startsWith(QLatin1String("211"))) << feat.toStdString();
    EXPECT_FALSE(feat.contains(QLatin1String("MLST"))) << feat.toStdString();
    EXPECT_FALSE(feat.contains(QLatin1String("MLSD"))) << feat.toStdString();
    EXPECT_FALSE(feat.contains(QLatin1String("UTF8"))) << feat.toStdString();
    EXPECT_TRUE(feat.contains(QLatin1String(" SIZE\r\n"))) << feat.toStdString();
    ASSERT_TRUE(control.Login(QStringLiteral("anonymous"), QStringLiteral("a@b")));
    EXPECT_TRUE(control.Send(QStringLiteral("MLSD")).startsWith(QLatin1String("500")));

    // One control connection at a time: a second one is turned away.
    Control second;
    ASSERT_TRUE(second.Connect(server.port()));
    EXPECT_TRUE(second.Reply().startsWith(QLatin1String("421")));
}

TEST(FtpTestServers, VsftpdLogsInListsStopsAndRemovesItsUser)
{
    QString sUser;
    {
        VsftpdServer server;
        KELVO_START_OR_SKIP(server, "vsftpd did not start");
        sUser = server.user();
        const passwd* pEntry = ::getpwnam(sUser.toLocal8Bit().constData());
        ASSERT_NE(pEntry, nullptr);
        EXPECT_EQ(QString::fromLocal8Bit(pEntry->pw_dir), server.root());
        CheckLoginListingAndStop(server);
    }
    EXPECT_EQ(::getpwnam(sUser.toLocal8Bit().constData()), nullptr) << sUser.toStdString();
}

TEST(FtpTestServers, ScriptedServerRunsTheTestsScript)
{
    ScriptedServer server(QStringLiteral(
        "import socket, sys, time\n"
        "s = socket.socket()\n"
        "s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
        "s.bind(('127.0.0.1', int(sys.argv[1])))\n"
        "s.listen(5)\n"
        "c, _ = s.accept()\n"
        "c.sendall(b'220 hi\\r\\n')\n"
        "c.close()\n"
        "time.sleep(60)\n"));
    KELVO_START_OR_SKIP(server, "scripted server did not start");
    EXPECT_TRUE(server.user().isEmpty());
    EXPECT_EQ(server.url(), QStringLiteral("ftp://127.0.0.1:%1/").arg(server.port()));
    // The script greets once only: had Start() connected, this would get nothing.
    Control control;
    ASSERT_TRUE(control.Connect(server.port()));
    EXPECT_EQ(control.Reply(), QStringLiteral("220 hi\r\n"));
    EXPECT_TRUE(control.Reply().isEmpty());  // closed by the script

    const qint64 nPid = server.pid();
    server.Stop();
    EXPECT_TRUE(ProcessGone(nPid));
    EXPECT_TRUE(Refuses(server.port()));

    // A script that never listens is a failure, not a skip.
    ScriptedServer broken(QStringLiteral("import sys\nsys.exit(3)\n"));
    EXPECT_FALSE(broken.Start());
    EXPECT_TRUE(broken.skipReason().isEmpty());
}

TEST(FtpTestServers, VsftpdWithTlsTakesOnlyEncryptedLogins)
{
    VsftpdServer::Options options;
    options.bTls = true;
    options.bRequireSessionReuse = false;  // Python's ftplib does not resume sessions on data connections
    VsftpdServer server(options);
    KELVO_START_OR_SKIP(server, "vsftpd did not start");
    ASSERT_TRUE(QFileInfo(server.certificateFile()).isFile());

    // A plain login is refused.
    Control plain;
    ASSERT_TRUE(plain.Connect(server.port()));
    ASSERT_TRUE(plain.Reply().startsWith(QLatin1String("220")));
    EXPECT_TRUE(plain.Send(QStringLiteral("USER ") + server.user()).startsWith(QLatin1String("530")));

    // One over TLS, checking the certificate against the fixture's own,
    // logs in and lists with protected data.
    QProcess client;
    client.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import ftplib, ssl, sys\n"
                                 "ctx = ssl.create_default_context(cafile=sys.argv[3])\n"
                                 "f = ftplib.FTP_TLS(context=ctx)\n"
                                 "f.connect('127.0.0.1', int(sys.argv[4]))\n"
                                 "f.login(sys.argv[1], sys.argv[2]); f.prot_p()\n"
                                 "print(f.nlst()); f.quit()\n"),
                  server.user(), server.password(), server.certificateFile(), QString::number(server.port())});
    ASSERT_TRUE(client.waitForFinished(30'000));
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
}
