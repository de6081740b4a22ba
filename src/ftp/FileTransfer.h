#pragma once

#include "ftp/SideTask.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

class ControlChannel;
class DataChannel;
class FtpEvents;
class ListingReader;
class QFile;
class QTcpSocket;
struct FtpSettings;
struct ListingEntry;

// One file, in either direction: RETR and STOR (REST for resumes), the data
// streamed in large blocks (straight between the kernel's buffers where the
// system allows), the size checked against the server's, the modification
// time carried over, progress reported a few times a second.
class FileTransfer {
public:
    FileTransfer(ControlChannel& control, DataChannel& data, ListingReader& listing, FtpEvents& events,
                 const FtpSettings& settings);

    // pListed: the file's entry in a listing just read, whose size and
    // (when exact to the second) time are used instead of asking again.
    void receive(const QString& sRemote, qint64 nOffset, const QString& sLocal, const ListingEntry* pListed = nullptr);
    void send(const QString& sLocal, qint64 nOffset, const QString& sRemote, bool bResume);
    // The file's time as MDTM gives it; invalid without MDTM or when refused.
    QDateTime modificationTime(const QString& sRemote, const ListingEntry* pListed);

private:
    // The file's size on the server (pListed's, SIZE, or with bListIfUnknown
    // the current folder's listing); -1 when none of them tells.
    qint64 remoteSize(const QString& sRemote, const ListingEntry* pListed, bool bListIfUnknown);
    std::optional<qint64> sizeOnServer(const QString& sRemote);  // SIZE's answer, when it gives one
    // Throws when nReceived bytes from nOffset go beyond a file of nExpected bytes.
    void checkNotBeyond(const QString& sRemote, qint64 nOffset, qint64 nReceived, qint64 nExpected) const;
    // Reads the data connection to its end straight into file (already at
    // byte nOffset), counting in received; false when the system offers no
    // such path and nothing was read.
    bool receiveNative(QTcpSocket& data, QFile& file, const QString& sLocal, const QString& sRemote, QByteArray& buffer,
                       qint64 nOffset, qint64& received, qint64 expected);
    // Sends file from byte sent towards total on the descriptors themselves,
    // past the socket class's buffer, where the system allows, advancing
    // sent; returns early, with the rest still to send, where it does not.
    void sendNative(QTcpSocket& data, QFile& file, const QString& sLocal, qint64& sent, qint64 total);
    // Waits until no more than nLeft bytes are still to go out.
    void waitWritten(QTcpSocket& data, qint64 nLeft, const QString& sLocal);
    // Closes the data connection of an upload once everything is written.
    void closeSentData(QTcpSocket& data);
    void emitProgress(qint64 nDone, qint64 nTotal, bool bFinal);
    void copyLocalTime(const QString& sLocal, const QString& sRemote);

    ControlChannel& m_control;
    DataChannel& m_data;
    ListingReader& m_listing;
    FtpEvents& m_events;
    const FtpSettings& m_settings;
    qint64 m_nLastProgressMs = -1;
    SideTask m_opening;  // opens a download's local file
};
