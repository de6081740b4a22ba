#pragma once

#include "ftp/ExistingFiles.h"
#include "ui/FilePane.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class FtpComponent;
class PaneHost;

namespace TransferEngines {

// The file-exists prompt's answers, as folder transfers ask for them too.
using ExistingFiles::Answer;
using ExistingFiles::kCancel;
using ExistingFiles::kOverwrite;
using ExistingFiles::kResume;
using ExistingFiles::kSkip;

// Copies rows of the remote pane into a local folder (ending with the
// separator): files one by one (asking before replacing a local file that
// differs), folders and links that open as folders as whole trees. A row
// whose name cannot be a local file name here is skipped with the
// item-skipped line. Logs errors, ends with "Download complete" unless an
// error ended it, and relists the local pane.
void ReceiveRows(FtpComponent& ftp, PaneHost& host, const QList<FilePaneRow>& rows, const QString& sLocalFolder);

// Copies rows of a local folder into the server's current folder, the same
// way; ends with "Upload complete" and relists the remote pane.
void SendRows(FtpComponent& ftp, PaneHost& host, const QList<FilePaneRow>& rows, const QString& sLocalFolder);

// What becomes of one file whose destination may exist.
struct Outcome {
    enum Step { Transfer, Skip, Cancel } step = Transfer;
    qint64 nOffset = 0;  // where a resumed transfer starts
};
// The decision, as folder transfers make it with the question asked: no
// destination, transfer; the same size and time, skip; otherwise ask(whether
// Resume may be chosen) answers. Resume continues a shorter destination from
// its end; where there is nothing to resume it leaves the file alone.
Outcome DecideExisting(const ExistingFiles::Facts& source, const ExistingFiles::Facts& destination,
                       const std::function<int(bool bResumeAllowed)>& ask);

// The log lines for the component's item-skipped event: a line for the name
// that is present when the other is empty, two lines when both are empty,
// none when both are present.
QStringList SkippedItemLines(const FtpComponent& ftp, const QString& sFirst, const QString& sSecond, long nReason);

// "<size> Last Modified: <date>" as the prompt's captions show a file.
QString SizeAndDate(qint64 nSize, const QDateTime& date, int nPrecision);
// The prompt's captions: "Source File Size: ..." and "Destination File Size: ...".
QString SourceCaption(const ExistingFiles::Facts& file);
QString DestinationCaption(const ExistingFiles::Facts& file);

}  // namespace TransferEngines
