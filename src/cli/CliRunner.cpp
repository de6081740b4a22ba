#include "cli/CliRunner.h"

#include "cli/TerminalPassword.h"
#include "ftp/NameRules.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStringEncoder>
#include <QTextStream>

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

// Ctrl-C: the handler only records it and writes a byte into a pipe; the
// main thread reads the pipe through a socket notifier (a call's local event
// loop runs it) and sets the component's abort property there.
volatile std::sig_atomic_t g_bInterrupted = 0;
int g_interruptPipe[2] = {-1, -1};

extern "C" void OnSigint(int)
{
    const int nSavedErrno = errno;
    g_bInterrupted = 1;
    const char c = 'i';
    // Non-blocking: a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t n = ::write(g_interruptPipe[1], &c, 1);
    errno = nSavedErrno;
}

// Installs the handler for the lifetime of one run. SA_RESETHAND puts the
// default action back as the handler is entered, so a second Ctrl-C ends the
// process at once even if the abort hangs.
class SigintWatch {
public:
    template <typename Fn>
    explicit SigintWatch(Fn onInterrupt)
    {
        if (g_interruptPipe[0] < 0 && ::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
        g_bInterrupted = 0;
        m_notifier = std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [onInterrupt] {
            char buffer[64];
            while (::read(g_interruptPipe[0], buffer, sizeof buffer) > 0) {
            }
            onInterrupt();
        });
        struct sigaction action = {};
        action.sa_handler = OnSigint;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        m_bInstalled = ::sigaction(SIGINT, &action, &m_previous) == 0;
    }
    ~SigintWatch()
    {
        if (m_bInstalled) ::sigaction(SIGINT, &m_previous, nullptr);
    }
    SigintWatch(const SigintWatch&) = delete;
    SigintWatch& operator=(const SigintWatch&) = delete;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous = {};
    bool m_bInstalled = false;
};

void Write(FILE* stream, const QString& sText)
{
    const QByteArray bytes = sText.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void Out(const QString& sLine)
{
    Write(stdout, sLine + QLatin1Char('\n'));
}

void Err(const QString& sLine)
{
    Write(stderr, sLine + QLatin1Char('\n'));
}

QString HumanBytes(double dBytes)
{
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int nUnit = 0;
    while (dBytes >= 1024.0 && nUnit < 4) {
        dBytes /= 1024.0;
        ++nUnit;
    }
    return nUnit == 0 ? QStringLiteral("%1 B").arg(qint64(dBytes))
                      : QStringLiteral("%1 %2").arg(dBytes, 0, 'f', 1).arg(QLatin1String(kUnits[nUnit]));
}

bool HasWildcard(const QString& sName)
{
    return sName.contains(QLatin1Char('*')) || sName.contains(QLatin1Char('?'));
}

// "folder" and "folder/" both give "folder/*"; "/" gives "/*".
QString FolderMask(QString sFolder)
{
    while (sFolder.size() > 1 && sFolder.endsWith(QLatin1Char('/'))) sFolder.chop(1);
    return sFolder.endsWith(QLatin1Char('/')) ? sFolder + QLatin1Char('*') : sFolder + QStringLiteral("/*");
}

void PrintError(const FtpError& error)
{
    Err(QStringLiteral("kelvoftp: error %1: %2").arg(error.number).arg(error.description));
}

// Listing lines, "KIND SIZE DATE NAME": the kind (d, f, l), the size
// right-aligned in 12 places, the local date as yyyy-MM-ddTHH:mm:ss ("-" for
// none) and the name (with " -> target" for a link that names it), as UTF-8.
// Written by hand, and the last date's text kept (the entries of a folder
// often share their time): a folder of 100 000 entries prints in a blink.
class EntryLines {
public:
    void append(QByteArray& out, const ListingEntry& entry)
    {
        out += entry.kind == ListingEntry::Folder ? 'd' : entry.kind == ListingEntry::Link ? 'l' : 'f';
        out += ' ';
        char digits[24];
        char* end = digits + sizeof digits;
        char* p = end;
        quint64 size = quint64(qMax<qint64>(entry.size, 0));
        do *--p = char('0' + size % 10);
        while ((size /= 10) != 0);
        if (end - p < 12) out.append(12 - (end - p), ' ');
        out.append(p, end - p);
        out += ' ';
        if (entry.date != m_lastDate || m_lastDateText.isEmpty()) {
            m_lastDate = entry.date;
            m_lastDateText = DateText(entry.date);
        }
        out += m_lastDateText;
        out += ' ';
        AppendUtf8(out, entry.name);
        if (entry.kind == ListingEntry::Link && !entry.linkTarget().isEmpty()) {
            out += " -> ";
            AppendUtf8(out, entry.linkTarget());
        }
        out += '\n';
    }

private:
    void AppendUtf8(QByteArray& out, const QString& sText)
    {
        const qsizetype at = out.size();
        out.resize(at + m_utf8.requiredSpace(sText.size()));
        out.truncate(m_utf8.appendToBuffer(out.data() + at, sText) - out.constData());
    }

    static QByteArray DateText(const QDateTime& date)
    {
        const QDate day = date.date();
        const QTime time = date.time();
        if (!date.isValid() || day.year() < 0 || day.year() > 9999) return QByteArray("-").leftJustified(19, ' ');
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", day.year(), day.month(), day.day(), time.hour(),
                      time.minute(), time.second());
        return QByteArray(text, 19);
    }

    QDateTime m_lastDate;
    QByteArray m_lastDateText;
    QStringEncoder m_utf8{QStringEncoder::Utf8};
};

