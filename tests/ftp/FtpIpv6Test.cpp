// The component over IPv6 (::1): EPSV for passive mode, EPRT |2| for active
// mode, and no PASV, which cannot name an IPv6 address.
#include "FtpTestServers.h"
#include "ftp/FtpComponent.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using namespace FtpErrorNumber;

// Listens on [::1]:port for the session (and on 127.0.0.1:port only so that
// the fixture sees the port in use). EPSV can be switched off by argv[2].
const char kIpv6Server[] = R"PY(
import socket, sys
port = int(sys.argv[1]); epsv = len(sys.argv) < 3
marker = socket.socket(); marker.bind(("127.0.0.1", port)); marker.listen(1)
listener = socket.socket(socket.AF_INET6); listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("::1", port)); listener.listen(1); listener.settimeout(30)
data_listener = socket.socket(socket.AF_INET6); data_listener.bind(("::1", 0)); data_listener.listen(1)
data_listener.settimeout(10)
conn, _ = listener.accept(); conn.settimeout(30); f = conn.makefile("rb")
def say(t): conn.sendall((t + "\r\n").encode())
active = None
listing = b"-rw-r--r-- 1 u g 3 Jan 01 2020 six.txt\r\n"
say("220 v6")
while True:
    line = f.readline()
    if not line: break
    verb, _, arg = line.decode().rstrip("\r\n").partition(" ")
    verb = verb.upper()
    if verb == "USER": say("331 pw")
    elif verb == "PASS": say("230 in")
    elif verb == "PWD": say('257 "/"')
    elif verb == "EPSV" and epsv: say("229 ok (|||%d|)" % data_listener.getsockname()[1]); active = None
    elif verb == "EPRT":
        _, proto, host, p, _ = arg.split("|")
        active = (host, int(p)) if proto == "2" and host == "::1" else None
        say("200 ok" if active else "522 use |2|")
    elif verb == "PASV": say("500 PASV on IPv6? no")
    elif verb == "LIST":
        say("150 here")
        if active:
            d = socket.create_connection(active, timeout=10)
        else:
            d, _ = data_listener.accept()
        d.sendall(listing); d.close(); say("226 done")
    elif verb == "QUIT": say("221 bye"); break
    else: say("502 not here")
)PY";

class FtpIpv6Test : public ::testing::Test {
protected:
    void Start(bool bEpsv)
    {
        QString source = QString::fromUtf8(kIpv6Server);
        if (!bEpsv) source.replace(QStringLiteral("epsv = len(sys.argv) < 3"), QStringLiteral("epsv = False"));
        m_server = std::make_unique<ScriptedServer>(source);
        ASSERT_TRUE(m_server->Start());
        m_ftp.setServerAddress(QStringLiteral("::1"));
        m_ftp.setPort(m_server->port());
        m_ftp.setUserName(QStringLiteral("u"));
        m_ftp.setPassword(QStringLiteral("p"));
        m_ftp.setConnectTimeout(5'000);
        m_ftp.setIdleTimeout(5'000);
        QObject::connect(&m_ftp, &FtpComponent::logText, [this](const QString& line, long) { m_log << line; });
    }
    bool Sent(const char* verb) const
    {
        return !m_log.filter(QRegularExpression(QStringLiteral("^%1( |$)").arg(QLatin1String(verb)))).isEmpty();
    }

    std::unique_ptr<ScriptedServer> m_server;
    FtpComponent m_ftp;
    QStringList m_log;
};

}  // namespace

TEST_F(FtpIpv6Test, PassiveModeUsesEpsvOnly)
{
    ASSERT_NO_FATAL_FAILURE(Start(true));
    m_ftp.Connect();
    const QList<ListingEntry> entries = m_ftp.FolderContents();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].name, QStringLiteral("six.txt"));
    EXPECT_TRUE(Sent("EPSV"));
    EXPECT_FALSE(Sent("PASV"));
}

TEST_F(FtpIpv6Test, ActiveModeAnnouncesTheIpv6Address)
{
    ASSERT_NO_FATAL_FAILURE(Start(true));
    m_ftp.setPassiveMode(false);
    m_ftp.Connect();
    ASSERT_EQ(m_ftp.FolderContents().size(), 1);
    EXPECT_FALSE(m_log.filter(QStringLiteral("EPRT |2|::1|")).isEmpty()) << m_log.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(Sent("PORT")) << "PORT cannot carry an IPv6 address";
}

TEST_F(FtpIpv6Test, RefusedEpsvOverIpv6IsAClearError)
{
    ASSERT_NO_FATAL_FAILURE(Start(false));
    m_ftp.Connect();
    try {
        m_ftp.FolderContents();
        FAIL() << "listing without EPSV over IPv6 claimed success";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.number, kDataConnection);
        EXPECT_TRUE(e.description.contains(QStringLiteral("IPv6"))) << e.description.toStdString();
    }
    EXPECT_FALSE(Sent("PASV"));
    EXPECT_EQ(m_ftp.state(), FtpComponent::kStateConnected) << "the connection stays usable";
}
