#include "FtpTestServers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <utility>
#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kPasvPortCount = 20;
const QString kPython = QStringLiteral("/usr/bin/python3");

QMutex g_portsMutex;
QSet<quint16> g_handedOut;

// Whether 127.0.0.1:port can be bound now and was not handed out before.
bool Unused(quint16 nPort)
{
    if (g_handedOut.contains(nPort)) return false;
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, nPort);
}

// A run of nCount consecutive free ports for passive data connections, below
// the kernel's ephemeral range so outgoing sockets do not land in it.
bool FreePortRange(int nCount, quint16& nMin, quint16& nMax)
{
    QMutexLocker lock(&g_portsMutex);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto start = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 30000 - nCount));
        bool bAllFree = true;
        for (int i = 0; i < nCount && bAllFree; ++i) bAllFree = Unused(static_cast<quint16>(start + i));
        if (!bAllFree) continue;
        for (int i = 0; i < nCount; ++i) g_handedOut.insert(static_cast<quint16>(start + i));
        nMin = start;
        nMax = static_cast<quint16>(start + nCount - 1);
        return true;
    }
    return false;
}

// Whether some socket listens on 127.0.0.1:port (or on all IPv4 addresses).
// Read from the kernel's table so the check never takes a connection away
// from a server that accepts only one.
bool ListeningOn(quint16 nPort)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) return false;
    const QByteArray sPort = QByteArray::number(nPort, 16).toUpper().rightJustified(4, '0');
    const QByteArray loopback = "0100007F:" + sPort, any = "00000000:" + sPort;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && (fields[1] == loopback || fields[1] == any) && fields[3] == "0A") return true;
    }
    return false;
}

QString Tail(const QString& sPath, qint64 nBytes = 4000)
{
    QFile file(sPath);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("(none)");
    if (file.size() > nBytes) file.seek(file.size() - nBytes);
    return QString::fromUtf8(file.readAll());
}

// Runs a system tool and waits for it; the output is kept for diagnostics.
bool RunTool(const QString& program, const QStringList& args, QString* pOutput = nullptr,
             const QByteArray& input = QByteArray())
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, args);
    if (!tool.waitForStarted(5000)) return false;
    if (!input.isEmpty()) tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(15000)) {
        tool.kill();
        tool.waitForFinished(2000);
        return false;
    }
    if (pOutput) *pOutput = QString::fromLocal8Bit(tool.readAll());
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

bool FileHasLine(const QString& sPath, const QString& sLine)
{
    QFile file(sPath);
    return file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')).contains(sLine);
}

}  // namespace

quint16 FreeLoopbackPort()
{
    QMutexLocker lock(&g_portsMutex);
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) continue;
        const quint16 nPort = probe.serverPort();
        if (g_handedOut.contains(nPort)) continue;
        g_handedOut.insert(nPort);
        return nPort;
    }
    return 0;
}

// Waits until host:port greets with "220", then says QUIT and waits for the
// server to close, so the probe does not hold a connection slot.
static bool WaitForGreeting(const QString& host, quint16 port, int nTimeoutMs)
{
    const QDeadlineTimer deadline(nTimeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(host, port);
        if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            QThread::msleep(50);
            continue;
        }
        while (!deadline.hasExpired()) {
            if (!socket.canReadLine() && !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) break;
            while (socket.canReadLine()) {
                if (!socket.readLine().startsWith("220")) continue;
                // Leave politely so a server with a connection limit has the
                // slot free again when the caller connects.
                socket.write("QUIT\r\n");
                socket.waitForBytesWritten(1000);
                if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(2000);
                return true;
            }
        }
    }
    return false;
}

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
    if (m_bUserCreated && !RunTool(QStringLiteral("userdel"), {m_sUser}))
        RunTool(QStringLiteral("userdel"), {QStringLiteral("-f"), m_sUser});
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

QString FtpTestServer::NewUserName(const char* sPrefix)
{
    static int s_nCounter = 0;
    return QStringLiteral("%1%2n%3").arg(QLatin1String(sPrefix)).arg(QCoreApplication::applicationPid()).arg(++s_nCounter);
}

