#pragma once

#include <QString>

class CRegister;
class FtpComponent;
struct CertificateInfo;

// What the site manager hands back for a connection.
struct ConnectionRequest {
    QString sServer, sPort, sUserName, sPassword;
    bool bAnonymous = true;
    bool bUseTls = false;  // explicit FTPS
};

namespace ConnectionRules {

// The password sent for anonymous logins.
inline constexpr char kAnonymousPassword[] = "pmqrt";

// A port text as a port: a whole number from 1 to 65535 (blanks around it
// allowed), nothing else.
bool ParsePort(const QString& sText, quint16& nPort);

// The stored number of connections for folder transfers: a whole number
// from 1 up (above the component's limit: the limit); anything else, or
// nothing stored, gives kDefaultConnections.
inline constexpr int kDefaultConnections = 4;
int ParallelConnections(const QString& sStored);

// Puts the connection's properties on the component: server, port, login
// (anonymous: "anonymous" / "pmqrt"), TLS and the certificate trusted always
// for the server, passive mode from "FTP PASV", the connections for folder
// transfers, and the proxy from the firewall settings. Returns an empty
// string when done, or the reason when a port text is not a port; then
// nothing is changed.
QString Apply(FtpComponent& ftp, const ConnectionRequest& request, const CRegister& reg);

// The fingerprint of the certificate trusted always for the server (empty
// when none), and storing one in its place. Host names are compared
// ignoring case and surrounding blanks, IPv6 addresses with or without
// brackets.
QString TrustedCertificate(const CRegister& reg, const QString& sHost, int nPort);
bool TrustCertificate(const CRegister& reg, const QString& sHost, int nPort, const QString& sFingerprint);

// The question for a certificate nothing vouches for: what identifies it,
// a warning first when sTrusted (the fingerprint trusted before for this
// server) is another, and what Yes, No and Cancel do.
QString CertificateQuestion(const CertificateInfo& info, const QString& sTrusted);

}  // namespace ConnectionRules
