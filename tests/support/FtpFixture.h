#pragma once

// What the engine tests stand on: the component pointed at a loopback server
// (real, or scripted in Python) with short timeouts (PointAtServer.h), its log,
// skipped items and certificate questions collected, a local folder, and the
// FtpError a call throws.
#include "FtpTestServers.h"
#include "PointAtServer.h"
#include "TestFiles.h"
#include "ftp/FtpComponent.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace FtpErrorNumber;

// Python source that the scripted-server tests put before their own body: a
// one-connection FTP server on 127.0.0.1 (or on `host`, when the source
// sets it before this prelude) that greets, logs in anyone, and answers commands
// from the table `replies` (a function taking the argument, returning the
// reply text, or None to fall through to the defaults). Data connections are
// passive on `data_port`; `send_data(bytes)` and `recv_data()` use them.
// `accept_data()`, `reset_close(sock)`, `dribble(text, delay)` and
// `trickle_data(chunk, delay, count)` are for servers that misbehave slowly.
inline constexpr char kPrelude[] = R"PY(
import socket, sys, os, time
port = int(sys.argv[1])
host = globals().get("host", "127.0.0.1"); family = socket.AF_INET6 if ":" in host else socket.AF_INET
if family == socket.AF_INET6:  # the fixture waits for 127.0.0.1:port to listen
    marker = socket.socket(); marker.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    marker.bind(("127.0.0.1", port)); marker.listen(1)
listener = socket.socket(family); listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((host, port)); listener.listen(1)
data_listener = socket.socket(family); data_listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
data_listener.bind((host, 0)); data_listener.listen(1)
data_port = data_listener.getsockname()[1]
listener.settimeout(30); data_listener.settimeout(10)
conn, _ = listener.accept(); conn.settimeout(30)
f = conn.makefile("rb")
def say(text): conn.sendall((text + "\r\n").encode("utf-8", "surrogateescape"))
def send_data(payload):
    d, _ = data_listener.accept(); d.sendall(payload); d.close()
def recv_data():
    d, _ = data_listener.accept(); chunks = []
    while True:
        b = d.recv(65536)
        if not b: break
        chunks.append(b)
    d.close(); return b"".join(chunks)
def accept_data():
    d, _ = data_listener.accept(); return d
def reset_close(sock):
    # A zero linger time makes close() send RST instead of FIN.
    import struct
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0)); sock.close()
def dribble(text, delay):
    # The line and its CRLF one byte at a time, delay seconds apart.
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    for b in (text + "\r\n").encode("utf-8", "surrogateescape"):
        conn.sendall(bytes([b])); time.sleep(delay)
def trickle_data(chunk, delay, count):
    # chunk(i) count times, delay apart, on a new data connection; False when
    # the client closed it before the end.
    d = accept_data()
    try:
        for i in range(count): d.sendall(chunk(i)); time.sleep(delay)
    except OSError: return False
    finally: d.close()
    return True
def pasv(): return "227 Entering Passive Mode (127,0,0,1,%d,%d)" % (data_port // 256, data_port % 256)
defaults = {"USER": lambda a: "331 pw", "PASS": lambda a: "230 in", "FEAT": lambda a: "211 none",
            "SYST": lambda a: "215 UNIX", "PWD": lambda a: '257 "/"', "TYPE": lambda a: "200 ok",
            "EPSV": lambda a: "500 no", "PASV": lambda a: pasv(), "QUIT": lambda a: "221 bye",
            "CWD": lambda a: "250 ok", "NOOP": lambda a: "200 ok"}
def serve(replies, greeting="220 scripted"):
    if greeting is not None: say(greeting)
    while True:
        line = f.readline()
        if not line: return
        line = line.decode("utf-8", "surrogateescape").rstrip("\r\n")
        verb, _, arg = line.partition(" ")
        verb = verb.upper()
        handler = replies.get(verb) or defaults.get(verb)
        answer = handler(arg) if handler else "502 not here"
        if answer is not None: say(answer)
        if verb == "QUIT": return
)PY";

// The FtpError a call throws, or number 0 when it does not throw.
template <typename Call>
FtpError ErrorOf(Call call)
{
    try {
        call();
    } catch (const FtpError& e) {
        return e;
    }
    return FtpError{0, QString()};
}

