#pragma once

#include <QString>

// Names and places of the program's stored settings, and the conversions that
// their readers apply. Every reader passes its own default; the defaults of
// start-up and connecting live with those readers, the Options window's with
// that window.
namespace Settings {

// All settings live under the machine-wide root in this section.
inline constexpr char kSection[] = "\\Software\\Kelvo\\Settings";

// Server certificates the user chose to trust always: one value per server,
// named "host:port" ("[v6 address]:port"), holding its SHA-256 fingerprint.
inline constexpr char kTrustedCertificatesSection[] = "\\Software\\Kelvo\\Trusted Certificates";

inline constexpr char kFtpPasv[] = "FTP PASV";
// Passive mode unless the user turned it off: what the Options window shows
// and what connections use are one default (active mode fails behind the
// NAT routers most users sit behind).
inline constexpr char kFtpPasvDefault[] = "1";
inline constexpr char kAddToStartup[] = "ADD TO STARTUP";
inline constexpr char kLogFileName[] = "LOG FILE NAME";
inline constexpr char kDeleteLogOnStartup[] = "DELETE LOG ON STARTUP";
inline constexpr char kDeleteLogIfSizeExceeds[] = "DELETE LOG IF SIZE EXCEEDS";
inline constexpr char kLogFileSize[] = "LOG FILE SIZE";
inline constexpr char kSaveWindowPosition[] = "SAVE WINDOW POSITION";
inline constexpr char kSaveWindowSize[] = "SAVE WINDOW SIZE";
inline constexpr char kFirewallUse[] = "Firewall Use";
inline constexpr char kFirewallType[] = "Firewall Type";
inline constexpr char kFirewallHostName[] = "Firewall Host Name";
inline constexpr char kFirewallProxyPort[] = "Firewall Proxy Port";
inline constexpr char kFirewallUserName[] = "Firewall User Name";
inline constexpr char kFirewallPassword[] = "Firewall Password";
// Not on the Options window: how many connections the files of a folder
// transfer may use (1 to 10; missing or not a number: 4).
inline constexpr char kParallelConnections[] = "PARALLEL CONNECTIONS";

// Window geometry prefixes; the value names are prefix + " TOP" and so on.
inline constexpr char kMainWindow[] = "MAIN";
inline constexpr char kConnectionInfoWindow[] = "CONNECTION INFO";
inline constexpr char kExistWindow[] = "EXIST";
inline constexpr char kOptionsWindow[] = "OPTIONS";
inline constexpr char kAboutWindow[] = "ABOUT";
inline constexpr char kRemoteChangeModeWindow[] = "REMOTE CHANGE MODE";

inline QString GeometryName(const QString& sPrefix, const char* sWord) { return sPrefix + QLatin1Char(' ') + QLatin1String(sWord); }

// The start-up entry: value "KELVO" in the current user's Run key.
inline constexpr char kRunSection[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValueName[] = "KELVO";

// The log file name used when none is stored, and the size limit in
// kilobytes of 1000 bytes.
inline constexpr char kDefaultLogFileName[] = "FTP.LOG";
inline constexpr char kDefaultLogFileSize[] = "1000";

// The leading-number conversion: blanks are skipped, then as much of the text
// as forms a decimal number is taken ("12kb" gives 12, "1 000" gives 1000);
// text that does not start with a number gives 0.
double LeadingNumber(const QString& sText);

// The whole text as a number, or nothing when it is not one.
bool ParseNumber(const QString& sText, double& dValue);

// A stored number compared with a check state. Text that is not a number
// reads as 0 rather than failing.
double NumberOrZero(const QString& sText);

// A stored Boolean: "True"/"False" in any letter case, or a number (non-zero
// is True). Anything else reads as False.
bool ReadAsBoolean(const QString& sText);

// Whether a log file name names a file in the program's log folder and
// nothing else: not empty after trimming, no "/" or "\\", not "." or "..".
// Start-up deletes the log file, so a name that reaches outside that folder
// must never be used.
bool IsPlainLogFileName(const QString& sName);

// A port number as typed: a whole number 1 to 65535, blanks around allowed.
bool IsValidPort(const QString& sText);

// How Booleans are stored: "True" or "False".
inline QString BooleanText(bool bValue) { return bValue ? QStringLiteral("True") : QStringLiteral("False"); }

}  // namespace Settings
