#pragma once

#include "ftp/FtpError.h"

#include <QString>

// What the file panes and the transfer and remote operations need from the
// main window, which implements it. The panes tell the window about user
// requests through their own Qt signals; everything they ask of it goes
// through here.
class PaneHost {
public:
    virtual ~PaneHost() = default;

    // A line of the connection log.
    virtual void DisplayMessage(const QString& sMessage) = 0;
    // The one way a failure reaches the log: "Error: " and its description
    // (nothing for a failure without one, such as an abort).
    void ReportError(const FtpError& e)
    {
        if (!e.description.isEmpty()) DisplayMessage(QStringLiteral("Error: ") + e.description);
    }
    // The status bar: the current action, and the transfer panels cleared.
    virtual void UpdateAction(const QString& sMessage) = 0;
    virtual void ResetStatus() = 0;
    // A call is running (Abort on) or over; the commands are decided again.
    virtual void SetBusyState(bool bBusy) = 0;
    virtual void UpdateLocalCommands() = 0;
    virtual void UpdateRemoteCommands() = 0;
    // Whether the FTP component is connected.
    virtual bool Connected() const = 0;
    // The local pane's folder, ending with the separator.
    virtual QString CurrentLocalFolder() const = 0;
    virtual void RefreshLocalList() = 0;
    virtual void RefreshRemoteList() = 0;
    // Stops the running call (the Abort command).
    virtual void Abort() = 0;
    // The file-exists question for one file: the two captions, whether
    // Resume may be chosen; an ExistingFiles::Answer.
    virtual int AskExists(const QString& sSource, const QString& sDestination, bool bResumeAllowed) = 0;

protected:
    PaneHost() = default;
    PaneHost(const PaneHost&) = default;
    PaneHost& operator=(const PaneHost&) = default;
};
