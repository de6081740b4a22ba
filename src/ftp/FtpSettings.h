#pragma once

#include "ftp/ExistingFiles.h"

#include <QString>
#include <QStringList>

// What one connection is told before each call: the server, the login, the
// waits, the proxy, TLS and the rules of folder transfers.
struct FtpSettings {
    QString sUser, sPassword, sServer;
    int nPort = 21;
    bool bPassive = true;
    long nTransferType = 0;  // 1 ASCII, 0 binary
    int nConnectTimeoutMs = 30'000;
    int nIdleTimeoutMs = 60'000;
    bool bUseMlsd = true;
    long nProxyType = 0;  // 0 none, 4 SOCKS 4/4a, 5 SOCKS 5
    QString sProxyHost, sProxyUser, sProxyPassword;
    int nProxyPort = 1080;
    int nConnections = 1;  // for the files of folder transfers
    // Explicit FTPS: AUTH TLS before the login, and every data connection
    // encrypted. A certificate the system does not vouch for is accepted
    // when its fingerprint is one of trustedCertificates (canonical form),
    // or when the owner says so when asked.
    bool bTls = false;
    QStringList trustedCertificates;
    // Files of folder transfers whose copy exists at the destination.
    ExistingFiles::Policy existingFiles = ExistingFiles::Policy::SkipIdentical;

    bool viaProxy() const { return nProxyType != 0; }
};