void OutEntries(const QList<ListingEntry>& entries)
{
    QByteArray out;
    EntryLines lines;
    for (const ListingEntry& entry : entries) lines.append(out, entry);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
}

}  // namespace

CliRunner::CliRunner(const CliOptions& options, QTextStream& script)
    : m_options(options), m_script(script), m_bProgress(isatty(2) == 1)
{
}

void CliRunner::ApplyOptions()
{
    m_ftp.setServerAddress(m_options.sHost);
    m_ftp.setPort(m_options.nPort);
    m_ftp.setUserName(m_options.sUser);
    m_ftp.setPassword(m_options.sPassword);
    m_ftp.setPassiveMode(m_options.bPassive);
    m_ftp.setUseMlsd(m_options.bUseMlsd);
    m_ftp.setParallelConnections(m_options.nConnections);
    m_ftp.setTransferType(m_options.bAscii ? 1 : 0);
    m_ftp.setUseTls(m_options.bTls);
    m_ftp.setTrustedCertificates(m_options.trustedCertificates);
    if (m_options.nProxyType != 0) {
        m_ftp.setProxyType(m_options.nProxyType);
        m_ftp.setProxyAddress(m_options.sProxyHost);
        m_ftp.setProxyPort(m_options.nProxyPort);
        m_ftp.setProxyUser(m_options.sProxyUser);
        m_ftp.setProxyPassword(m_options.nProxyType == 5 ? m_options.sProxyPassword : QString());
    }
    if (m_options.nTimeoutMs > 0) {
        m_ftp.setConnectTimeout(m_options.nTimeoutMs);
        m_ftp.setIdleTimeout(m_options.nTimeoutMs);
    }
    if (!m_options.sLogFile.isEmpty()) m_ftp.setLogFile(m_options.sLogFile);
    m_ftp.setExistingFiles(m_options.existing);
}

