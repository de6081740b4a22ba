#include "remote/TransferEngines.h"

#include "ftp/ExistingFiles.h"
#include "ftp/FtpComponent.h"
#include "ftp/NameRules.h"
#include "ui/PaneHost.h"
#include "ui/Prompter.h"

#include <QApplication>
#include <QFileInfo>
#include <QList>
#include <QSet>
#include <QLocale>

#include <optional>

namespace {

constexpr int kDay = 86400;

const QString kConfirmTitle = QStringLiteral("Kelvo ") + QStringLiteral("[Confirm]");

// One run: the hourglass, busy, and the item-skipped event logged for as
// long as it lasts; at its end the pane written to is relisted and the
// completion text (empty when the run ended early) shown after it, as the
// remote pane's relisting clears the status text.
class Run {
public:
    Run(FtpComponent& ftp, PaneHost& host) : ftp(ftp), host(host)
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        host.SetBusyState(true);
        m_skipped = QObject::connect(&ftp, &FtpComponent::itemSkipped, &ftp,
                                     [this](const QString& sFirst, const QString& sSecond, long nReason) {
                                         Skipped(sFirst, sSecond, nReason);
                                     });
    }
    void Skipped(const QString& sFirst, const QString& sSecond, long nReason) const
    {
        for (const QString& line : TransferEngines::SkippedItemLines(ftp, sFirst, sSecond, nReason)) host.DisplayMessage(line);
    }
    // Runs body; an error is logged and ends the run early.
    template <typename Body>
    void Go(Body body, void (PaneHost::*refresh)(), const QString& sDone)
    {
        QString sShown;
        try {
            body();
            sShown = sDone;
            host.UpdateAction(sDone);
        } catch (const FtpError& e) {
            host.ReportError(e);
        }
        QObject::disconnect(m_skipped);
        QApplication::restoreOverrideCursor();
        host.SetBusyState(false);
        (host.*refresh)();
        if (!sShown.isEmpty()) host.UpdateAction(sShown);
        host.ResetStatus();
    }
    // The decision for one file, the question asked through the window.
    TransferEngines::Outcome Decide(const ExistingFiles::Facts& source, const ExistingFiles::Facts& destination) const
    {
        const auto outcome = TransferEngines::DecideExisting(source, destination, [&](bool bResumeAllowed) {
            return host.AskExists(TransferEngines::SourceCaption(source), TransferEngines::DestinationCaption(destination),
                                  bResumeAllowed);
        });
        if (outcome.step == TransferEngines::Outcome::Cancel) host.Abort();
        return outcome;
    }

    FtpComponent& ftp;
    PaneHost& host;

private:
    QMetaObject::Connection m_skipped;
};

bool AskSubfolders(const QString& sVerb, const QString& sWhat)
{
    const QString sText = QStringLiteral("Do you want to %1 any subfolders that are contained in the '%2' folder?")
                              .arg(sVerb, sWhat);
    return ThePrompter().message(kConfirmTitle, sText, PromptButtons::YesNo, PromptIcon::Question) == PromptResult::Yes;
}

// The server's side of the comparison, from its listing entry: exact in time
// where the server tells it (MDTM) and the listing gave it coarser, and the
// sizes could agree.
ExistingFiles::Facts RemoteFacts(FtpComponent& ftp, const ListingEntry& entry, const ExistingFiles::Facts& local)
{
    return ExistingFiles::WithExactTime({true, entry.kind == ListingEntry::File ? entry.size : -1, entry.date,
                                         entry.nDatePrecision},
                                        local, [&] { return ftp.ModificationTime(entry.name); });
}

ExistingFiles::Facts LocalFacts(const QFileInfo& local) { return ExistingFiles::Facts{true, local.size(), local.lastModified(), 1}; }

// Whether a link row opens as a folder: the server lets us in. The session
// then goes back to the folder it was in by that folder's own path: ".."
// from inside a link leads to the link target's parent on some servers.
bool OpensAsFolder(const Run& run, const QString& sName)
{
    const QString sHere = run.ftp.currentFolder();
    try {
        run.ftp.ChangeFolder(sName);
    } catch (const FtpError& e) {
        run.host.DisplayMessage(e.description + QStringLiteral(" Error number is: ") + QString::number(e.number));
        return false;
    }
    run.ftp.ChangeFolder(sHere.isEmpty() ? QStringLiteral("/") : sHere);
    return true;
}

// Download of one file row: the local file is the destination; a folder of
// that name is never resumed.
void ReceiveFile(const Run& run, const FilePaneRow& row, const QString& sLocalPath)
{
    const QFileInfo local(sLocalPath);
    TransferEngines::Outcome outcome;
    if (local.exists()) {
        ExistingFiles::Facts destination = LocalFacts(local);
        if (!local.isFile()) destination.nSize = -1;
        outcome = run.Decide(RemoteFacts(run.ftp, row.entry, destination), destination);
    }
    if (outcome.step != TransferEngines::Outcome::Transfer) run.host.DisplayMessage(QStringLiteral("Skiped Receiving file: ") + row.text());
    else run.ftp.ReceiveFile(row.text(), outcome.nOffset, sLocalPath);
}

