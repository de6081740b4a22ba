#pragma once

#include "FtpTestServers.h"

// Dante (danted) as a SOCKS 4/5 proxy on 127.0.0.1:port(), relaying CONNECT
// and BIND between loopback addresses only; pid() is its reaper's.
struct DanteOptions {
    bool bUserPassword = false;  // RFC 1929 username/password, for a new system user (needs root)
};
class DanteServer : public FtpTestServer {
public:
    using Options = DanteOptions;
    explicit DanteServer(Options options = {}) : m_options(options) {}
    bool Start() override;
    QString logFile() const;

private:
    Options m_options;
};