bool FtpTestServer::CreateSystemUser(const QStringList& useraddOptions)
{
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
    QString output;
    if (!m_bUserCreated && !RunTool(QStringLiteral("useradd"), useraddOptions + QStringList{m_sUser}, &output)) {
        qWarning().noquote() << "useradd" << m_sUser << "failed:" << output;
        return false;
    }
    m_bUserCreated = true;
    if (RunTool(QStringLiteral("chpasswd"), {}, &output, (m_sUser + QLatin1Char(':') + m_sPassword + QLatin1Char('\n')).toUtf8()))
        return true;
    qWarning().noquote() << "chpasswd failed:" << output;
    return false;
}

QString FtpTestServer::url() const
{
    if (m_sUser.isEmpty()) return QStringLiteral("ftp://%1:%2/").arg(host()).arg(m_nPort);
    return QStringLiteral("ftp://%1:%2@%3:%4/")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_sUser)),
             QString::fromLatin1(QUrl::toPercentEncoding(m_sPassword)), host())
        .arg(m_nPort);
}

qint64 FtpTestServer::pid() const
{
    return m_pProcess && m_pProcess->state() != QProcess::NotRunning ? m_pProcess->processId() : 0;
}

QString FtpTestServer::workDir() const { return m_pDir->path(); }

