#include "FtpTestServers.h"
#include "SocksTestServer.h"
#include "TestFiles.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>
#include <utility>
#include <pwd.h>
#include <sys/prctl.h>

namespace {

constexpr int kPasvPortCount = 20;
const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kReaper = QStringLiteral(KELVO_TEST_SERVERS_DIR "/reaper.py");

// The first of nCount consecutive free ports, below the kernel's ephemeral
// range so that outgoing sockets do not land in it.
quint16 FreeLoopbackPorts(int nCount)
{
    static QMutex mutex;
    static QSet<quint16> handedOut;
    QMutexLocker lock(&mutex);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto start = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 30000 - nCount));
        bool bFree = true;
        for (int i = 0; i < nCount && bFree; ++i) {
            QTcpServer probe;
            bFree = !handedOut.contains(quint16(start + i)) && probe.listen(QHostAddress::LocalHost, quint16(start + i));
        }
        if (!bFree) continue;
        for (int i = 0; i < nCount; ++i) handedOut.insert(quint16(start + i));
        return start;
    }
    return 0;
}

// Whether a socket listens on 127.0.0.1:port (or all IPv4 addresses), read
// from the kernel's table so that no connection is taken from the server.
bool ListeningOn(quint16 nPort)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) return false;
    const QByteArray sPort = QByteArray::number(nPort, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && (fields[1] == "0100007F:" + sPort || fields[1] == "00000000:" + sPort) && fields[3] == "0A")
            return true;
    }
    return false;
}

QString Tail(const QString& sPath)
{
    QFile file(sPath);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("(none)");
    file.seek(qMax<qint64>(0, file.size() - 4000));
    return QString::fromUtf8(file.readAll());
}

// Runs a system tool to its end; its output is kept for diagnostics.
bool RunTool(const QString& program, const QStringList& args, QString* pOutput = nullptr, const QByteArray& input = {})
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, args);
    if (!tool.waitForStarted(5000)) return false;
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(15000)) {
        tool.kill();
        tool.waitForFinished(2000);
        return false;
    }
    if (pOutput) *pOutput = QString::fromLocal8Bit(tool.readAll());
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

}  // namespace

quint16 FreeLoopbackPort() { return FreeLoopbackPorts(1); }

