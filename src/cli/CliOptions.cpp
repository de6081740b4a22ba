#include "cli/CliOptions.h"

#include <QMap>

#include "ftp/Fingerprint.h"

#include <QtNumeric>

#include <optional>

namespace {

// Longest timeout that still fits the component's int milliseconds.
constexpr double kMaxTimeoutSeconds = 2'000'000.0;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Strict percent-decoding: a '%' not followed by two hex digits is an error
// rather than passed through, so that a mistyped password fails loudly.
std::optional<QString> PercentDecode(const QString& sText)
{
    const QByteArray in = sText.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size()) return std::nullopt;
        const int hi = HexValue(in[i + 1]);
        const int lo = HexValue(in[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return QString::fromUtf8(out);
}

bool IsIpv6Literal(const QString& sHost)
{
    if (!sHost.contains(QLatin1Char(':'))) return false;
    for (const QChar c : sHost) {
        const bool bHex = c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
        if (!bHex && c != QLatin1Char(':') && c != QLatin1Char('.')) return false;
    }
    return true;
}

// "HOST", "HOST:PORT", "[IPV6]" or "[IPV6]:PORT", as in a URL. nPort stays
// as it is when no port is given. sWhat names the source in the messages.
QString ParseHostPort(const QString& sHostPort, const QString& sWhat, QString& sHost, int& nPort)
{
    QString sPort;
    bool bHasPort = false;
    if (sHostPort.startsWith(QLatin1Char('['))) {
        const qsizetype nClose = sHostPort.indexOf(QLatin1Char(']'));
        if (nClose < 0) return QStringLiteral("unclosed '[' in the host of %1").arg(sWhat);
        sHost = sHostPort.mid(1, nClose - 1);
        if (!IsIpv6Literal(sHost)) return QStringLiteral("not an IPv6 address: [%1]").arg(sHost);
        const QString sAfter = sHostPort.mid(nClose + 1);
        if (!sAfter.isEmpty()) {
            if (!sAfter.startsWith(QLatin1Char(':'))) return QStringLiteral("unexpected text after ']': %1").arg(sAfter);
            sPort = sAfter.mid(1);
            bHasPort = true;
        }
    } else {
        const qsizetype nColon = sHostPort.indexOf(QLatin1Char(':'));
        if (nColon >= 0 && sHostPort.indexOf(QLatin1Char(':'), nColon + 1) >= 0)
            return QStringLiteral("an IPv6 address goes in brackets: [%1]").arg(sHostPort);
        sHost = nColon < 0 ? sHostPort : sHostPort.left(nColon);
        if (nColon >= 0) {
            sPort = sHostPort.mid(nColon + 1);
            bHasPort = true;
        }
    }
    if (sHost.isEmpty()) return QStringLiteral("%1 has no host").arg(sWhat);
    for (const QChar c : sHost) {
        if (c.isSpace() || c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('%')
            || c == QLatin1Char('@') || c == QLatin1Char('/'))
            return QStringLiteral("bad host name: %1").arg(sHost);
    }

    if (bHasPort) {
        if (sPort.isEmpty()) return QStringLiteral("%1 has an empty port").arg(sWhat);
        bool bDigits = true;
        for (const QChar c : sPort) bDigits = bDigits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        bool bOk = false;
        const int nValue = sPort.toInt(&bOk);
        if (!bDigits || !bOk || nValue < 1 || nValue > 65535)
            return QStringLiteral("bad port '%1' (1 to 65535)").arg(sPort);
        nPort = nValue;
    }
    return QString();
}

// Fills host, port, user, password and path of `options` from the URL.
QString ParseUrl(const QString& sUrl, const QString& sEnvPassword, CliOptions& options)
{
    // ftpes:// is FTP with explicit TLS (AUTH TLS on the usual port).
    const QString kScheme = QStringLiteral("ftp://");
    const QString kTlsScheme = QStringLiteral("ftpes://");
    qsizetype nSchemeSize = 0;
    if (sUrl.startsWith(kScheme, Qt::CaseInsensitive)) {
        nSchemeSize = kScheme.size();
    } else if (sUrl.startsWith(kTlsScheme, Qt::CaseInsensitive)) {
        nSchemeSize = kTlsScheme.size();
        options.bTls = true;
    } else {
        if (sUrl.startsWith(QLatin1String("ftps://"), Qt::CaseInsensitive))
            return QStringLiteral("implicit FTPS (ftps://) is not supported; use ftpes:// for FTP with TLS: %1").arg(sUrl);
        if (sUrl.contains(QStringLiteral("://")))
            return QStringLiteral("only ftp:// and ftpes:// URLs are supported: %1").arg(sUrl);
        return QStringLiteral("expected an ftp:// URL, got '%1'").arg(sUrl);
    }
    const QString sRest = sUrl.mid(nSchemeSize);
    const qsizetype nSlash = sRest.indexOf(QLatin1Char('/'));
    const QString sAuthority = nSlash < 0 ? sRest : sRest.left(nSlash);
    const QString sPath = nSlash < 0 ? QString() : sRest.mid(nSlash);

    // The last '@' ends the user part, so an unencoded '@' in a password works.
    const qsizetype nAt = sAuthority.lastIndexOf(QLatin1Char('@'));
    QString sHostPort = sAuthority;
    if (nAt >= 0) {
        const QString sUserInfo = sAuthority.left(nAt);
        sHostPort = sAuthority.mid(nAt + 1);
        const qsizetype nColon = sUserInfo.indexOf(QLatin1Char(':'));
        const auto user = PercentDecode(nColon < 0 ? sUserInfo : sUserInfo.left(nColon));
        if (!user) return QStringLiteral("bad percent escape in the user name");
        if (user->isEmpty()) return QStringLiteral("the URL has an empty user name");
        options.sUser = *user;
        if (nColon < 0) {
            options.sPassword = sEnvPassword;
            options.bAskPassword = sEnvPassword.isEmpty();
        } else {
            const auto password = PercentDecode(sUserInfo.mid(nColon + 1));
            if (!password) return QStringLiteral("bad percent escape in the password");
            options.sPassword = *password;
            options.bPasswordInUrl = true;
        }
    } else {
        options.sUser = QStringLiteral("anonymous");
        options.sPassword = QStringLiteral("kelvo@");
    }

    const QString sError = ParseHostPort(sHostPort, QStringLiteral("the URL"), options.sHost, options.nPort);
    if (!sError.isEmpty()) return sError;

    const auto path = PercentDecode(sPath);
    if (!path) return QStringLiteral("bad percent escape in the path");
    QString sFolder = *path;
    while (sFolder.size() > 1 && sFolder.endsWith(QLatin1Char('/'))) sFolder.chop(1);
    options.sPath = sFolder == QLatin1String("/") ? QString() : sFolder;
    return QString();
}

struct CommandRule {
    const char* sWord;
    CliCommand command;
    int nMin;
    int nMax;   // -1: any number (joined)
    const char* sUsage;
};

constexpr CommandRule kCommands[] = {
    {"ls", CliCommand::List, 0, 1, "ls [REMOTE]"},
    {"get", CliCommand::Get, 1, 2, "get REMOTE [LOCAL]"},
    {"put", CliCommand::Put, 1, 2, "put LOCAL [REMOTE]"},
    {"getdir", CliCommand::GetFolder, 2, 2, "getdir REMOTE LOCALDIR"},
    {"putdir", CliCommand::PutFolder, 2, 2, "putdir LOCALDIR REMOTE"},
    {"mkdir", CliCommand::MakeFolder, 1, 1, "mkdir NAME"},
    {"rmdir", CliCommand::RemoveFolder, 1, 1, "rmdir NAME"},
    {"rm", CliCommand::Remove, 1, 1, "rm NAME"},
    {"mv", CliCommand::Rename, 2, 2, "mv FROM TO"},
    {"quote", CliCommand::Quote, 1, -1, "quote \"RAW\""},
    {"cd", CliCommand::ChangeFolder, 1, 1, "cd DIR"},
    {"pwd", CliCommand::PrintFolder, 0, 0, "pwd"},
    {"-", CliCommand::Script, 0, 0, "-"},
};

bool TakesValue(const QString& sName)
{
    static const QStringList kWithValue = {
        QStringLiteral("--timeout"), QStringLiteral("--log"), QStringLiteral("--socks4"),
        QStringLiteral("--socks5"), QStringLiteral("--socks-user"), QStringLiteral("--socks-password"),
        QStringLiteral("--connections"), QStringLiteral("--tls-trust"), QStringLiteral("--existing"),
    };
    return kWithValue.contains(sName);
}

// RFC 1929 gives the SOCKS 5 user name and password one length byte each.
constexpr qsizetype kMaxSocks5Field = 255;

bool IsKnownOption(const QString& sWord)
{
    static const QStringList kOptions = {
        QStringLiteral("--active"), QStringLiteral("--timeout"), QStringLiteral("--resume"),
        QStringLiteral("--log"), QStringLiteral("--ascii"), QStringLiteral("--no-mlsd"),
        QStringLiteral("--verbose"), QStringLiteral("--help"), QStringLiteral("--socks4"),
        QStringLiteral("--socks5"), QStringLiteral("--socks-user"), QStringLiteral("--socks-password"),
        QStringLiteral("--connections"), QStringLiteral("--tls"), QStringLiteral("--tls-trust"),
        QStringLiteral("--existing"),
    };
    return kOptions.contains(sWord.section(QLatin1Char('='), 0, 0));
}

// The proxy options depend on each other, in whatever order they came.
QString CheckProxyOptions(CliOptions& o, const QString& sEnvSocksPassword)
{
    if (!o.sProxyUser.isEmpty() && o.nProxyType == 0)
        return QStringLiteral("--socks-user needs --socks4 or --socks5");
    if (o.bProxyPasswordGiven && o.sProxyUser.isEmpty())
        return QStringLiteral("--socks-password needs --socks-user");
    // SOCKS 4 has no passwords, so the environment's one is not taken; a
    // password given on the command line is kept for the runner's warning.
    if (o.nProxyType == 5 && !o.sProxyUser.isEmpty() && !o.bProxyPasswordGiven) o.sProxyPassword = sEnvSocksPassword;
    if (o.nProxyType == 5) {
        if (o.sProxyUser.toUtf8().size() > kMaxSocks5Field)
            return QStringLiteral("--socks-user: SOCKS 5 allows at most %1 bytes").arg(kMaxSocks5Field);
        if (o.sProxyPassword.toUtf8().size() > kMaxSocks5Field)
            return QStringLiteral("%1: SOCKS 5 allows at most %2 bytes")
                .arg(o.bProxyPasswordGiven ? QStringLiteral("--socks-password") : QStringLiteral("KELVO_SOCKS_PASSWORD"))
                .arg(kMaxSocks5Field);
    }
    return QString();
}

}  // namespace

QString RemoteBaseName(const QString& sRemote)
{
    QString s = sRemote;
    while (s.size() > 1 && s.endsWith(QLatin1Char('/'))) s.chop(1);
    return s.mid(s.lastIndexOf(QLatin1Char('/')) + 1);
}

QString RemoteFolderPart(const QString& sRemote)
{
    const qsizetype nSlash = sRemote.lastIndexOf(QLatin1Char('/'));
    if (nSlash < 0) return QString();
    return nSlash == 0 ? QStringLiteral("/") : sRemote.left(nSlash);
}

QString ParseCommandWords(const QStringList& words, CliCommandLine& out, bool bInScript)
{
    if (words.isEmpty()) return QStringLiteral("missing command after the URL");
    const QString& sWord = words.first();
    const CommandRule* rule = nullptr;
    for (const CommandRule& r : kCommands) {
        if (sWord == QLatin1String(r.sWord)) rule = &r;
    }
    if (!rule || (bInScript && rule->command == CliCommand::Script))
        return QStringLiteral("unknown command '%1'").arg(sWord);

    QStringList args = words.mid(1);
    const int nCount = int(args.size());
    if (nCount < rule->nMin)
        return QStringLiteral("%1: missing argument (usage: %2)").arg(sWord, QLatin1String(rule->sUsage));
    if (rule->nMax >= 0 && nCount > rule->nMax)
        return QStringLiteral("%1: too many arguments (usage: %2)").arg(sWord, QLatin1String(rule->sUsage));
    for (const QString& sArg : args) {
        if (sArg.isEmpty()) return QStringLiteral("%1: empty argument").arg(sWord);
    }
    if (rule->command == CliCommand::Quote) args = QStringList{args.join(QLatin1Char(' '))};
    if (rule->command == CliCommand::Get && args.size() == 1) {
        const QString sBase = RemoteBaseName(args.first());
        if (sBase.isEmpty() || sBase == QLatin1String(".") || sBase == QLatin1String(".."))
            return QStringLiteral("get: '%1' names no file; give LOCAL").arg(args.first());
    }
    out.command = rule->command;
    out.args = args;
    return QString();
}

CliParseResult ParseCliArguments(const QStringList& args, const QString& sEnvPassword,
                                 const QString& sEnvSocksPassword)
{
    CliParseResult result;
    CliOptions& o = result.options;
    qsizetype i = 0;
    for (; i < args.size(); ++i) {
        const QString& sArg = args[i];
        if (sArg == QLatin1String("--")) {
            ++i;
            break;
        }
        if (!sArg.startsWith(QLatin1Char('-')) || sArg == QLatin1String("-")) break;

        // "--name value" and "--name=value" both work for the options with a value.
        const QString sName = sArg.section(QLatin1Char('='), 0, 0);
        const bool bInline = sArg.contains(QLatin1Char('='));
        auto value = [&](QString& sValue) -> bool {
            if (bInline) {
                sValue = sArg.section(QLatin1Char('='), 1);
                return true;
            }
            if (i + 1 >= args.size()) return false;
            sValue = args[++i];
            return true;
        };
        if (bInline && !TakesValue(sName) && IsKnownOption(sName)) {
            result.sError = QStringLiteral("%1 takes no value").arg(sName);
            return result;
        }

        if (sName == QLatin1String("--help")) {
            o.bHelp = true;
            return result;
        } else if (sName == QLatin1String("--active")) {
            o.bPassive = false;
        } else if (sName == QLatin1String("--resume")) {
            o.bResume = true;
        } else if (sName == QLatin1String("--existing")) {
            static const QMap<QString, ExistingFiles::Policy> kPolicies = {
                {QStringLiteral("ask"), ExistingFiles::Policy::Ask},
                {QStringLiteral("overwrite"), ExistingFiles::Policy::Overwrite},
                {QStringLiteral("skip"), ExistingFiles::Policy::Skip},
                {QStringLiteral("resume"), ExistingFiles::Policy::Resume},
            };
            QString sValue;
            if (!value(sValue) || !kPolicies.contains(sValue)) {
                result.sError = QStringLiteral("--existing needs ask, overwrite, skip or resume");
                return result;
            }
            o.existing = kPolicies.value(sValue);
        } else if (sName == QLatin1String("--ascii")) {
            o.bAscii = true;
        } else if (sName == QLatin1String("--no-mlsd")) {
            o.bUseMlsd = false;
        } else if (sName == QLatin1String("--verbose")) {
            o.bVerbose = true;
        } else if (sName == QLatin1String("--tls")) {
            o.bTls = true;
        } else if (sName == QLatin1String("--tls-trust")) {
            QString sValue;
            const QString fingerprint = value(sValue) ? Certificates::NormalizeFingerprint(sValue) : QString();
            if (fingerprint.isEmpty()) {
                result.sError = QStringLiteral("--tls-trust needs a SHA-256 fingerprint (32 hex pairs, as an untrusted "
                                               "certificate's error shows it)");
                return result;
            }
            o.trustedCertificates << fingerprint;
            o.bTls = true;
        } else if (sName == QLatin1String("--log")) {
            if (!value(o.sLogFile) || o.sLogFile.isEmpty()) {
                result.sError = QStringLiteral("--log needs a file name");
                return result;
            }
        } else if (sName == QLatin1String("--timeout")) {
            QString sValue;
            bool bOk = false;
            const double dSeconds = value(sValue) ? sValue.toDouble(&bOk) : 0.0;
            if (!bOk || !qIsFinite(dSeconds) || dSeconds <= 0.0 || dSeconds > kMaxTimeoutSeconds) {
                result.sError = QStringLiteral("--timeout needs a positive number of seconds (at most %1)")
                                    .arg(kMaxTimeoutSeconds, 0, 'f', 0);
                return result;
            }
            o.nTimeoutMs = qMax(1, qRound(dSeconds * 1000.0));
        } else if (sName == QLatin1String("--connections")) {
            QString sValue;
            bool bOk = false;
            const int nValue = value(sValue) ? sValue.toInt(&bOk) : 0;
            if (!bOk || nValue < 1 || nValue > kMaxConnections) {
                result.sError = QStringLiteral("--connections needs a number from 1 to %1").arg(kMaxConnections);
                return result;
            }
            o.nConnections = nValue;
        } else if (sName == QLatin1String("--socks4") || sName == QLatin1String("--socks5")) {
            if (o.nProxyType != 0) {
                result.sError = QStringLiteral("give only one of --socks4 and --socks5");
                return result;
            }
            QString sValue;
            if (!value(sValue) || sValue.isEmpty() || sValue.startsWith(QLatin1Char('-'))) {
                result.sError = QStringLiteral("%1 needs HOST[:PORT]").arg(sName);
                return result;
            }
            result.sError = ParseHostPort(sValue, sName, o.sProxyHost, o.nProxyPort);
            if (!result.sError.isEmpty()) return result;
            o.nProxyType = sName == QLatin1String("--socks4") ? 4 : 5;
        } else if (sName == QLatin1String("--socks-user")) {
            if (!value(o.sProxyUser) || o.sProxyUser.isEmpty()) {
                result.sError = QStringLiteral("--socks-user needs a user name");
                return result;
            }
        } else if (sName == QLatin1String("--socks-password")) {
            // An empty password is a password too; only a missing value is wrong.
            if (!value(o.sProxyPassword)) {
                result.sError = QStringLiteral("--socks-password needs a password");
                return result;
            }
            o.bProxyPasswordGiven = true;
        } else {
            result.sError = QStringLiteral("unknown option '%1'").arg(sArg);
            return result;
        }
    }

    result.sError = CheckProxyOptions(o, sEnvSocksPassword);
    if (!result.sError.isEmpty()) return result;

    if (i >= args.size()) {
        result.sError = QStringLiteral("missing ftp:// URL");
        return result;
    }
    result.sError = ParseUrl(args[i], sEnvPassword, o);
    if (!result.sError.isEmpty()) return result;

    const QStringList words = args.mid(i + 1);
    // Options after the URL are almost surely misplaced rather than file names.
    for (const QString& sWord : words) {
        if (IsKnownOption(sWord)) {
            result.sError = QStringLiteral("options go before the URL: %1").arg(sWord);
            return result;
        }
    }
    result.sError = ParseCommandWords(words, o.command, false);
    return result;
}

QString TokenizeScriptLine(const QString& sLine, QStringList& words)
{
    words.clear();
    const QString sTrimmed = sLine.trimmed();
    if (sTrimmed.isEmpty() || sTrimmed.startsWith(QLatin1Char('#'))) return QString();

    QString sWord;
    bool bInWord = false;   // also true for "" so that an empty quoted word counts
    bool bQuoted = false;
    for (qsizetype i = 0; i < sTrimmed.size(); ++i) {
        const QChar c = sTrimmed[i];
        if (bQuoted) {
            if (c == QLatin1Char('"')) {
                bQuoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < sTrimmed.size()
                       && (sTrimmed[i + 1] == QLatin1Char('"') || sTrimmed[i + 1] == QLatin1Char('\\'))) {
                sWord += sTrimmed[++i];
            } else {
                sWord += c;
            }
        } else if (c == QLatin1Char('"')) {
            bQuoted = true;
            bInWord = true;
        } else if (c.isSpace()) {
            if (bInWord) words << sWord;
            sWord.clear();
            bInWord = false;
        } else {
            sWord += c;
            bInWord = true;
        }
    }
    if (bQuoted) {
        words.clear();
        return QStringLiteral("unclosed double quote");
    }
    if (bInWord) words << sWord;
    return QString();
}

QString CliUsageHint()
{
    return QStringLiteral("Usage: kelvoftp [options] ftp://[USER[:PASS]@]HOST[:PORT][/PATH] COMMAND [ARGS]\n"
                          "Try 'kelvoftp --help' for more information.\n");
}

QString CliUsageText()
{
    return QStringLiteral(
        "Usage: kelvoftp [options] ftp://[USER[:PASS]@]HOST[:PORT][/PATH] COMMAND [ARGS]\n"
        "       (ftpes:// instead of ftp:// for FTP over TLS)\n"
        "\n"
        "Commands:\n"
        "  ls [REMOTE]             list a folder: kind (d/f/l), size, date, name\n"
        "  get REMOTE [LOCAL]      download a file (LOCAL may be a folder)\n"
        "  put LOCAL [REMOTE]      upload a file\n"
        "  getdir REMOTE LOCALDIR  download a folder with its subfolders\n"
        "  putdir LOCALDIR REMOTE  upload a folder with its subfolders\n"
        "  mkdir NAME              create a folder\n"
        "  rmdir NAME              remove a folder\n"
        "  rm NAME                 delete a file\n"
        "  mv FROM TO              rename or move\n"
        "  quote \"RAW\"             send a raw command and print the replies\n"
        "  cd DIR                  change the current folder\n"
        "  pwd                     print the current folder\n"
        "  -                       read commands from standard input, one per line,\n"
        "                          over one connection; stop at the first failure\n"
        "\n"
        "Options (before the URL):\n"
        "  --active               active mode instead of passive\n"
        "  --timeout SECONDS      connect and idle timeout\n"
        "  --connections N        connections for getdir and putdir (1-10, default 4)\n"
        "  --resume               get: continue the local file; put: continue the remote file\n"
        "  --existing WHAT        files that exist at the destination (get, put and the\n"
        "                         files of getdir and putdir): ask, overwrite, skip or\n"
        "                         resume (continue a shorter copy); by default the same\n"
        "                         file (size and time) is skipped and any other replaced\n"
        "  --log FILE             write the protocol log to FILE\n"
        "  --ascii                ASCII transfer type\n"
        "  --no-mlsd              list with LIST even where MLSD is offered\n"
        "  --verbose              print the protocol dialogue on standard error\n"
        "  --socks4 HOST[:PORT]   connect through a SOCKS 4 proxy (port 1080 by default)\n"
        "  --socks5 HOST[:PORT]   connect through a SOCKS 5 proxy (port 1080 by default)\n"
        "  --socks-user USER      user name for the proxy\n"
        "  --socks-password PASS  password for the proxy (SOCKS 5 only)\n"
        "  --tls                  FTP over TLS (AUTH TLS), as with an ftpes:// URL\n"
        "  --tls-trust SHA256     accept the server certificate with this fingerprint\n"
        "                         although the system does not vouch for it (implies --tls)\n"
        "  --help                 print this help\n"
        "\n"
        "Without a user the login is anonymous. A user without a password in the URL\n"
        "takes it from the environment variable KELVO_PASSWORD, or else from a prompt\n"
        "on the terminal (a password in the URL shows in the process list).\n"
        "Percent-escape '@', ':' and '/' in user names and passwords (%40, %3A, %2F).\n"
        "\n"
        "Only one of --socks4 and --socks5 may be given; an IPv6 proxy address goes in\n"
        "brackets ([::1]:1080). With --socks5 and --socks-user but no --socks-password\n"
        "the password comes from the environment variable KELVO_SOCKS_PASSWORD.\n"
        "\n"
        "With TLS a certificate that the system's store does not vouch for (a\n"
        "self-signed one, say) is refused, and the error shows its fingerprint; check\n"
        "it with the server's administrator and pass it to --tls-trust.\n"
        "\n"
        "Ctrl-C stops the running command, logs out and exits with status 1; a second\n"
        "Ctrl-C ends kelvoftp at once.\n"
        "\n"
        "Exit status: 0 success, 1 FTP or network failure, 2 usage error.\n");
}
