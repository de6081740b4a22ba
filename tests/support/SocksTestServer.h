#pragma once

#include "FtpTestServers.h"

#include <QString>
#include <QtGlobal>

// Dante (danted) as a SOCKS 4/5 proxy on 127.0.0.1:port(), relaying CONNECT
// and BIND between loopback addresses only. It runs in the foreground in a
// session of its own, under servers/reaper.py, which stops it and the
// children it leaves behind; pid() is the reaper's.
class DanteServer : public FtpTestServer {
public:
    struct Options {
        bool bUserPassword = false;  // false: no authentication; true: RFC 1929 username/password
    };
    // Two constructors: see PyFtpdServer.
    DanteServer();
    explicit DanteServer(Options options);

    // With bUserPassword, creates a system user for the proxy login first.
    // False when it could not start; skipReason() says why when danted is
    // missing (or, for a login, when not run as root).
    bool Start() override;

    // danted's log, for diagnostics.
    QString logFile() const;

private:
    Options m_options;
};