FtpTestServer::FtpTestServer() : m_pDir(std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kelvo-ftpsrv-XXXXXX")))
{
    // Other users (vsftpd's test user) have to get through to root().
    QFile::setPermissions(m_pDir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                              | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    m_sRoot = m_pDir->path() + QStringLiteral("/root");
    QDir().mkpath(m_sRoot);
}

FtpTestServer::~FtpTestServer()
{
    Stop();
    if (m_bUserCreated) RunTool(QStringLiteral("userdel"), {QStringLiteral("-f"), m_sUser});
    // A name a server wrote in bytes that are not UTF-8 is beyond QDir's removal.
    RunTool(QStringLiteral("rm"), {QStringLiteral("-rf"), m_pDir->path()});
}

void FtpTestServer::Stop()
{
    if (!m_pProcess) return;
    if (m_pProcess->state() != QProcess::NotRunning) {
        const auto nPid = static_cast<pid_t>(m_pProcess->processId());
        ::kill(nPid, SIGTERM);
        if (!m_pProcess->waitForFinished(2000)) {
            ::kill(-nPid, SIGKILL);
            m_pProcess->waitForFinished(5000);
        }
    }
    m_pProcess.reset();
}

QString FtpTestServer::url() const
{
    return QStringLiteral("ftp://%1:%2@%3:%4/").arg(m_sUser, m_sPassword, host()).arg(m_nPort);  // letters and digits only
}

qint64 FtpTestServer::pid() const
{
    return m_pProcess && m_pProcess->state() != QProcess::NotRunning ? m_pProcess->processId() : 0;
}

QString FtpTestServer::workDir() const { return m_pDir->path(); }

QString FtpTestServer::keyFile() const { return workDir() + QStringLiteral("/key.pem"); }

bool FtpTestServer::Run(const QStringList& command, const QString& sLogFile)
{
    if (!QFileInfo(command[0]).isExecutable()) {
        m_sSkipReason = command[0] + QStringLiteral(" is not installed");
        return false;
    }
    Stop();
    m_pProcess = std::make_unique<QProcess>();
    m_pProcess->setWorkingDirectory(m_sRoot);
    m_pProcess->setStandardInputFile(QProcess::nullDevice());
    m_pProcess->setProcessChannelMode(QProcess::MergedChannels);
    m_pProcess->setStandardOutputFile(workDir() + QStringLiteral("/output.txt"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Another interpreter's settings would break Debian's python3.
    env.remove(QStringLiteral("PYTHONPATH"));
    env.remove(QStringLiteral("PYTHONHOME"));
    env.insert(QStringLiteral("PYTHONUNBUFFERED"), QStringLiteral("1"));
    m_pProcess->setProcessEnvironment(env);
    m_pProcess->setChildProcessModifier([] {
        ::setsid();  // a group of its own, which Stop() kills as a last resort
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    m_pProcess->start(command[0], command.mid(1));
    const QDeadlineTimer deadline(10000);
    bool bReady = false;
    m_pProcess->waitForStarted(5000);
    while (m_pProcess->state() == QProcess::Running && !(bReady = ListeningOn(m_nPort)) && !deadline.hasExpired())
        m_pProcess->waitForFinished(20);  // the poll interval
    if (bReady) return true;
    const bool bEnded = m_pProcess->state() == QProcess::NotRunning;
    // pyftpd_server.py ends with 77 when pyftpdlib is missing.
    if (bEnded && m_pProcess->exitCode() == 77) m_sSkipReason = QStringLiteral("pyftpdlib is not installed for ") + kPython;
    qWarning().noquote() << command << "did not come up on 127.0.0.1:" + QString::number(m_nPort)
                         << (bEnded ? QStringLiteral("(exit code %1)").arg(m_pProcess->exitCode()) : QStringLiteral("(timed out)"))
                         << "\n--- output:\n" + Tail(workDir() + QStringLiteral("/output.txt"))
                         << (sLogFile.isEmpty() ? QString() : "\n--- log:\n" + Tail(sLogFile));
    Stop();
    return false;
}

QString FtpTestServer::Program(const QString& sName, const QString& sPackage)
{
    QString sPath = QStandardPaths::findExecutable(sName, {QStringLiteral("/usr/sbin")});
    if (sPath.isEmpty()) sPath = QStandardPaths::findExecutable(sName);
    if (sPath.isEmpty()) m_sSkipReason = QStringLiteral("%1 is not installed (Debian package %2)").arg(sName, sPackage);
    return sPath;
}

bool FtpTestServer::CreateSystemUser(const char* sPrefix, const QStringList& useraddOptions)
{
    if (::geteuid() != 0) {
        m_sSkipReason = QStringLiteral("a test user needs root");
        return false;
    }
    // Users a killed test binary left behind (the PID in their name is gone)
    // go first, with the temp folder their home was in.
    static bool s_bSwept = false;
    QFile passwd(QStringLiteral("/etc/passwd"));
    if (!std::exchange(s_bSwept, true) && passwd.open(QIODevice::ReadOnly)) {
        const QRegularExpression stale(QStringLiteral("^kv[ts](\\d+)n\\d+$"));
        for (const QByteArray& line : passwd.readAll().split('\n')) {
            const QStringList fields = QString::fromUtf8(line).split(QLatin1Char(':'));
            const QRegularExpressionMatch match = stale.match(fields.value(0));
            if (!match.hasMatch() || QFileInfo::exists(QStringLiteral("/proc/") + match.captured(1))) continue;
            RunTool(QStringLiteral("userdel"), {QStringLiteral("-f"), fields.value(0)});
            QDir folder = QFileInfo(fields.value(5)).dir();
            if (folder.dirName().startsWith(QLatin1String("kelvo-ftpsrv-"))) folder.removeRecursively();
        }
    }
    static int s_nCounter = 0;
    m_sUser = QStringLiteral("%1%2n%3").arg(QLatin1String(sPrefix)).arg(::getpid()).arg(++s_nCounter);
    m_sPassword = QString::number(QRandomGenerator::system()->generate64(), 36);
    QString output;
    m_bUserCreated = RunTool(QStringLiteral("useradd"), useraddOptions + QStringList{m_sUser}, &output);
    if (m_bUserCreated && RunTool(QStringLiteral("chpasswd"), {}, &output, (m_sUser + ':' + m_sPassword + '\n').toUtf8()))
        return true;
    qWarning().noquote() << "could not create the test user" << m_sUser << ":" << output;
    return false;
}

bool FtpTestServer::MakeCertificate()
{
    m_sCertificate = workDir() + QStringLiteral("/cert.pem");
    const QStringList args = QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
                                            "subjectAltName=IP:127.0.0.1 -keyout").split(' ')
                             + QStringList{keyFile(), QStringLiteral("-out"), m_sCertificate};
    QString output;
    if (RunTool(QStringLiteral("openssl"), args, &output)) return true;
    qWarning().noquote() << "openssl could not make a certificate:" << output;
    m_sCertificate.clear();
    return false;
}

PyFtpdServer::PyFtpdServer(Options options) : m_options(options)
{
    m_sUser = QStringLiteral("kelvo");
    m_sPassword = QString::number(QRandomGenerator::system()->generate64(), 36);
}

bool PyFtpdServer::Start()
{
    m_nPort = FreeLoopbackPorts(1 + kPasvPortCount);
    const QString log = workDir() + QStringLiteral("/pyftpd.log");
    QStringList command{kPython, QStringLiteral(KELVO_TEST_SERVERS_DIR "/pyftpd_server.py"), QStringLiteral("--root"), m_sRoot,
                        QStringLiteral("--user"), m_sUser, QStringLiteral("--password"), m_sPassword, QStringLiteral("--log"), log};
    command += QStringLiteral("--port %1 --pasv-min %2 --pasv-max %3 --max-connections %4")
                   .arg(m_nPort).arg(m_nPort + 1).arg(m_nPort + kPasvPortCount).arg(m_options.nMaxConnections)
                   .split(' ');
    if (!m_options.bMlsd) command << QStringLiteral("--no-mlsd");
    if (m_options.bTls) {
        if (!MakeCertificate()) return false;
        command << QStringLiteral("--tls-cert") << m_sCertificate << QStringLiteral("--tls-key") << keyFile();
    }
    return Run(command, log);
}

bool VsftpdServer::Start()
{
    const QString binary = Program(QStringLiteral("vsftpd"), QStringLiteral("vsftpd"));
    if (binary.isEmpty() || !CreateSystemUser("kvt", {QStringLiteral("-M"), QStringLiteral("-d"), m_sRoot, QStringLiteral("-s"), QStringLiteral("/bin/bash")}))
        return false;
    const passwd* pEntry = ::getpwnam(m_sUser.toLocal8Bit().constData());
    if (!pEntry || ::chown(QFile::encodeName(m_sRoot).constData(), pEntry->pw_uid, pEntry->pw_gid) != 0) {
        qWarning() << "vsftpd: could not give" << m_sRoot << "to" << m_sUser;
        return false;
    }
    m_nPort = FreeLoopbackPorts(1 + kPasvPortCount);
    // vsftpd chroots into an empty folder owned by root when idle.
    const QString empty = workDir() + QStringLiteral("/empty");
    QDir().mkpath(empty);
    const QString log = workDir() + QStringLiteral("/vsftpd.log");
    // The log with the protocol lines needs xferlog_enable=YES and xferlog_std_format=NO.
    QString config = QStringLiteral(
        "listen=YES\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
        "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
        "chroot_local_user=YES\nallow_writeable_chroot=YES\nlocal_root=%2\nsecure_chroot_dir=%3\n"
        "pam_service_name=vsftpd\nseccomp_sandbox=NO\n"
        "pasv_enable=YES\npasv_min_port=%4\npasv_max_port=%5\npasv_address=127.0.0.1\n"
        "utf8_filesystem=%7\nxferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
        "vsftpd_log_file=%6\ndelay_failed_login=0\n")
        .arg(m_nPort).arg(m_sRoot, empty).arg(m_nPort + 1).arg(m_nPort + kPasvPortCount).arg(log)
        .arg(m_options.bUtf8 ? QStringLiteral("YES") : QStringLiteral("NO"));
    if (m_options.bTls) {
        if (!MakeCertificate()) return false;
        config += QStringLiteral("ssl_enable=YES\nrsa_cert_file=%1\nrsa_private_key_file=%2\n"
                                 "force_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES\n"
                                 "ssl_sslv2=NO\nssl_sslv3=NO\nssl_tlsv1=YES\nssl_ciphers=HIGH\n")
                      .arg(m_sCertificate, keyFile());
    }
    const QString configPath = workDir() + QStringLiteral("/vsftpd.conf");
    // Reaped: vsftpd's sessions leave orphans behind.
    return WriteTestFile(configPath, config.toUtf8()) && Run({kPython, kReaper, binary, configPath}, log);
}

ScriptedServer::ScriptedServer(QString pythonSource) : m_sSource(std::move(pythonSource)) {}

bool ScriptedServer::Start()
{
    const QString script = workDir() + QStringLiteral("/script.py");
    m_nPort = FreeLoopbackPort();
    return WriteTestFile(script, m_sSource.toUtf8()) && Run({kPython, script, QString::number(m_nPort)});
}

QString DanteServer::logFile() const { return workDir() + QStringLiteral("/danted.log"); }

bool DanteServer::Start()
{
    const QString binary = Program(QStringLiteral("danted"), QStringLiteral("dante-server"));
    if (binary.isEmpty()) return false;
    QString config = QStringLiteral("clientmethod: none\n");
    if (m_options.bUserPassword) {
        if (!CreateSystemUser("kvs", {QStringLiteral("-M"), QStringLiteral("-s"), QStringLiteral("/usr/sbin/nologin")})) return false;
        // Root reads the shadow file to check the password; the relaying children run as nobody.
        config += QStringLiteral("socksmethod: username\nuser.privileged: root\nuser.unprivileged: nobody\n");
    } else {
        config += QStringLiteral("socksmethod: none\n");
    }
    m_nPort = FreeLoopbackPort();
    // BIND (and its reply) is what active mode through the proxy needs; everything stays within 127/8.
    config += QStringLiteral("logoutput: %1\ninternal: 127.0.0.1 port = %2\nexternal: 127.0.0.1\n"
                             "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                             "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect bind bindreply }\n")
                  .arg(logFile()).arg(m_nPort);
    const QString configPath = workDir() + QStringLiteral("/danted.conf");
    // danted stays in the foreground without -D. It switches its uid, which
    // clears its parent-death signal: the reaper passes the test binary's end on.
    if (!WriteTestFile(configPath, config.toUtf8())
        || !Run({kPython, kReaper, binary, QStringLiteral("-f"), configPath, QStringLiteral("-p"), workDir() + QStringLiteral("/danted.pid")},
                logFile()))
        return false;
    // Listening alone could still precede a refusal: connect once.
    QTcpSocket probe;
    probe.connectToHost(host(), m_nPort);
    if (probe.waitForConnected(10000)) return true;
    qWarning() << "danted listens but refuses connections; log:" << Tail(logFile());
    Stop();
    return false;
}
