#pragma once

#include "FtpTestServers.h"
#include "ftp/FtpComponent.h"

// The component pointed at a test server's user, with short timeouts: a
// test that goes wrong fails in seconds rather than the minute of real use.
inline void PointAtServer(FtpComponent& ftp, const FtpTestServer& server, int nIdleTimeoutMs = 10'000)
{
    ftp.setServerAddress(server.host());
    ftp.setPort(server.port());
    ftp.setUserName(server.user());
    ftp.setPassword(server.password());
    ftp.setConnectTimeout(10'000);
    ftp.setIdleTimeout(nIdleTimeoutMs);
}