void CliRunner::ConnectSignals()
{
    QObject::connect(&m_ftp, &FtpComponent::logText, &m_ftp, [this](const QString& sText, long) {
        QString sLine = sText;
        while (sLine.endsWith(QLatin1Char('\n')) || sLine.endsWith(QLatin1Char('\r'))) sLine.chop(1);
        if (m_options.bVerbose) {
            EndProgressLine();
            Err(sLine);
        }
        // The component logs the command itself too; quote prints only the replies.
        if (m_bQuoting && !m_sQuoteEcho.isEmpty() && sLine == m_sQuoteEcho)
            m_sQuoteEcho.clear();
        else if (m_bQuoting)
            Out(sLine);
    });
    // No one to ask: a certificate that neither the system nor --tls-trust
    // vouches for is refused, and what identifies it is printed so that the
    // user can check it and pass it to --tls-trust.
    QObject::connect(&m_ftp, &FtpComponent::certificateQuery, &m_ftp, [this](const CertificateInfo& info, bool& bTrust) {
        bTrust = false;
        EndProgressLine();
        Err(QStringLiteral("kelvoftp: the server's certificate is not trusted:"));
        for (const QString& line : Certificates::DescribeForUser(info).split(QLatin1Char('\n')))
            Err(QStringLiteral("  ") + line);
        Err(QStringLiteral("kelvoftp: if this is the server's certificate, run again with --tls-trust %1").arg(info.sFingerprint));
    });
    QObject::connect(&m_ftp, &FtpComponent::existingFileQuery, &m_ftp,
                     [this](const ExistingFileQuestion& question, int& nAnswer) { nAnswer = AskOnTerminal(question); });
    QObject::connect(&m_ftp, &FtpComponent::progress, &m_ftp,
                     [this](qint64 nBytes, qint64 nTotal, int nPercent) { OnProgress(nBytes, nTotal, nPercent); });
    QObject::connect(&m_ftp, &FtpComponent::receiving, &m_ftp, [this](const QString& sName) { StartTransfer(sName); });
    QObject::connect(&m_ftp, &FtpComponent::sending, &m_ftp, [this](const QString& sName) { StartTransfer(sName); });
    QObject::connect(&m_ftp, &FtpComponent::itemSkipped, &m_ftp,
                     [this](const QString& sRemote, const QString& sLocal, long nReason, const QString& sDetail) {
                         EndProgressLine();
                         const QString sName = sRemote.isEmpty() ? sLocal : sRemote;
                         QString sWhy = m_ftp.ReasonText(nReason);
                         if (!sDetail.isEmpty()) sWhy += QStringLiteral(" (%1)").arg(sDetail);
                         Err(QStringLiteral("kelvoftp: warning: skipped %1: %2").arg(sName, sWhy));
                     });
}

void CliRunner::ReportInterrupt()
{
    if (m_bInterruptReported) return;
    m_bInterruptReported = true;
    EndProgressLine();
    Err(QStringLiteral("kelvoftp: stopping; press Ctrl-C again to quit at once"));
}

void CliRunner::OnInterrupt()
{
    ReportInterrupt();
    if (m_bAbortable) m_ftp.setAbort(true);
}

void CliRunner::ThrowIfInterrupted()
{
    // A Ctrl-C between two calls (or while a script line is read) stops
    // before the next call starts.
    if (!g_bInterrupted) return;
    ReportInterrupt();
    throw FtpError{FtpErrorNumber::kAborted, QStringLiteral("aborted")};
}

int CliRunner::Run()
{
    ApplyOptions();
    ConnectSignals();
    if (m_options.nProxyType == 4 && m_options.bProxyPasswordGiven)
        Err(QStringLiteral("kelvoftp: warning: SOCKS 4 has no passwords; --socks-password is ignored"));

    const SigintWatch sigint([this] { OnInterrupt(); });
    m_bAbortable = true;
    int nStatus = kExitOk;
    try {
        ThrowIfInterrupted();
        m_ftp.Connect();
        ThrowIfInterrupted();
        if (!m_options.sPath.isEmpty()) m_ftp.ChangeFolder(m_options.sPath);
        if (m_options.command.command == CliCommand::Script)
            nStatus = RunScript();
        else
            RunCommand(m_options.command);
    } catch (const FtpError& error) {
        EndProgressLine();
        PrintError(error);
        nStatus = kExitFailure;
    }
    EndProgressLine();
    std::fflush(stdout);

    // Always log out, also after a failure or Ctrl-C; an error here changes nothing.
    m_bAbortable = false;
    m_bQuoting = false;
    try {
        m_ftp.Disconnect();
    } catch (const FtpError&) {
    }
    return nStatus;
}

