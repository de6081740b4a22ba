#pragma once

#include "ftp/ControlChannel.h"
#include "ftp/DataChannel.h"
#include "ftp/FileTransfer.h"
#include "ftp/FtpEvents.h"
#include "ftp/FtpSettings.h"
#include "ftp/Listing.h"
#include "ftp/Tls.h"

#include <QList>
#include <QString>

#include <atomic>

// One FTP connection, as the component and the extra connections of folder
// transfers use it. It lives in a worker thread; its operations are plain
// blocking calls that throw FtpError, and it reports through the signals
// of FtpEvents. It logs in (TLS first, where asked), learns what the server
// offers, keeps track of the current folder and sends the folder and raw
// commands; listings and files are the work of its parts.
class FtpSession final : public FtpEvents {
public:
    using Settings = FtpSettings;

    FtpSession(std::atomic<bool>& abortFlag, std::atomic<FtpState::Phase>& phase);
    ~FtpSession() override;

    void apply(const Settings& settings) { m_settings = settings; }
    const Settings& settings() const { return m_settings; }
    // The settings for an extra connection to the same server: these, with
    // the certificate accepted for this connection trusted too.
    Settings settingsForExtraConnection() const;
    // Whether the control connection is encrypted.
    bool encrypted() const { return m_control.encrypted(); }
    void setLogFile(const QString& sPath) { m_control.setLogFile(sPath); }

    // Marks the start and end of an operation (phase busy; the abort flag is
    // cleared by the caller beforehand).
    void beginOperation();
    void endOperation();

    void connectAndLogin();
    void disconnectFromServer();
    bool connected() const { return m_control.connected(); }
    QString currentFolder() const { return m_control.currentFolder(); }

    void changeFolder(const QString& sFolder);
    bool tryChangeFolder(const QString& sFolder);  // false: the server refused
    void parentFolder();
    void makeFolder(const QString& sName);
    void deleteFile(const QString& sName);
    void removeFolder(const QString& sName);
    void rename(const QString& sOld, const QString& sNew);
    void sendCommand(const QString& sCommand);
    // The final reply to the last raw command (a listing counts as 226).
    FtpReply lastCommandReply() const { return m_lastCommandReply; }
    QList<ListingEntry> list() { return m_listing.list(); }
    void list(const std::function<void(ListingEntry&)>& onEntry) { m_listing.list(onEntry); }
    void receiveFile(const QString& sRemote, qint64 nOffset, const QString& sLocal) { m_files.receive(sRemote, nOffset, sLocal); }
    void sendFile(const QString& sLocal, qint64 nOffset, const QString& sRemote, bool bResume)
    {
        m_files.send(sLocal, nOffset, sRemote, bResume);
    }
    QDateTime modificationTime(const QString& sRemote) { return m_files.modificationTime(sRemote, nullptr); }

    // The path in a 257 reply: the first quoted string, "" standing for ".
    static QString ParsePwdReply(const QString& sText);

    // The parts, for folder transfers and their extra connections.
    ControlChannel& control() { return m_control; }
    FileTransfer& files() { return m_files; }

private:
    void checkSettings() const;
    void login();
    void readFeatures();
    void refreshCurrentFolder();
    bool remoteExists(const QString& sName);

    Settings m_settings;
    ControlChannel m_control;
    FtpTls m_tls;
    DataChannel m_data;
    ListingReader m_listing;
    FileTransfer m_files;
    FtpReply m_lastCommandReply;
};
