#pragma once

#include "cli/CliOptions.h"
#include "ftp/FtpComponent.h"

#include <QElapsedTimer>
#include <QString>

#include <optional>

class QTextStream;

// Runs one parsed command line against the FTP component: connects, runs the
// command (or the commands of a script read from `script`), and disconnects
// whatever happened. Output goes to stdout; errors, warnings, progress and
// the protocol dialogue (with --verbose) to stderr.
class CliRunner {
public:
    CliRunner(const CliOptions& options, QTextStream& script);

    // The exit status: kExitOk, kExitFailure or kExitUsage.
    int Run();

private:
    void ApplyOptions();
    void ConnectSignals();
    void OnInterrupt();                               // Ctrl-C, seen in this thread
    void ThrowIfInterrupted();                        // throws FtpError kAborted
    void ReportInterrupt();
    int RunScript();
    void RunCommand(const CliCommandLine& command);   // throws FtpError
    void List(const QString& sRemote);
    void Get(const QStringList& args);
    void Put(const QStringList& args);
    std::optional<ListingEntry> RemoteEntry(const QString& sRemote);  // the file's entry, when listed
    // What --existing says about a file whose copy exists (asking on the
    // terminal when it says ask): false when it is skipped (reported), else
    // nOffset is where the transfer starts.
    bool Decide(const QString& sName, const ExistingFiles::Facts& source, const ExistingFiles::Facts& destination,
                qint64& nOffset);
    int AskOnTerminal(const ExistingFileQuestion& question);  // an ExistingFiles::Answer

    void OnProgress(qint64 nBytes, qint64 nTotal, int nPercent);
    void StartTransfer(const QString& sName);
    void EndProgressLine();

    const CliOptions m_options;
    QTextStream& m_script;
    FtpComponent m_ftp;
    const bool m_bProgress;          // stderr is a terminal
    bool m_bAbortable = false;       // Ctrl-C aborts the running call (not while logging out)
    bool m_bInterruptReported = false;
    bool m_bQuoting = false;         // log lines go to stdout while quote runs
    QString m_sQuoteEcho;            // the command line quote sent, not to be printed
    bool m_bProgressShown = false;   // a progress line waits for its newline
    int m_nProgressWidth = 0;
    QString m_sTransferName;
    QElapsedTimer m_transferTimer;
    qint64 m_nTransferBase = -1;     // bytes at the first progress report, for the rate
};
