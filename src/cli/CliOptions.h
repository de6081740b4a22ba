#pragma once

#include "ftp/ExistingFiles.h"

#include <QString>
#include <QStringList>

// The command line of kelvoftp, parsed without any input or output, so that
// every rule here can be checked without a server or a terminal.

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;   // the server or the network failed
inline constexpr int kExitUsage = 2;     // the command line (or a script line) is wrong

inline constexpr int kMaxConnections = 10;  // --connections

enum class CliCommand {
    None,
    List,          // ls [REMOTE]
    Get,           // get REMOTE [LOCAL]
    Put,           // put LOCAL [REMOTE]
    GetFolder,     // getdir REMOTE LOCALDIR
    PutFolder,     // putdir LOCALDIR REMOTE
    MakeFolder,    // mkdir NAME
    RemoveFolder,  // rmdir NAME
    Remove,        // rm NAME
    Rename,        // mv FROM TO
    Quote,         // quote "RAW"
    ChangeFolder,  // cd DIR
    PrintFolder,   // pwd
    Script,        // -: one command per line from standard input
};

// One command with its arguments; the number of arguments is already checked.
struct CliCommandLine {
    CliCommand command = CliCommand::None;
    QStringList args;   // quote's words are joined into one argument
};

struct CliOptions {
    QString sHost;          // an IPv6 literal without its brackets
    int nPort = 21;
    QString sUser;          // decoded; "anonymous" when the URL names none
    QString sPassword;      // decoded; from KELVO_PASSWORD when the URL has a user but no password
    bool bPasswordInUrl = false;  // given in the URL, where the process list shows it
    bool bAskPassword = false;    // a user without a password in the URL or KELVO_PASSWORD
    QString sPath;          // decoded URL path to change to after login; empty for none or "/"

    bool bPassive = true;
    int nTimeoutMs = 0;     // 0: the component's own timeouts
    bool bResume = false;
    // Files whose copy exists at the destination (--existing): get, put and
    // the files inside getdir and putdir.
    ExistingFiles::Policy existing = ExistingFiles::Policy::SkipIdentical;
    QString sLogFile;
    bool bAscii = false;
    bool bUseMlsd = true;
    int nConnections = 4;   // for the files of getdir and putdir
    bool bVerbose = false;
    bool bTls = false;                  // ftpes:// or --tls
    QStringList trustedCertificates;    // --tls-trust, canonical fingerprints
    bool bHelp = false;     // nothing else is filled in then

    // The SOCKS proxy the control and data connections go through.
    int nProxyType = 0;             // 0 none, 4 SOCKS 4, 5 SOCKS 5
    QString sProxyHost;             // an IPv6 literal without its brackets
    int nProxyPort = 1080;
    QString sProxyUser;             // empty: no user (SOCKS 5: no authentication)
    QString sProxyPassword;         // SOCKS 5 only; from KELVO_SOCKS_PASSWORD when not given
    bool bProxyPasswordGiven = false;   // --socks-password was on the command line

    CliCommandLine command;
};

struct CliParseResult {
    CliOptions options;
    QString sError;         // empty when the command line is usable
    bool ok() const { return sError.isEmpty(); }
};

// args: the command line without the program name. sEnvPassword and
// sEnvSocksPassword: the values of KELVO_PASSWORD and KELVO_SOCKS_PASSWORD
// (empty when unset).
CliParseResult ParseCliArguments(const QStringList& args, const QString& sEnvPassword = QString(),
                                 const QString& sEnvSocksPassword = QString());

// The command word and its arguments, checked; returns the error text, or an
// empty string when `out` is filled in. In a script "-" is not a command.
QString ParseCommandWords(const QStringList& words, CliCommandLine& out, bool bInScript);

// Splits one script line into words: blanks separate words, double quotes
// group a word with blanks in it, and inside quotes \" and \\ stand for " and
// \. A blank line or a line starting with '#' gives no words. Returns the
// error text (an unclosed quote), or an empty string.
QString TokenizeScriptLine(const QString& sLine, QStringList& words);

// The last part of a remote path ("dir/sub/file" gives "file").
QString RemoteBaseName(const QString& sRemote);

// The folder part of a remote path ("dir/sub/file" gives "dir/sub", "/file"
// gives "/", "file" gives "").
QString RemoteFolderPart(const QString& sRemote);

// Full help text, and the short hint printed after a usage error.
QString CliUsageText();
QString CliUsageHint();