int CliRunner::RunScript()
{
    int nLine = 0;
    while (!m_script.atEnd()) {
        const QString sLine = m_script.readLine();
        ++nLine;
        QStringList words;
        CliCommandLine command;
        QString sError = TokenizeScriptLine(sLine, words);
        if (sError.isEmpty() && words.isEmpty()) continue;
        if (sError.isEmpty()) sError = ParseCommandWords(words, command, true);
        if (!sError.isEmpty()) {
            Err(QStringLiteral("kelvoftp: line %1: %2").arg(nLine).arg(sError));
            return kExitUsage;
        }
        try {
            RunCommand(command);
        } catch (const FtpError& error) {
            EndProgressLine();
            PrintError(error);
            Err(QStringLiteral("kelvoftp: stopped at line %1: %2").arg(nLine).arg(sLine.trimmed()));
            return kExitFailure;
        }
        std::fflush(stdout);
    }
    return kExitOk;
}

void CliRunner::RunCommand(const CliCommandLine& command)
{
    ThrowIfInterrupted();
    const QStringList& a = command.args;
    switch (command.command) {
    case CliCommand::List:
        List(a.value(0));
        break;
    case CliCommand::Get:
        Get(a);
        break;
    case CliCommand::Put:
        Put(a);
        break;
    case CliCommand::GetFolder:
        m_ftp.ReceiveFolder(FolderMask(a[0]), a[1], true);
        break;
    case CliCommand::PutFolder:
        if (!QFileInfo(a[0]).isDir())
            throw FtpError{FtpErrorNumber::kLocalFile, QStringLiteral("not a local folder: %1").arg(a[0])};
        m_ftp.SendFolder(FolderMask(a[0]), a[1], true, true);
        break;
    case CliCommand::MakeFolder:
        m_ftp.CreateFolder(a[0]);
        break;
    case CliCommand::RemoveFolder:
        m_ftp.RemoveFolder(a[0]);
        break;
    case CliCommand::Remove:
        m_ftp.DeleteFile(a[0]);
        break;
    case CliCommand::Rename:
        m_ftp.Rename(a[0], a[1]);
        break;
    case CliCommand::Quote:
        m_bQuoting = true;
        m_sQuoteEcho = a[0];
        try {
            m_ftp.SendCommand(a[0]);
        } catch (...) {
            m_bQuoting = false;
            throw;
        }
        m_bQuoting = false;
        break;
    case CliCommand::ChangeFolder:
        m_ftp.ChangeFolder(a[0]);
        break;
    case CliCommand::PrintFolder:
        Out(m_ftp.currentFolder());
        break;
    case CliCommand::Script:
    case CliCommand::None:
        throw FtpError{FtpErrorNumber::kInvalidArgument, QStringLiteral("no command to run")};
    }
    EndProgressLine();
}

void CliRunner::List(const QString& sRemote)
{
    // ls FOLDER lists that folder; ls FOLDER/MASK or ls FILE lists what
    // matches in the folder. Either way the current folder stays as it was,
    // which matters to the following lines of a script.
    const QString sPrevious = m_ftp.currentFolder();
    QString sFolder = sRemote;
    QString sMask;
    if (HasWildcard(RemoteBaseName(sRemote))) {
        sFolder = RemoteFolderPart(sRemote);
        sMask = RemoteBaseName(sRemote);
    }
    bool bChanged = false;
    if (!sFolder.isEmpty()) {
        try {
            m_ftp.ChangeFolder(sFolder);
        } catch (const FtpError& error) {
            // Not a folder: perhaps a file, listed from its own folder.
            if (error.number != FtpErrorNumber::kRefused || !sMask.isEmpty()) throw;
            const QString sParent = RemoteFolderPart(sRemote);
            if (!sParent.isEmpty()) m_ftp.ChangeFolder(sParent);
            QList<ListingEntry> entries = m_ftp.FolderContents(RemoteBaseName(sRemote));
            entries.removeIf([&](const ListingEntry& e) { return e.name != RemoteBaseName(sRemote); });
            if (!sParent.isEmpty() && !sPrevious.isEmpty()) m_ftp.ChangeFolder(sPrevious);
            if (entries.isEmpty()) throw;
            OutEntries(entries);
            return;
        }
        bChanged = true;
    }
    // Each entry is printed as it arrives.
    QByteArray out;
    EntryLines lines;
    const auto flush = [&out] {
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        out.clear();
    };
    const QMetaObject::Connection printing = QObject::connect(&m_ftp, &FtpComponent::listingEntry, &m_ftp, [&](const ListingEntry& entry) {
        lines.append(out, entry);
        if (out.size() >= 64 * 1024) flush();
    });
    try {
        m_ftp.ListFolder(sMask);
    } catch (const FtpError&) {
        QObject::disconnect(printing);
        flush();
        throw;
    }
    QObject::disconnect(printing);
    flush();
    if (bChanged && !sPrevious.isEmpty()) m_ftp.ChangeFolder(sPrevious);
}

