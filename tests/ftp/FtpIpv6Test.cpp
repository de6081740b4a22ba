// The component over IPv6 (::1): EPSV for passive mode, EPRT |2| for active
// mode, and no PASV, which cannot name an IPv6 address.
#include "FtpFixture.h"

#include <QRegularExpression>

namespace {

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

}  // namespace

TEST(FtpIpv6Test, PassiveUsesEpsvOnlyActiveAnnouncesTheIpv6AddressAndNoEpsvIsAClearError)
{
    for (const bool bEpsv : {true, false}) {
        FtpClient client;
        QString source = QString::fromUtf8(kIpv6Server);
        if (!bEpsv) source.replace("epsv = len(sys.argv) < 3", "epsv = False");
        client.server = std::make_unique<ScriptedServer>(source);
        ASSERT_TRUE(client.server->Start());
        PointAtServer(client.ftp, *client.server, 5'000);
        client.ftp.setServerAddress("::1");
        client.ftp.setUserName("u");
        client.ftp.setPassword("p");
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.Connect(); }));
        const auto sent = [&](const char* verb) {
            return !client.log.filter(QRegularExpression(QStringLiteral("^%1( |$)").arg(QLatin1String(verb)))).isEmpty();
        };
        if (!bEpsv) {
            const FtpError e = ErrorOf([&] { client.ftp.FolderContents(); });
            EXPECT_EQ(e.number, kDataConnection) << "listing without EPSV over IPv6 claimed success";
            EXPECT_TRUE(e.description.contains("IPv6")) << e.description.toStdString();
            EXPECT_FALSE(sent("PASV"));
            EXPECT_EQ(client.ftp.state(), FtpComponent::kStateConnected) << "the connection stays usable";
            continue;
        }
        EXPECT_EQ(client.Names(), QStringList{"six.txt"});
        EXPECT_TRUE(sent("EPSV"));
        EXPECT_FALSE(sent("PASV"));
        client.ftp.setPassiveMode(false);
        EXPECT_EQ(client.Names(), QStringList{"six.txt"});
        EXPECT_TRUE(client.Logged("EPRT |2|::1|")) << client.Log();
        EXPECT_FALSE(sent("PORT")) << "PORT cannot carry an IPv6 address";
    }
}