void ReceiveItems(const Run& run, const QList<FilePaneRow>& rows, const QString& sFolder)
{
    QSet<QString> written;  // two rows never become one local file
    for (const FilePaneRow& row : rows) {
        run.host.ResetStatus();
        const std::optional<QString> localPath = NameRules::LocalPath(sFolder, row.text());
        if (!localPath || written.contains(*localPath)) {
            run.Skipped(row.text(), QString(), FtpComponent::kSkipUnsafeName);
            continue;
        }
        written.insert(*localPath);
        const int nKind = row.kind;
        if (nKind == ListingEntry::Folder || (nKind == ListingEntry::Link && OpensAsFolder(run, row.text()))) {
            const bool bRecurse = AskSubfolders(QStringLiteral("receive"), row.text());
            run.ftp.ReceiveFolder(row.text() + QStringLiteral("/*"), *localPath, bRecurse);
            continue;
        }
        ReceiveFile(run, row, *localPath);
    }
}

// Upload: the server's file is the destination, as the server lists it when
// the run starts (the remote pane may show an older or a filtered listing).
void SendItems(const Run& run, const QList<FilePaneRow>& rows, const QString& sFolder)
{
    std::optional<QList<ListingEntry>> listed;
    for (const FilePaneRow& row : rows) {
        run.host.ResetStatus();
        const QString sLocalPath = sFolder + row.text();
        if (row.kind == ListingEntry::Folder) {
            const bool bRecurse = AskSubfolders(QStringLiteral("send"), sLocalPath);
            run.ftp.SendFolder(sLocalPath + QStringLiteral("/*"), row.text(), true, bRecurse);
            continue;
        }
        if (!listed) listed = run.ftp.FolderContents(QString(), 0);
        const auto entry = std::find_if(listed->cbegin(), listed->cend(),
                                        [&](const ListingEntry& e) { return e.name == row.text(); });  // case counts
        TransferEngines::Outcome outcome;
        if (entry != listed->cend()) {
            const ExistingFiles::Facts local = LocalFacts(QFileInfo(sLocalPath));
            outcome = run.Decide(local, RemoteFacts(run.ftp, *entry, local));
        }
        if (outcome.step != TransferEngines::Outcome::Transfer) run.host.DisplayMessage(QStringLiteral("Skiped sending file: ") + row.text());
        // The component continues the server's file only from an offset above 0.
        else run.ftp.SendFile(sLocalPath, outcome.nOffset, row.text(), outcome.nOffset > 0);
    }
}

}  // namespace

namespace TransferEngines {

void ReceiveRows(FtpComponent& ftp, PaneHost& host, const QList<FilePaneRow>& rows, const QString& sLocalFolder)
{
    Run run(ftp, host);
    run.Go([&] { ReceiveItems(run, rows, sLocalFolder); }, &PaneHost::RefreshLocalList, QStringLiteral("Download complete"));
}

void SendRows(FtpComponent& ftp, PaneHost& host, const QList<FilePaneRow>& rows, const QString& sLocalFolder)
{
    Run run(ftp, host);
    run.Go([&] { SendItems(run, rows, sLocalFolder); }, &PaneHost::RefreshRemoteList, QStringLiteral("Upload complete"));
}

Outcome DecideExisting(const ExistingFiles::Facts& source, const ExistingFiles::Facts& destination,
                       const std::function<int(bool bResumeAllowed)>& ask)
{
    switch (ExistingFiles::Decide(ExistingFiles::Policy::Ask, source, destination)) {
    case ExistingFiles::Action::Transfer: return {};
    case ExistingFiles::Action::Ask: break;
    default: return {Outcome::Skip, 0};
    }
    const bool bResumeAllowed = ExistingFiles::Resumable(source, destination);
    switch (ExistingFiles::Answered(ask(bResumeAllowed), bResumeAllowed)) {
    case ExistingFiles::Action::Transfer: return {};
    case ExistingFiles::Action::Resume: return {Outcome::Transfer, destination.nSize};
    case ExistingFiles::Action::Cancel: return {Outcome::Cancel, 0};
    default: return {Outcome::Skip, 0};
    }
}

QStringList SkippedItemLines(const FtpComponent& ftp, const QString& sFirst, const QString& sSecond, long nReason)
{
    const QString sTail = QStringLiteral(" was skipped. Reason:") + ftp.ReasonText(nReason);
    QStringList lines;
    if (sFirst.isEmpty()) lines << sSecond + sTail;
    if (sSecond.isEmpty()) lines << sFirst + sTail;
    return lines;
}

QString SourceCaption(const ExistingFiles::Facts& file)
{
    return QStringLiteral("Source File Size: ") + SizeAndDate(file.nSize, file.date, file.nPrecision);
}

QString DestinationCaption(const ExistingFiles::Facts& file)
{
    return QStringLiteral("Destination File Size: ") + SizeAndDate(file.nSize, file.date, file.nPrecision);
}

QString SizeAndDate(qint64 nSize, const QDateTime& date, int nPrecision)
{
    QString sDate;
    if (date.isValid() && nPrecision > 0) {
        const QDateTime local = date.toLocalTime();
        sDate = QLocale::system().toString(local.date(), QLocale::ShortFormat);
        if (nPrecision < kDay)
            sDate += QLatin1Char(' ') + local.time().toString(nPrecision < 60 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
    }
    return (nSize >= 0 ? QString::number(nSize) : QString()) + QStringLiteral(" Last Modified: ") + sDate;
}

}  // namespace TransferEngines