void CliRunner::Get(const QStringList& args)
{
    const QString& sRemote = args[0];
    const QString sBase = RemoteBaseName(sRemote);
    QString sLocal = args.size() > 1 ? args[1] : sBase;
    if (args.size() < 2 || QFileInfo(sLocal).isDir()) {
        // The local name comes from the server's: it must stay in the folder.
        const std::optional<QString> path = NameRules::LocalPath(args.size() > 1 ? sLocal : QDir::currentPath(), sBase);
        if (!path) throw FtpError{FtpErrorNumber::kUnsafeName, QStringLiteral("'%1' names no file that can be written here").arg(sRemote)};
        sLocal = *path;
    }
    const QFileInfo local(sLocal);
    qint64 nOffset = 0;
    if (local.exists()) {
        const std::optional<ListingEntry> remote = RemoteEntry(sRemote);
        const ExistingFiles::Facts source{remote.has_value(), remote ? remote->size : -1, remote ? remote->date : QDateTime(),
                                          remote ? remote->nDatePrecision : 0};
        const ExistingFiles::Facts destination{true, local.size(), local.lastModified(), 1};
        if (m_options.bResume) {
            if (remote && local.size() > remote->size)
                throw FtpError{FtpErrorNumber::kInvalidArgument,
                               QStringLiteral("cannot resume: %1 is larger here (%2 bytes) than on the server (%3 bytes)")
                                   .arg(sLocal).arg(local.size()).arg(remote->size)};
            if (remote && local.size() == remote->size) {
                Err(QStringLiteral("kelvoftp: %1 is already complete").arg(sLocal));
                return;
            }
            nOffset = local.size();
        } else if (!Decide(sLocal, source, destination, nOffset)) {
            return;
        }
    }
    m_ftp.ReceiveFile(sRemote, nOffset, sLocal);
}

void CliRunner::Put(const QStringList& args)
{
    const QFileInfo local(args[0]);
    if (!local.isFile())
        throw FtpError{FtpErrorNumber::kLocalFile, QStringLiteral("not a local file: %1").arg(args[0])};
    QString sRemote = args.size() > 1 ? args[1] : local.fileName();
    if (sRemote.endsWith(QLatin1Char('/'))) sRemote += local.fileName();

    qint64 nOffset = 0;
    const std::optional<ListingEntry> remote = RemoteEntry(sRemote);
    if (m_options.bResume) {
        nOffset = remote ? remote->size : 0;
        if (nOffset > local.size())
            throw FtpError{FtpErrorNumber::kInvalidArgument,
                           QStringLiteral("cannot resume: %1 is larger on the server (%2 bytes) than here (%3 bytes)")
                               .arg(sRemote).arg(nOffset).arg(local.size())};
        if (nOffset == local.size() && nOffset > 0) {
            Err(QStringLiteral("kelvoftp: %1 is already complete on the server").arg(sRemote));
            return;
        }
    } else if (remote) {
        const ExistingFiles::Facts source{true, local.size(), local.lastModified(), 1};
        const ExistingFiles::Facts destination{true, remote->size, remote->date, remote->nDatePrecision};
        if (!Decide(sRemote, source, destination, nOffset)) return;
    }
    m_ftp.SendFile(local.filePath(), nOffset, sRemote, nOffset > 0);
}

bool CliRunner::Decide(const QString& sName, const ExistingFiles::Facts& source, const ExistingFiles::Facts& destination,
                       qint64& nOffset)
{
    using namespace ExistingFiles;
    Action action = ExistingFiles::Decide(m_options.existing, source, destination);
    if (action == Action::Ask) {
        const int nAnswer = AskOnTerminal(ExistingFileQuestion{sName, false, source, destination, Resumable(source, destination)});
        action = nAnswer == kOverwrite ? Action::Transfer : nAnswer == kResume ? Action::Resume : Action::Skip;
    }
    if (action == Action::Skip || action == Action::SkipIdentical) {
        Err(QStringLiteral("kelvoftp: skipped %1: %2")
                .arg(sName, m_ftp.ReasonText(action == Action::Skip ? FtpComponent::kSkipExisting : FtpComponent::kSkipIdentical)));
        return false;
    }
    nOffset = action == Action::Resume ? destination.nSize : 0;
    return true;
}

