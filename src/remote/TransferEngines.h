#pragma once

#include "ftp/ExistingFiles.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class FilePane;
class FtpComponent;

// What the transfer engines need from the main window: the component, both
// panes and the window's log, status, busy and refresh routines, and the
// file-exists prompt. Unset routines do nothing (an unset abort sets the
// component's abort property directly).
struct TransferContext {
    FtpComponent* ftp = nullptr;
    FilePane* remoteList = nullptr;  // rows: icon 10 link, 11 folder, else file
    FilePane* localList = nullptr;   // rows: icon 11 folder, else file
    std::function<QString()> currentLocalFolder;  // ends with "/"
    std::function<void(const QString&)> displayMessage;
    std::function<void(const QString&)> updateAction;  // status-bar panel 1
    std::function<void()> resetStatus;
    std::function<void(bool)> setBusyState;
    std::function<void()> refreshLocalList;
    std::function<void()> refreshRemoteList;
    std::function<void()> abort;
    // The file-exists prompt: shows the two captions and returns an Answer
    // below. It keeps the "apply to all" state itself and answers without
    // a window while that is set; bResumeAllowed false means the Resume
    // button is to be unavailable for this file.
    std::function<int(const QString& sSource, const QString& sDestination, bool bResumeAllowed)> askExists;
    std::function<void()> resetApplyToAll;  // called when a run starts
};

namespace TransferEngines {

// The file-exists prompt's answers, as folder transfers ask for them too.
using ExistingFiles::Answer;
using ExistingFiles::kCancel;
using ExistingFiles::kOverwrite;
using ExistingFiles::kResume;
using ExistingFiles::kSkip;

// Copies the selected rows of the remote pane into the current local folder:
// files one by one (asking before replacing a local file that differs),
// folders and links that open as folders as whole trees. A row whose name
// cannot be a local file name here is skipped with the item-skipped line.
// Logs errors, ends with "Download complete" unless an error ended it, and
// relists the local pane.
void ReceiveSelectedItems(const TransferContext& ctx);

// Copies the selected rows of the local pane into the server's current
// folder, the same way; ends with "Upload complete" and relists the remote
// pane.
void SendSelectedItems(const TransferContext& ctx);

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