bool FtpTestServer::Launch(const QString& program, const QStringList& args)
{
    Stop();
    m_pProcess = std::make_unique<QProcess>();
    m_pProcess->setWorkingDirectory(m_sRoot);
    m_pProcess->setStandardInputFile(QProcess::nullDevice());
    m_pProcess->setStandardOutputFile(workDir() + QStringLiteral("/stdout.txt"));
    m_pProcess->setStandardErrorFile(workDir() + QStringLiteral("/stderr.txt"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Another interpreter's settings would break Debian's python3.
    env.remove(QStringLiteral("PYTHONPATH"));
    env.remove(QStringLiteral("PYTHONHOME"));
    env.insert(QStringLiteral("PYTHONUNBUFFERED"), QStringLiteral("1"));
    env.insert(QStringLiteral("PYTHONDONTWRITEBYTECODE"), QStringLiteral("1"));
    m_pProcess->setProcessEnvironment(env);
    m_pProcess->setChildProcessModifier([] {
        // A group of its own (Stop() kills it as a last resort), and no
        // orphan if the test binary dies.
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    m_pProcess->start(program, args);
    if (m_pProcess->waitForStarted(5000)) return true;
    qWarning().noquote() << "could not start" << program << ":" << m_pProcess->errorString();
    m_pProcess.reset();
    return false;
}

bool FtpTestServer::WaitUntilReady(int nTimeoutMs, bool bGreeting, int* pExitCode)
{
    const QDeadlineTimer deadline(nTimeoutMs);
    while (!ListeningOn(m_nPort)) {
        // Doubles as the poll interval; true means the server ended.
        if (!m_pProcess || m_pProcess->waitForFinished(20) || m_pProcess->state() == QProcess::NotRunning) {
            if (pExitCode && m_pProcess) *pExitCode = m_pProcess->exitCode();
            return false;
        }
        if (deadline.hasExpired()) return false;
    }
    if (!bGreeting) return true;
    return WaitForGreeting(host(), m_nPort, static_cast<int>(qMax<qint64>(deadline.remainingTime(), 1000)));
}

void FtpTestServer::ReportFailure(const QString& sWhat, const QString& sLogFile) const
{
    qWarning().noquote() << sWhat << "on 127.0.0.1:" + QString::number(m_nPort)
                         << "\n--- stderr:\n" + Tail(workDir() + QStringLiteral("/stderr.txt"))
                         << "\n--- stdout:\n" + Tail(workDir() + QStringLiteral("/stdout.txt"))
                         << (sLogFile.isEmpty() ? QString() : "\n--- log:\n" + Tail(sLogFile));
}

QString FtpTestServer::NewPassword() { return QString::number(QRandomGenerator::system()->generate64(), 36); }

bool FtpTestServer::WriteTextFile(const QString& sPath, const QString& sText)
{
    QFile file(sPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(sText.toUtf8()) >= 0) return true;
    qWarning() << "could not write" << sPath;
    return false;
}

PyFtpdServer::PyFtpdServer() : PyFtpdServer(Options()) {}

PyFtpdServer::PyFtpdServer(Options options) : m_options(options)
{
    m_sUser = QStringLiteral("kelvo");
    m_sPassword = NewPassword();
}

bool PyFtpdServer::Start()
{
    if (!QFileInfo(kPython).isExecutable()) {
        m_sSkipReason = QStringLiteral("%1 is not installed").arg(kPython);
        return false;
    }
    const QString script = QStringLiteral(KELVO_TEST_SERVERS_DIR "/pyftpd_server.py");
    m_nPort = FreeLoopbackPort();
    if (m_nPort == 0 || !FreePortRange(kPasvPortCount, m_nPasvMin, m_nPasvMax)) {
        qWarning() << "no free loopback ports for pyftpdlib";
        return false;
    }
    const QString log = workDir() + QStringLiteral("/pyftpd.log");
    // Paths and the password as whole arguments: they may hold spaces.
    QStringList args{script, QStringLiteral("--root"), m_sRoot, QStringLiteral("--user"), m_sUser,
                     QStringLiteral("--password"), m_sPassword, QStringLiteral("--log"), log};
    args += QStringLiteral("--port %1 --pasv-min %2 --pasv-max %3 --max-connections %4")
                .arg(m_nPort).arg(m_nPasvMin).arg(m_nPasvMax).arg(m_options.nMaxConnections)
                .split(QLatin1Char(' '));
    if (!m_options.bMlsd) args << QStringLiteral("--no-mlsd");
    if (m_options.bTls) {
        if (!MakeCertificate()) return false;
        args << QStringLiteral("--tls-cert") << m_sCertificate << QStringLiteral("--tls-key") << keyFile();
    }
    if (!Launch(kPython, args)) return false;

    int nExit = -1;
    if (WaitUntilReady(kStartTimeoutMs, true, &nExit)) return true;
    if (nExit == 77) m_sSkipReason = QStringLiteral("pyftpdlib is not installed for %1").arg(kPython);
    ReportFailure(QStringLiteral("pyftpdlib did not come up"), log);
    Stop();
    return false;
}

VsftpdServer::VsftpdServer() : VsftpdServer(Options()) {}

VsftpdServer::VsftpdServer(Options options) : m_options(options)
{
    m_sUser = NewUserName("kvt");
    m_sPassword = NewPassword();
}

bool VsftpdServer::Start()
{
    QString binary = QStringLiteral("/usr/sbin/vsftpd");
    if (!QFileInfo(binary).isExecutable()) binary = QStandardPaths::findExecutable(QStringLiteral("vsftpd"));
    if (binary.isEmpty()) {
        m_sSkipReason = QStringLiteral("vsftpd is not installed");
        return false;
    }
    if (::geteuid() != 0) {
        m_sSkipReason = QStringLiteral("vsftpd needs root (PAM, chroot)");
        return false;
    }

    const QString shell = QStringLiteral("/bin/bash");
    if (!FileHasLine(QStringLiteral("/etc/shells"), shell)) {
        qWarning() << "vsftpd: /bin/bash is not listed in /etc/shells, PAM would refuse the test user";
        return false;
    }
    if (FileHasLine(QStringLiteral("/etc/ftpusers"), m_sUser)) {
        qWarning() << "vsftpd: test user" << m_sUser << "is listed in /etc/ftpusers";
        return false;
    }

    if (!CreateSystemUser({QStringLiteral("-M"), QStringLiteral("-d"), m_sRoot, QStringLiteral("-s"), shell})) return false;
    const passwd* pEntry = ::getpwnam(m_sUser.toLocal8Bit().constData());
    if (!pEntry || ::chown(QFile::encodeName(m_sRoot).constData(), pEntry->pw_uid, pEntry->pw_gid) != 0) {
        qWarning() << "vsftpd: could not give" << m_sRoot << "to" << m_sUser;
        return false;
    }

    m_nPort = FreeLoopbackPort();
    if (m_nPort == 0 || !FreePortRange(kPasvPortCount, m_nPasvMin, m_nPasvMax)) {
        qWarning() << "no free loopback ports for vsftpd";
        return false;
    }
    // vsftpd wants an empty folder owned by root to chroot into when idle.
    const QString empty = workDir() + QStringLiteral("/empty");
    QDir().mkpath(empty);
    const QString log = workDir() + QStringLiteral("/vsftpd.log");
    // The vsftpd-style log (with the protocol lines) is written only with
    // xferlog_enable=YES and xferlog_std_format=NO.
    const QString config = QStringLiteral(
        "listen=YES\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
        "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
        "chroot_local_user=YES\nallow_writeable_chroot=YES\nlocal_root=%2\nsecure_chroot_dir=%3\n"
        "pam_service_name=vsftpd\nseccomp_sandbox=NO\n"
        "pasv_enable=YES\npasv_min_port=%4\npasv_max_port=%5\npasv_address=127.0.0.1\n"
        "utf8_filesystem=%7\nxferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
        "vsftpd_log_file=%6\ndelay_failed_login=0\n")
        .arg(m_nPort).arg(m_sRoot, empty).arg(m_nPasvMin).arg(m_nPasvMax).arg(log)
        .arg(m_options.bUtf8 ? QStringLiteral("YES") : QStringLiteral("NO"));
    QString tls;
    if (m_options.bTls) {
        if (!MakeCertificate()) return false;
        tls = QStringLiteral("ssl_enable=YES\nrsa_cert_file=%1\nrsa_private_key_file=%2\n"
                             "force_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES\n"
                             "ssl_sslv2=NO\nssl_sslv3=NO\nssl_tlsv1=YES\nssl_ciphers=HIGH\n")
                  .arg(m_sCertificate, keyFile());
    }
    const QString configPath = workDir() + QStringLiteral("/vsftpd.conf");
    if (!WriteTextFile(configPath, config + tls)) return false;
    // Under a reaper of its own: vsftpd's sessions leave orphans behind.
    const bool bStarted = QFileInfo(kPython).isExecutable()
                              ? Launch(kPython, {QStringLiteral(KELVO_TEST_SERVERS_DIR "/reaper.py"), binary, configPath})
                              : Launch(binary, {configPath});
    if (!bStarted) return false;
    if (WaitUntilReady(kStartTimeoutMs, true)) return true;
    ReportFailure(QStringLiteral("vsftpd did not come up"), log);
    Stop();
    return false;
}

QString FtpTestServer::keyFile() const { return workDir() + QStringLiteral("/key.pem"); }

bool FtpTestServer::MakeCertificate()
{
    m_sCertificate = workDir() + QStringLiteral("/cert.pem");
    QString output;
    if (!RunTool(QStringLiteral("openssl"),
                 {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                  QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                  QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                  QStringLiteral("-keyout"), keyFile(), QStringLiteral("-out"), m_sCertificate},
                 &output)) {
        qWarning().noquote() << "vsftpd: openssl could not make a certificate:" << output;
        m_sCertificate.clear();
        return false;
    }
    return true;
}

ScriptedServer::ScriptedServer(QString pythonSource) : m_sSource(std::move(pythonSource)) {}

bool ScriptedServer::Start()
{
    if (!QFileInfo(kPython).isExecutable()) {
        m_sSkipReason = QStringLiteral("%1 is not installed").arg(kPython);
        return false;
    }
    const QString script = workDir() + QStringLiteral("/script.py");
    m_nPort = FreeLoopbackPort();
    if (!WriteTextFile(script, m_sSource) || m_nPort == 0 || !Launch(kPython, {script, QString::number(m_nPort)})) return false;
    if (WaitUntilReady(kStartTimeoutMs, false)) return true;
    ReportFailure(QStringLiteral("scripted server did not listen"));
    Stop();
    return false;
}
