// The component against vsftpd with explicit FTPS.
#include "FtpTestServers.h"
#include "StartOrSkip.h"
#include "ftp/FtpComponent.h"

#include <gtest/gtest.h>

using namespace FtpErrorNumber;

TEST(FtpTlsTest, PlainLoginToAServerThatRequiresTlsFailsWithTheServersReason)
{
    VsftpdServer::Options options;
    options.bTls = true;
    VsftpdServer server(options);
    KELVO_START_OR_SKIP(server, "vsftpd did not start");
    FtpComponent ftp;
    ftp.setServerAddress(server.host());
    ftp.setPort(server.port());
    ftp.setUserName(server.user());
    ftp.setPassword(server.password());
    ftp.setConnectTimeout(10'000);
    FtpError error{0, QString()};
    try {
        ftp.Connect();
    } catch (const FtpError& e) {
        error = e;
    }
    EXPECT_EQ(error.number, kLoginFailed);
    EXPECT_TRUE(error.description.contains(QLatin1String("encryption"))) << error.description.toStdString();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);
}