int CliRunner::AskOnTerminal(const ExistingFileQuestion& question)
{
    EndProgressLine();
    const auto describe = [](const ExistingFiles::Facts& f) {
        return QStringLiteral("%1 bytes, %2").arg(f.nSize).arg(f.date.isValid() ? f.date.toString(Qt::ISODate) : QStringLiteral("no date"));
    };
    const QString sPrompt = QStringLiteral("kelvoftp: %1 exists (here: %2; copying: %3).\n"
                                           "[o]verwrite, %4[s]kip, or [c]ancel? ")
                                .arg(question.sName, describe(question.destination), describe(question.source),
                                     question.bResumeAllowed ? QStringLiteral("[r]esume, ") : QString());
    for (;;) {
        const std::optional<QString> answer = ReadAnswerFromTerminal(sPrompt);
        if (!answer) return ExistingFiles::kCancel;  // nobody to ask: the copy stays
        const QString a = answer->trimmed().toLower();
        if (a == QLatin1String("o")) return ExistingFiles::kOverwrite;
        if (a == QLatin1String("r") && question.bResumeAllowed) return ExistingFiles::kResume;
        if (a == QLatin1String("s")) return ExistingFiles::kSkip;
        if (a == QLatin1String("c")) return ExistingFiles::kCancel;
    }
}

std::optional<ListingEntry> CliRunner::RemoteEntry(const QString& sRemote)
{
    // FolderContents lists the current folder, so visit the file's folder.
    const QString sFolder = RemoteFolderPart(sRemote);
    const QString sName = RemoteBaseName(sRemote);
    const QString sPrevious = m_ftp.currentFolder();
    if (!sFolder.isEmpty()) m_ftp.ChangeFolder(sFolder);
    const QList<ListingEntry> entries = m_ftp.FolderContents(sName);
    if (!sFolder.isEmpty() && !sPrevious.isEmpty()) m_ftp.ChangeFolder(sPrevious);
    for (const ListingEntry& entry : entries) {
        if (entry.name == sName && entry.kind != ListingEntry::Folder) return entry;
    }
    return std::nullopt;
}

void CliRunner::StartTransfer(const QString& sName)
{
    EndProgressLine();
    m_sTransferName = sName;
    m_nTransferBase = -1;
}

void CliRunner::OnProgress(qint64 nBytes, qint64 nTotal, int nPercent)
{
    if (!m_bProgress) return;
    // The rate counts from the first report, so that a resumed transfer's
    // earlier bytes do not inflate it.
    if (m_nTransferBase < 0) {
        m_nTransferBase = nBytes;
        m_transferTimer.start();
    }
    QString sLine = m_sTransferName.isEmpty() ? QString() : m_sTransferName + QStringLiteral("  ");
    sLine += HumanBytes(double(nBytes));
    if (nTotal > 0) sLine += QStringLiteral(" / %1  %2%").arg(HumanBytes(double(nTotal))).arg(nPercent, 3);
    const qint64 nMs = m_transferTimer.elapsed();
    if (nMs > 0 && nBytes > m_nTransferBase)
        sLine += QStringLiteral("  %1/s").arg(HumanBytes(double(nBytes - m_nTransferBase) * 1000.0 / double(nMs)));
    const int nWidth = int(sLine.size());
    if (nWidth < m_nProgressWidth) sLine += QString(m_nProgressWidth - nWidth, QLatin1Char(' '));
    m_nProgressWidth = nWidth;
    Write(stderr, QLatin1Char('\r') + sLine);
    m_bProgressShown = true;
}

void CliRunner::EndProgressLine()
{
    if (!m_bProgressShown) return;
    Write(stderr, QStringLiteral("\n"));
    m_bProgressShown = false;
    m_nProgressWidth = 0;
}