// A call that must fail with error nNumber, its description containing sPart.
template <typename Call>
testing::AssertionResult FailsWith(long nNumber, const QString& sPart, Call call)
{
    const FtpError e = ErrorOf(call);
    if (e.number == nNumber && e.description.contains(sPart)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "error " << e.number << ": " << e.description.toStdString();
}

// Starts a server in a test body: skipped when the server's program is
// missing (or needs root it does not have), failed when it did not come up.
#define KELVO_START_OR_SKIP(server)                                                                    \
    do {                                                                                               \
        if (!(server).Start()) {                                                                       \
            if (!(server).skipReason().isEmpty()) GTEST_SKIP() << (server).skipReason().toStdString(); \
            FAIL() << "the test server did not start";                                                 \
        }                                                                                              \
    } while (false)

inline QByteArray RandomBytes(qint64 nSize, quint32 nSeed)
{
    QByteArray data(nSize, Qt::Uninitialized);
    QRandomGenerator random(nSeed);
    for (char& c : data) c = static_cast<char>(random.generate());
    return data;
}

// Relative path -> SHA-256 of every file under root (folders as "<dir>").
inline QMap<QString, QByteArray> TreeOf(const QString& root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        tree.insert(QDir(root).relativeFilePath(info.filePath()),
                    info.isDir() ? "<dir>" : QCryptographicHash::hash(ReadTestFile(info.filePath()), QCryptographicHash::Sha256).toHex());
    }
    return tree;
}

// A component with what it logged and skipped ("remote|local|reason"), the
// certificates it asked about (answered with bTrust), and a local folder.
// Serve() starts a scripted server (kPrelude and a body) and points the
// component at it.
struct FtpClient {
    FtpComponent ftp;
    QStringList log, skipped, skipDetails;
    int nDisconnected = 0;
    QList<CertificateInfo> asked;
    bool bTrust = true;
    QTemporaryDir local;
    std::unique_ptr<FtpTestServer> server;

    FtpClient()
    {
        QObject::connect(&ftp, &FtpComponent::logText, [this](const QString& s, long) { log << s; });
        QObject::connect(&ftp, &FtpComponent::itemSkipped, [this](const QString& r, const QString& l, long n, const QString& d) {
            skipped << QStringLiteral("%1|%2|%3").arg(r, l).arg(n);
            if (!d.isEmpty()) skipDetails << d;
        });
        QObject::connect(&ftp, &FtpComponent::disconnected, [this] { ++nDisconnected; });
        QObject::connect(&ftp, &FtpComponent::certificateQuery, [this](const CertificateInfo& info, bool& bAnswer) {
            asked << info, bAnswer = bTrust;
        });
    }
    ~FtpClient()
    {
        if (ftp.state() != FtpComponent::kStateNotConnected) ErrorOf([&] { ftp.Disconnect(); });
    }
    bool Serve(const char* body, int nTimeoutMs = 2'000)
    {
        server = std::make_unique<ScriptedServer>(QString::fromUtf8(kPrelude) + QString::fromUtf8(body));
        if (!server->Start()) return false;
        PointAtServer(ftp, *server, nTimeoutMs);
        ftp.setConnectTimeout(nTimeoutMs);
        ftp.setUserName("tester");
        ftp.setPassword("secret");
        return true;
    }
    // A call that must succeed; when it fails, the error and the log say why.
    testing::AssertionResult Succeeds(const std::function<void()>& call)
    {
        const FtpError error = ErrorOf(call);
        if (error.number == 0) return testing::AssertionSuccess();
        return testing::AssertionFailure() << error.number << " " << error.description.toStdString() << "\n" << Log();
    }
    std::string Log() const { return log.join(QLatin1Char('\n')).toStdString(); }
    bool Logged(const QString& sPart) const
    {
        return std::any_of(log.begin(), log.end(), [&](const QString& line) { return line.contains(sPart); });
    }
    // Whether an item whose remote or local name ends with sName was skipped for nReason.
    bool Skipped(const QString& sName, long nReason) const
    {
        return std::any_of(skipped.begin(), skipped.end(), [&](const QString& s) {
            const QStringList parts = s.split(QLatin1Char('|'));
            return parts.value(2).toLong() == nReason && (parts[0].endsWith(sName) || parts[1].endsWith(sName));
        });
    }
    QString Local(const QString& sRelative) const { return local.filePath(sRelative); }
    QString Remote(const QString& sRelative) const { return server->root() + QLatin1Char('/') + sRelative; }
    QStringList Names(const QString& sMask = QString())
    {
        QStringList names;
        for (const ListingEntry& entry : ftp.FolderContents(sMask)) names << entry.name;
        return names;
    }
};
