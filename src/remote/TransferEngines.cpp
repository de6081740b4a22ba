#include "remote/TransferEngines.h"

#include "ftp/ExistingFiles.h"
#include "ftp/FtpComponent.h"
#include "ftp/NameRules.h"
#include "ui/FilePane.h"
#include "ui/Prompter.h"

#include <QApplication>
#include <QFileInfo>
#include <QList>
#include <QSet>
#include <QLocale>

#include <optional>

namespace {

constexpr int kLinkIcon = 10;
constexpr int kFolderIcon = 11;
constexpr int kDay = 86400;

const QString kConfirmTitle = QStringLiteral("Kelvo ") + QStringLiteral("[Confirm]");

struct Item {
    QString sName;
    int nIcon = 0;
};

// The selected rows as they were when the run started, so that a pane
// relisted by an event handler during a call cannot shift the rows under us.
QList<Item> SelectedItems(const FilePane* pane)
{
    QList<Item> items;
    if (!pane) return items;
    for (int nRow : pane->SelectedRows()) items.append(Item{pane->Text(nRow), pane->SmallIcon(nRow)});
    return items;
}

// The window's routines, each doing nothing when the window left it unset.
struct Window {
    const TransferContext& ctx;

    void Message(const QString& s) const { if (ctx.displayMessage) ctx.displayMessage(s); }
    void Action(const QString& s) const { if (ctx.updateAction) ctx.updateAction(s); }
    void ResetStatus() const { if (ctx.resetStatus) ctx.resetStatus(); }
    void Busy(bool b) const { if (ctx.setBusyState) ctx.setBusyState(b); }
    QString LocalFolder() const { return ctx.currentLocalFolder ? ctx.currentLocalFolder() : QString(); }
    void Abort() const
    {
        if (ctx.abort) ctx.abort();
        else ctx.ftp->setAbort(true);
    }
    int AskExists(const QString& sSource, const QString& sDestination, bool bResumeAllowed) const
    {
        return ctx.askExists ? ctx.askExists(sSource, sDestination, bResumeAllowed) : TransferEngines::kOverwrite;
    }

