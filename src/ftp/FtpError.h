#pragma once

#include <QString>

// What every failing FTP call throws. `number` is one of the stable numbers
// below; `description` says what happened in words a user can act on, and
// carries the server's reply text where the server refused something.
struct FtpError {
    long number = 0;
    QString description;
};

namespace FtpErrorNumber {

// The rename target already exists (callers show their own message for it).
inline constexpr long kFileExists = 58;

inline constexpr long kNotConnected = 1001;      // the call needs a connection
inline constexpr long kBusy = 1002;              // another call is still running
inline constexpr long kTimeout = 1003;           // connect, reply or data wait ran out
inline constexpr long kConnectFailed = 1004;     // host not found, refused, unreachable
inline constexpr long kConnectionLost = 1005;    // the server or the network closed the connection
inline constexpr long kLoginFailed = 1006;       // USER/PASS/ACCT refused
inline constexpr long kRefused = 1007;           // any other negative reply; text = the server's reply
inline constexpr long kProtocol = 1008;          // a reply that breaks the protocol (malformed, too long)
inline constexpr long kLocalFile = 1009;         // a local file or folder could not be read or written
inline constexpr long kShortTransfer = 1010;     // fewer bytes arrived than announced, or no final reply
inline constexpr long kAborted = 1011;           // the abort property stopped the call
inline constexpr long kInvalidArgument = 1012;   // an argument the call cannot use
inline constexpr long kUnsafeName = 1013;        // a name that would leave the target folder
inline constexpr long kDataConnection = 1014;    // the data connection could not be opened
inline constexpr long kTls = 1015;               // TLS refused or failed, or the certificate not trusted
inline constexpr long kNameEncoding = 1016;      // a name the server's character set cannot carry

}  // namespace FtpErrorNumber
