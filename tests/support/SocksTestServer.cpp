#include "SocksTestServer.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpSocket>

#include <unistd.h>

namespace {

constexpr int kStartTimeoutMs = 10000;
const QString kPython = QStringLiteral("/usr/bin/python3");

}  // namespace

DanteServer::DanteServer() : DanteServer(Options()) {}

DanteServer::DanteServer(Options options) : m_options(options)
{
    if (!m_options.bUserPassword) return;
    m_sUser = NewUserName("kvs");
    m_sPassword = NewPassword();
}

QString DanteServer::logFile() const { return workDir() + QStringLiteral("/danted.log"); }

bool DanteServer::Start()
{
    QString binary = QStringLiteral("/usr/sbin/danted");
    if (!QFileInfo(binary).isExecutable()) binary = QStandardPaths::findExecutable(QStringLiteral("danted"));
    if (binary.isEmpty()) {
        m_sSkipReason = QStringLiteral("danted is not installed (Debian package dante-server)");
        return false;
    }
    if (m_options.bUserPassword && ::geteuid() != 0) {
        m_sSkipReason = QStringLiteral("a proxy login needs root (a system user, the shadow file)");
        return false;
    }
    Stop();

    QString config = QStringLiteral("clientmethod: none\n");
    if (m_options.bUserPassword) {
        if (!CreateSystemUser({QStringLiteral("-M"), QStringLiteral("-s"), QStringLiteral("/usr/sbin/nologin")})) return false;
        // Root reads the shadow file to check the password; the relaying
        // children run as nobody.
        config += QStringLiteral("socksmethod: username\nuser.privileged: root\nuser.unprivileged: nobody\n");
    } else {
        config += QStringLiteral("socksmethod: none\n");
    }

    m_nPort = FreeLoopbackPort();
    if (m_nPort == 0) {
        qWarning() << "no free loopback port for danted";
        return false;
    }
    // BIND (and its reply) is what an FTP client needs for active mode
    // through the proxy; everything stays within 127/8.
    config += QStringLiteral(
                  "logoutput: %1\ninternal: 127.0.0.1 port = %2\nexternal: 127.0.0.1\n"
                  "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                  "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect bind bindreply }\n")
                  .arg(logFile())
                  .arg(m_nPort);
    const QString configPath = workDir() + QStringLiteral("/danted.conf");
    if (!WriteTextFile(configPath, config)) return false;
    // Without -D danted stays in the foreground. It switches its effective
    // uid, which clears the parent-death signal Launch() sets, so it runs
    // under the reaper, which passes a SIGTERM on when the test binary dies.
    const QStringList args{binary, QStringLiteral("-f"), configPath, QStringLiteral("-p"), workDir() + QStringLiteral("/danted.pid")};
    const bool bStarted = QFileInfo(kPython).isExecutable()
                              ? Launch(kPython, QStringList{QStringLiteral(KELVO_TEST_SERVERS_DIR "/reaper.py")} + args)
                              : Launch(binary, args.mid(1));
    if (!bStarted) return false;

    if (WaitUntilReady(kStartTimeoutMs, false)) {
        // Listening alone could still precede a refusal; connect once.
        QTcpSocket probe;
        probe.connectToHost(host(), m_nPort);
        if (probe.waitForConnected(kStartTimeoutMs)) return true;
    }
    ReportFailure(QStringLiteral("danted did not come up"), logFile());
    Stop();
    return false;
}