    // Start of a run: the prompt asks again, the hourglass, busy, and the
    // item-skipped event logged for as long as the run lasts.
    QMetaObject::Connection Begin() const
    {
        if (ctx.resetApplyToAll) ctx.resetApplyToAll();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Busy(true);
        return QObject::connect(ctx.ftp, &FtpComponent::itemSkipped, ctx.ftp,
                                [this](const QString& sFirst, const QString& sSecond, long nReason) {
                                    for (const QString& line :
                                         TransferEngines::SkippedItemLines(*ctx.ftp, sFirst, sSecond, nReason))
                                        Message(line);
                                });
    }
    // sDone is the completion text, empty when the run ended early. The
    // remote pane's relisting clears the status text, so a completion text
    // is shown again after it.
    void End(const QMetaObject::Connection& skipped, const std::function<void()>& refresh, const QString& sDone) const
    {
        QObject::disconnect(skipped);
        QApplication::restoreOverrideCursor();
        Busy(false);
        if (refresh) refresh();
        if (!sDone.isEmpty()) Action(sDone);
        ResetStatus();
    }
    void LogError(const FtpError& e) const
    {
        if (!e.description.isEmpty()) Message(QStringLiteral("Error: ") + e.description);
    }
};

bool AskSubfolders(const QString& sVerb, const QString& sWhat)
{
    const QString sText = QStringLiteral("Do you want to %1 any subfolders that are contained in the '%2' folder?")
                              .arg(sVerb, sWhat);
    return ThePrompter().message(kConfirmTitle, sText, PromptButtons::YesNo, PromptIcon::Question) == PromptResult::Yes;
}

// The server's side of the comparison: exact in time where the server tells
// it (MDTM) and the listing gave it coarser, and the sizes could agree.
ExistingFiles::Facts RemoteFacts(FtpComponent& ftp, const std::optional<ListingEntry>& entry, const ExistingFiles::Facts& local)
{
    if (!entry) return ExistingFiles::Facts{true, -1, {}, 0};  // listed by the pane, gone from the server's listing
    ExistingFiles::Facts facts{true, entry->kind == ListingEntry::File ? entry->size : -1, entry->date, entry->nDatePrecision};
    if (ExistingFiles::WantsExactTime(facts, local)) {
        const QDateTime exact = ftp.ModificationTime(entry->name);
        if (exact.isValid()) {
            facts.date = exact;
            facts.nPrecision = 1;
        }
    }
    return facts;
}

ExistingFiles::Facts LocalFacts(const QFileInfo& local) { return ExistingFiles::Facts{true, local.size(), local.lastModified(), 1}; }

// What the check decides for one file. Each file starts undecided: a file
// that needs no question (new on the other side) is always transferred, even
// when an earlier file of the run was skipped. Only the send flag carries
// over from file to file; it matters only with an offset above 0.
struct Decision {
    qint64 nOffset = 0;
    bool bSkip = false;
    bool bSendFlag = true;
};

// Applies the prompt's answer; nResumeAt is where a resume starts, -1 when
// there is nothing to resume.
void Apply(const Window& w, int nAnswer, qint64 nResumeAt, Decision& d)
{
    // A Resume where there is nothing to resume leaves the file alone: it
    // must not turn into an overwrite.
    if (nAnswer == TransferEngines::kSkip || (nAnswer == TransferEngines::kResume && nResumeAt < 0)) {
        d.bSkip = true;
        d.bSendFlag = true;
    } else if (nAnswer == TransferEngines::kCancel) {
        w.Abort();
        d.bSkip = true;
        d.bSendFlag = true;
    } else if (nAnswer == TransferEngines::kResume) {
        d.nOffset = nResumeAt;
        d.bSendFlag = true;
    } else {  // Overwrite
        d.nOffset = 0;
        d.bSendFlag = false;
    }
}

// The server's entry of exactly this name (case counts), if it lists one.
std::optional<ListingEntry> RemoteEntry(FtpComponent& ftp, const QString& sName)
{
    for (const ListingEntry& entry : ftp.FolderContents(QString(), 0))
        if (entry.name == sName) return entry;
    return std::nullopt;
}

// The check of one file: nothing to decide when the destination has no such
// file, skipped when both sides agree, otherwise the file-exists prompt.
void Check(const Window& w, const ExistingFiles::Facts& source, const ExistingFiles::Facts& destination, Decision& d)
{
    d.nOffset = 0;
    d.bSkip = false;
    if (!destination.bExists) return;
    if (ExistingFiles::Identical(source, destination)) {
        d.bSkip = true;
        return;
    }
    const bool bResumeAllowed = ExistingFiles::Resumable(source, destination);
    const int nAnswer = w.AskExists(TransferEngines::SourceCaption(source), TransferEngines::DestinationCaption(destination),
                                    bResumeAllowed);
    Apply(w, nAnswer, bResumeAllowed ? destination.nSize : -1, d);
}

// Download: the local file is the destination; a folder of that name is
// never resumed.
void CheckReceive(const Window& w, const QString& sName, const QString& sLocalPath, Decision& d)
{
    const QFileInfo local(sLocalPath);
    if (!local.exists()) return Check(w, {}, {}, d);
    ExistingFiles::Facts destination = LocalFacts(local);
    if (!local.isFile()) destination.nSize = -1;
    Check(w, RemoteFacts(*w.ctx.ftp, RemoteEntry(*w.ctx.ftp, sName), destination), destination, d);
}

// Upload: the server's file is the destination; the send flag tells the
// component to continue (true) or replace it.
void CheckSend(const Window& w, const QString& sName, const QString& sLocalPath, Decision& d)
{
    const std::optional<ListingEntry> entry = RemoteEntry(*w.ctx.ftp, sName);
    if (!entry) return Check(w, {}, {}, d);
    const ExistingFiles::Facts local = LocalFacts(QFileInfo(sLocalPath));
    Check(w, local, RemoteFacts(*w.ctx.ftp, entry, local), d);
}

// Whether a link row opens as a folder: the server lets us in. The session
// then goes back to the folder it was in by that folder's own path: ".."
// from inside a link leads to the link target's parent on some servers.
bool OpensAsFolder(const Window& w, const QString& sName)
{
    FtpComponent& ftp = *w.ctx.ftp;
    const QString sHere = ftp.currentFolder();
    try {
        ftp.ChangeFolder(sName);
    } catch (const FtpError& e) {
        w.Message(e.description + QStringLiteral(" Error number is: ") + QString::number(e.number));
        return false;
    }
    ftp.ChangeFolder(sHere.isEmpty() ? QStringLiteral("/") : sHere);
    return true;
}

void ReceiveItems(const Window& w, const QList<Item>& items)
{
    FtpComponent& ftp = *w.ctx.ftp;
    const QString sFolder = w.LocalFolder();
    QSet<QString> written;  // two rows never become one local file
    Decision d;
    for (const Item& item : items) {
        w.ResetStatus();
        const std::optional<QString> localPath = NameRules::LocalPath(sFolder, item.sName);
        if (!localPath || written.contains(*localPath)) {
            for (const QString& line : TransferEngines::SkippedItemLines(ftp, item.sName, QString(), FtpComponent::kSkipUnsafeName))
                w.Message(line);
            continue;
        }
        const QString& sLocalPath = *localPath;
        written.insert(sLocalPath);
        const bool bAsFolder = item.nIcon == kFolderIcon || (item.nIcon == kLinkIcon && OpensAsFolder(w, item.sName));
        if (bAsFolder) {
            const bool bRecurse = AskSubfolders(QStringLiteral("receive"), item.sName);
            ftp.ReceiveFolder(item.sName + QStringLiteral("/*"), sLocalPath, bRecurse);
            continue;
        }
        CheckReceive(w, item.sName, sLocalPath, d);
        if (d.bSkip) w.Message(QStringLiteral("Skiped Receiving file: ") + item.sName);
        else ftp.ReceiveFile(item.sName, d.nOffset, sLocalPath);
    }
}

void SendItems(const Window& w, const QList<Item>& items)
{
    FtpComponent& ftp = *w.ctx.ftp;
    Decision d;
    for (const Item& item : items) {
        w.ResetStatus();
        const QString sLocalPath = w.LocalFolder() + item.sName;
        if (item.nIcon == kFolderIcon) {
            const bool bRecurse = AskSubfolders(QStringLiteral("send"), sLocalPath);
            ftp.SendFolder(sLocalPath + QStringLiteral("/*"), item.sName, true, bRecurse);
            continue;
        }
        CheckSend(w, item.sName, sLocalPath, d);
        if (d.bSkip) w.Message(QStringLiteral("Skiped sending file: ") + item.sName);
        else ftp.SendFile(sLocalPath, d.nOffset, item.sName, d.bSendFlag);
    }
}

}  // namespace

namespace TransferEngines {

void ReceiveSelectedItems(const TransferContext& ctx)
{
    const Window w{ctx};
    const QList<Item> items = SelectedItems(ctx.remoteList);
    const QMetaObject::Connection skipped = w.Begin();
    QString sDone;
    try {
        ReceiveItems(w, items);
        sDone = QStringLiteral("Download complete");
        w.Action(sDone);
    } catch (const FtpError& e) {
        w.LogError(e);
    }
    w.End(skipped, ctx.refreshLocalList, sDone);
}

void SendSelectedItems(const TransferContext& ctx)
{
    const Window w{ctx};
    const QList<Item> items = SelectedItems(ctx.localList);
    const QMetaObject::Connection skipped = w.Begin();
    QString sDone;
    try {
        SendItems(w, items);
        sDone = QStringLiteral("Upload complete");
        w.Action(sDone);
    } catch (const FtpError& e) {
        w.LogError(e);
    }
    w.End(skipped, ctx.refreshRemoteList, sDone);
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
