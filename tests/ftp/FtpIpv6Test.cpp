// The component over IPv6 (::1): EPSV for passive mode, EPRT |2| for active
// mode, and no PASV, which cannot name an IPv6 address.
#include "FtpFixture.h"

#include <QRegularExpression>

namespace {

// EPRT is taken for |2|::1| only; EPSV is switched off by EPSV_ON = False.
const char kIpv6Server[] = R"PY(
EPSV_ON = True
active = [None]
def eprt(a):
    _, proto, h, p, _ = a.split("|")
    active[0] = (h, int(p)) if proto == "2" and h == "::1" else None
    return "200 ok" if active[0] else "522 use |2|"
def epsv(a):
    active[0] = None
    return "229 ok (|||%d|)" % data_port if EPSV_ON else "500 no EPSV"
def listing(a):
    say("150 here")
    d = socket.create_connection(active[0], timeout=10) if active[0] else accept_data()
    d.sendall(b"-rw-r--r-- 1 u g 3 Jan 01 2020 six.txt\r\n"); d.close(); return "226 done"
serve({"EPRT": eprt, "EPSV": epsv, "PASV": lambda a: "500 PASV on IPv6? no", "LIST": listing})
)PY";

}  // namespace

TEST(FtpIpv6Test, PassiveUsesEpsvOnlyActiveAnnouncesTheIpv6AddressAndNoEpsvIsAClearError)
{
    for (const bool bEpsv : {true, false}) {
        FtpClient client;
        QString body = QString::fromUtf8(kIpv6Server);
        if (!bEpsv) body.replace("EPSV_ON = True", "EPSV_ON = False");
        client.server = std::make_unique<ScriptedServer>("host = '::1'\n" + QString::fromUtf8(kPrelude) + body);
        ASSERT_TRUE(client.server->Start());
        PointAtServer(client.ftp, *client.server, 5'000);
        client.ftp.setServerAddress("::1");
        client.ftp.setUserName("u");
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
