#include "ftp/FileTransfer.h"

#include "ftp/ControlChannel.h"
#include "ftp/DataChannel.h"
#include "ftp/FtpEvents.h"
#include "ftp/Listing.h"
#include "ftp/ListingParser.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSslSocket>
#include <QTcpSocket>

#include <memory>
#include <utility>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace FtpErrorNumber;

namespace {

constexpr qint64 kBlockSize = DataChannel::kBlockSize;
constexpr qint64 kSendPiece = 64 << 10;  // an upload's reads and sends: small enough to stay in the cache
constexpr int kProgressIntervalMs = 250;
// Inside receive only: more data than the file holds (reported as kProtocol).
constexpr long kBeyondEnd = -1;

bool IsTls(const QAbstractSocket& socket) { return qobject_cast<const QSslSocket*>(&socket) != nullptr; }

// The block moved per read or write: an encrypted connection keeps each
// block twice more (to encrypt, and encrypted), so it moves smaller ones.
qint64 BlockSize(const QAbstractSocket& socket) { return IsTls(socket) ? kBlockSize / 4 : kBlockSize; }

#if defined(Q_OS_LINUX)
// Blocks up to one slice of a wait until the descriptor is ready.
void Poll(int nSocket, short nEvents, int nSliceMs)
{
    pollfd ready{nSocket, nEvents, 0};
    ::poll(&ready, 1, nSliceMs);
}

QString SystemError() { return QString::fromLocal8Bit(strerror(errno)); }
#endif

// Line-end conversion for ASCII transfers: the wire uses CRLF, files here LF.
class AsciiDecoder {
public:
    QByteArray convert(const QByteArray& in)
    {
        QByteArray out;
        out.reserve(in.size() + 1);
        for (char c : in) {
            if (m_bPendingCr) {
                m_bPendingCr = false;
                if (c != '\n') out += '\r';
            }
            if (c == '\r') m_bPendingCr = true;
            else out += c;
        }
        return out;
    }
    QByteArray finish() { return std::exchange(m_bPendingCr, false) ? QByteArray("\r") : QByteArray(); }

private:
    bool m_bPendingCr = false;
};

QByteArray ToCrLf(const QByteArray& in, bool& bLastWasCr)
{
    QByteArray out;
    out.reserve(in.size() + in.size() / 32 + 1);
    for (char c : in) {
        if (c == '\n' && !bLastWasCr) out += '\r';
        out += c;
        bLastWasCr = c == '\r';
    }
    return out;
}

}  // namespace

FileTransfer::FileTransfer(ControlChannel& control, DataChannel& data, ListingReader& listing, FtpEvents& events,
                           const FtpSettings& settings)
    : m_control(control), m_data(data), m_listing(listing), m_events(events), m_settings(settings)
{
}

void FileTransfer::emitProgress(qint64 nDone, qint64 nTotal, bool bFinal)
{
    // Started once, whichever connection's thread gets here first.
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    const qint64 now = clock.elapsed();
    if (!bFinal && m_nLastProgressMs >= 0 && now - m_nLastProgressMs < kProgressIntervalMs) return;
    // All of it: the final report follows once the server has confirmed, and
    // a small file of a folder costs the owner one wake-up instead of two.
    if (!bFinal && nTotal > 0 && nDone >= nTotal) return;
    m_nLastProgressMs = now;
    // Without a known size the total is 0 and the percentage stays at 0
    // until the end: the bytes so far are no total.
    const qint64 total = nTotal > 0 ? nTotal : (bFinal ? nDone : 0);
    const int percent = total > 0 ? static_cast<int>(qBound(qint64(0), nDone * 100 / total, qint64(100))) : (bFinal ? 100 : 0);
    Q_EMIT m_events.progress(nDone, total, percent);
}

// --- receiving ----------------------------------------------------------------------------

void FileTransfer::receive(const QString& sRemote, qint64 nOffset, const QString& sLocal, const ListingEntry* pListed)
{
    if (sRemote.isEmpty() || sLocal.isEmpty()) throw FtpError{kInvalidArgument, QStringLiteral("No file name given.")};
    if (nOffset < 0) throw FtpError{kInvalidArgument, QStringLiteral("The start offset may not be negative.")};
    const bool bAscii = m_settings.nTransferType == 1;

    // Open the local file before asking for the remote one, but change
    // nothing in it until the server has agreed to send. Creating a file
    // costs some file systems more than a round trip to the server, so it is
    // opened beside the commands that come before the data, and waited for
    // before the server is asked to send.
    QFile file(sLocal);
    const bool bExisted = QFileInfo::exists(sLocal);
    if (QFileInfo(sLocal).isDir()) throw FtpError{kLocalFile, QStringLiteral("Cannot write %1: it is a folder.").arg(sLocal)};
    bool bOpened = false;
    m_opening.start([&file, &bOpened] { bOpened = file.open(QIODevice::ReadWrite); });
    const auto openingEnds = qScopeGuard([this] { m_opening.wait(); });  // the job uses file
    bool bChecked = false;
    const auto opened = [&] {
        if (std::exchange(bChecked, true)) return;
        m_opening.wait();
        if (!bOpened) throw FtpError{kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, file.errorString())};
        if (nOffset > file.size())
            throw FtpError{kInvalidArgument, QStringLiteral("Cannot resume %1 at byte %2: the local file has only %3 bytes.")
                                              .arg(sLocal).arg(nOffset).arg(file.size())};
    };
    if (nOffset > 0) opened();  // a resume is decided on the local file's size

    // Until the server agrees to send, a file that this call created goes
    // again when the call fails.
    DataConnection connection;
    qint64 expected = -1;  // the whole file's size, when the server tells
    FtpReply reply;
    QDateTime time;  // the copy's modification time, where the server tells it
    try {
        m_control.ensureType(bAscii);
        if (!bAscii) expected = remoteSize(sRemote, pListed, nOffset > 0);
        // What is written is checked against the server's size: a resume
        // is only possible inside the file, and where the size is unknown
        // nothing would show a server that ignores the offset.
        if (nOffset > 0 && !bAscii) {
            if (expected < 0)
                throw FtpError{kRefused, QStringLiteral("Cannot resume %1: the server does not tell its size.").arg(sRemote)};
            if (nOffset > expected)
                throw FtpError{kInvalidArgument, QStringLiteral("Cannot resume %1 at byte %2: the file on the server has only %3 bytes.")
                                                  .arg(sRemote).arg(nOffset).arg(expected)};
            if (nOffset == expected) {
                file.close();
                m_control.log(QStringLiteral("%1 is complete already (%2 bytes).").arg(sRemote).arg(expected));
                emitProgress(expected, expected, true);
                return;
            }
        }

        // An MLSD time is exact to the second: no need to ask for it.
        time = pListed && pListed->date.isValid() && pListed->nDatePrecision == 1 ? pListed->date
                                                                                   : modificationTime(sRemote, pListed);
        reply = m_data.open(QStringLiteral("RETR"), sRemote, nOffset, false, connection, pListed, opened);
        if (reply.kind() != 1) {
            ControlChannel::expectPositive(reply);
            throw FtpError{kProtocol, QStringLiteral("The server did not start the transfer: %1 %2").arg(reply.code).arg(reply.text())};
        }
    } catch (const FtpError&) {
        m_opening.wait();
        if (!bExisted && bOpened) file.remove();
        throw;
    }
    std::unique_ptr<QTcpSocket>& data = connection.socket;
    if (expected < 0 && nOffset == 0 && !bAscii) {
        static const QRegularExpression kBytes(QStringLiteral("\\((\\d+) bytes\\)"));
        const QRegularExpressionMatch match = kBytes.match(reply.text());
        if (match.hasMatch()) expected = match.captured(1).toLongLong();
    }

    Q_EMIT m_events.receiving(QFileInfo(sRemote).fileName().isEmpty() ? sRemote : QFileInfo(sRemote).fileName());
    // Only a file that is longer is cut: truncating a new, empty file would
    // make some file systems (ext4) write it out at close, which costs
    // dearly over thousands of small files.
    if ((file.size() != nOffset && !file.resize(nOffset)) || !file.seek(nOffset)) {
        const QString why = file.errorString();
        m_data.abortTransfer(data.get());
        throw FtpError{kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, why)};
    }

    qint64 received = 0;
    m_nLastProgressMs = -1;
    AsciiDecoder ascii;
    QByteArray buffer(BlockSize(*data), Qt::Uninitialized);
    const auto cannotWrite = [&] { return FtpError{kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, file.errorString())}; };
    try {
        // Binary data goes from the socket to the file without the socket
        // class's own buffer in between, where the system allows it.
        if (bAscii || !receiveNative(*data, file, sLocal, sRemote, buffer, nOffset, received, expected)) {
            m_control.wait(m_settings.nIdleTimeoutMs)
                .until(
                    [&] {
                        const qint64 got = data->read(buffer.data(), buffer.size());
                        if (got > 0) {
                            if (!bAscii) checkNotBeyond(sRemote, nOffset, received + got, expected);
                            received += got;
                            const QByteArray text =
                                bAscii ? ascii.convert(QByteArray::fromRawData(buffer.constData(), got)) : QByteArray();
                            const bool bWritten = bAscii ? file.write(text) == text.size()
                                                         : file.write(buffer.constData(), got) == got;
                            if (!bWritten) throw cannotWrite();
                            emitProgress(nOffset + received, expected, false);
                            return Wait::Moved;
                        }
                        if (got < 0 || data->state() != QAbstractSocket::ConnectedState || connection.bTlsClosed)
                            return data->bytesAvailable() > 0 ? Wait::Moved : Wait::Done;
                        return Wait::Idle;
                    },
                    [&](int nSliceMs) { DataChannel::waitForData(*data, nSliceMs); },
                    [&] { throw FtpError{kTimeout, QStringLiteral("Timed out waiting for data of %1.").arg(sRemote)}; });
            if (bAscii) file.write(ascii.finish());
        }
        if (!file.flush()) throw cannotWrite();
    } catch (const FtpError& e) {
        // What has arrived stays, for a resume; bytes beyond the file's end
        // are the wrong bytes, and the file goes back to what it was.
        if (e.number == kBeyondEnd && !file.resize(nOffset))
            m_control.log(QStringLiteral("Cannot cut %1 back: %2").arg(sLocal, file.errorString()));
        file.close();
        if (e.number == kBeyondEnd && nOffset == 0 && !bExisted) QFile::remove(sLocal);
        if (e.number != kConnectionLost) m_data.abortTransfer(data.get());
        throw FtpError{e.number == kBeyondEnd ? kProtocol : e.number, e.description};
    }
    // The file stays open until its time is set: no second opening of it.
    data.reset();

    try {
        reply = m_control.readFinalReply();
    } catch (const FtpError& e) {
        if (e.number == kTimeout || e.number == kConnectionLost)
            throw FtpError{kShortTransfer, QStringLiteral("%1: the server did not confirm the end of the transfer (%2)")
                                            .arg(sRemote, e.description)};
        throw;
    }
    if (!reply.positive())
        throw FtpError{kShortTransfer, QStringLiteral("The transfer of %1 failed: %2 %3").arg(sRemote).arg(reply.code).arg(reply.text())};
    if (expected >= 0 && nOffset + received < expected)
        throw FtpError{kShortTransfer, QStringLiteral("The transfer of %1 ended early: %2 of %3 bytes arrived.")
                                        .arg(sRemote)
                                        .arg(nOffset + received)
                                        .arg(expected)};
    emitProgress(nOffset + received, expected >= 0 ? expected : nOffset + received, true);
    if (time.isValid()) file.setFileTime(time, QFileDevice::FileModificationTime);
}

qint64 FileTransfer::remoteSize(const QString& sRemote, const ListingEntry* pListed, bool bListIfUnknown)
{
    // A listing entry just read gives the size without asking again (a
    // link's entry gives the link's own size, not its target's).
    if (pListed && pListed->kind == ListingEntry::File) return pListed->size;
    if (m_control.features().bSize) {
        const std::optional<qint64> size = sizeOnServer(sRemote);
        if (size && *size >= 0) return *size;
    }
    if (bListIfUnknown && !sRemote.contains(QLatin1Char('/'))) {
        try {
            for (const ListingEntry& entry : m_listing.list())
                if (entry.name == sRemote && entry.kind == ListingEntry::File) return entry.size;
        } catch (const FtpError& e) {
            if (e.number != kRefused) throw;  // a server that will not list tells nothing
        }
    }
    return -1;
}

std::optional<qint64> FileTransfer::sizeOnServer(const QString& sRemote)
{
    const FtpReply reply = m_control.named(QStringLiteral("SIZE"), sRemote);
    bool ok = false;
    const qint64 size = reply.text().toLongLong(&ok);
    if (reply.code != 213 || !ok) return std::nullopt;
    return size;
}

void FileTransfer::checkNotBeyond(const QString& sRemote, qint64 nOffset, qint64 nReceived, qint64 nExpected) const
{
    if (nExpected < 0 || nOffset + nReceived <= nExpected) return;
    throw FtpError{kBeyondEnd, QStringLiteral("The server sent more of %1 than the file holds (%2 bytes from byte %3 of %4)%5; "
                                           "the local file is left as it was before.")
                                .arg(sRemote)
                                .arg(nReceived)
                                .arg(nOffset)
                                .arg(nExpected)
                                .arg(nOffset > 0 ? QStringLiteral(": it did not resume where it was asked to") : QString())};
}

bool FileTransfer::receiveNative(QTcpSocket& data, QFile& file, const QString& sLocal, const QString& sRemote,
                                 QByteArray& buffer, qint64 nOffset, qint64& received, qint64 expected)
{
#if defined(Q_OS_LINUX)
    const int nSocket = static_cast<int>(data.socketDescriptor());
    if (nSocket < 0 || IsTls(data) || !file.flush()) return false;
    const int nFile = file.handle();
    const auto writeAll = [&](const char* p, qint64 n) {
        while (n > 0) {
            const ssize_t done = ::write(nFile, p, static_cast<size_t>(n));
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) throw FtpError{kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, SystemError())};
            p += done;
            n -= done;
        }
    };
    // What the socket class has read already comes first.
    while (data.bytesAvailable() > 0) {
        const qint64 got = data.read(buffer.data(), buffer.size());
        if (got <= 0) break;
        checkNotBeyond(sRemote, nOffset, received + got, expected);
        writeAll(buffer.constData(), got);
        received += got;
    }
    m_control.wait(m_settings.nIdleTimeoutMs)
        .until(
            [&] {
                ssize_t got = 0;
                do got = ::read(nSocket, buffer.data(), static_cast<size_t>(buffer.size()));
                while (got < 0 && errno == EINTR);
                if (got > 0) {
                    checkNotBeyond(sRemote, nOffset, received + got, expected);
                    writeAll(buffer.constData(), got);
                    received += got;
                    emitProgress(nOffset + received, expected, false);
                    return Wait::Moved;
                }
                if (got == 0) return Wait::Done;  // the server closed the data connection: the end of the file
                if (errno == EAGAIN) return Wait::Idle;
                // A reset connection ends the data like a close; the server's
                // final reply and the size check tell whether it was all.
                if (errno == ECONNRESET) return Wait::Done;
                throw FtpError{kShortTransfer, QStringLiteral("The data connection of %1 failed: %2").arg(sRemote, SystemError())};
            },
            [&](int nSliceMs) { Poll(nSocket, POLLIN, nSliceMs); },
            [&] { throw FtpError{kTimeout, QStringLiteral("Timed out waiting for data of %1.").arg(sRemote)}; });
    // The file was written around QFile: bring its idea of the position in line.
    file.seek(nOffset + received);
    return true;
#else
    Q_UNUSED(data) Q_UNUSED(file) Q_UNUSED(sLocal) Q_UNUSED(sRemote) Q_UNUSED(buffer) Q_UNUSED(nOffset)
    Q_UNUSED(received) Q_UNUSED(expected)
    return false;
#endif
}

// --- sending ------------------------------------------------------------------------------

void FileTransfer::send(const QString& sLocal, qint64 nOffset, const QString& sRemote, bool bResume)
{
    if (sRemote.isEmpty() || sLocal.isEmpty()) throw FtpError{kInvalidArgument, QStringLiteral("No file name given.")};
    if (nOffset < 0) throw FtpError{kInvalidArgument, QStringLiteral("The start offset may not be negative.")};
    const QFileInfo info(sLocal);
    if (!info.isFile()) throw FtpError{kLocalFile, QStringLiteral("Cannot read %1: not a file.").arg(sLocal)};
    QFile file(sLocal);
    if (!file.open(QIODevice::ReadOnly))
        throw FtpError{kLocalFile, QStringLiteral("Cannot read %1: %2").arg(sLocal, file.errorString())};
    const qint64 total = file.size();
    const qint64 offset = bResume ? nOffset : 0;
    if (offset > total)
        throw FtpError{kInvalidArgument, QStringLiteral("Cannot resume at byte %1: %2 has only %3 bytes.").arg(offset).arg(sLocal).arg(total)};
    const bool bAscii = m_settings.nTransferType == 1;
    m_control.ensureType(bAscii);

    DataConnection connection;
    FtpReply reply = m_data.open(QStringLiteral("STOR"), sRemote, offset, true, connection);
    std::unique_ptr<QTcpSocket>& data = connection.socket;
    if (reply.kind() != 1) {
        ControlChannel::expectPositive(reply);
        throw FtpError{kProtocol, QStringLiteral("The server did not start the transfer: %1 %2").arg(reply.code).arg(reply.text())};
    }
    Q_EMIT m_events.sending(info.fileName());

    qint64 sent = offset;
    m_nLastProgressMs = -1;
    bool bLastWasCr = false;
    const auto cannotRead = [&] { return FtpError{kLocalFile, QStringLiteral("Cannot read %1: %2").arg(sLocal, file.errorString())}; };
    try {
        if (!file.seek(offset)) throw cannotRead();
        // Binary data goes from the file to the socket inside the kernel
        // where it can; the loop below finishes whatever is left.
        if (!bAscii) sendNative(*data, file, sLocal, sent, total);
        if (!file.seek(sent)) throw cannotRead();
        const qint64 nBlock = BlockSize(*data);
        QByteArray buffer(nBlock, Qt::Uninitialized);
        for (;;) {
            m_control.checkAbort();
            const qint64 got = file.read(buffer.data(), buffer.size());
            if (got < 0) throw cannotRead();
            if (got == 0) break;
            if (bAscii) data->write(ToCrLf(QByteArray::fromRawData(buffer.constData(), got), bLastWasCr));
            else data->write(buffer.constData(), got);
            waitWritten(*data, nBlock / 2, sLocal);
            sent += got;
            emitProgress(sent, total, false);
        }
        waitWritten(*data, 0, sLocal);
        closeSentData(*data);
    } catch (const FtpError& e) {
        if (e.number == kAborted && IsTls(*data)) {
            // Stopped, an encrypted upload still ends its stream the way a
            // finished one does: a reset in the middle of it makes some
            // servers (vsftpd) end the whole session. The server keeps what
            // has arrived, as it does after a reset.
            try {
                m_control.clearAbort();
                closeSentData(*data);
            } catch (const FtpError&) {
                // Stopped again or gone: the abort below deals with it.
            }
        }
        if (e.number != kConnectionLost) m_data.abortTransfer(data.get());
        throw;
    }
    data.reset();

    reply = m_control.readFinalReply();
    if (!reply.positive())
        throw FtpError{kShortTransfer, QStringLiteral("The transfer of %1 failed: %2 %3").arg(sLocal).arg(reply.code).arg(reply.text())};
    if (!bAscii && m_control.features().bSize) {
        const std::optional<qint64> size = sizeOnServer(sRemote);
        if (size && *size < total)
            throw FtpError{kShortTransfer, QStringLiteral("The server holds %1 of the %2 bytes of %3.").arg(*size).arg(total).arg(sLocal)};
    }
    emitProgress(total, total, true);
    copyLocalTime(sLocal, sRemote);
}

void FileTransfer::waitWritten(QTcpSocket& data, qint64 nLeft, const QString& sLocal)
{
    qint64 pending = data.bytesToWrite();
    m_control.wait(m_settings.nIdleTimeoutMs)
        .until(
            [&] {
                if (data.bytesToWrite() <= nLeft) return Wait::Done;
                if (data.state() != QAbstractSocket::ConnectedState)
                    throw FtpError{kShortTransfer, QStringLiteral("The server closed the data connection while %1 was sent.").arg(sLocal)};
                if (data.bytesToWrite() < std::exchange(pending, data.bytesToWrite())) return Wait::Moved;
                return Wait::Idle;
            },
            [&](int nSliceMs) { data.waitForBytesWritten(nSliceMs); },
            [&] { throw FtpError{kTimeout, QStringLiteral("Timed out sending %1.").arg(sLocal)}; });
}

void FileTransfer::sendNative(QTcpSocket& data, QFile& file, const QString& sLocal, qint64& sent, qint64 total)
{
#if defined(Q_OS_LINUX)
    // Reads and sends on the descriptors themselves, in pieces that stay in
    // the processor's cache between the two: faster here than sendfile, and
    // than larger pieces (measured against curl on vsftpd over loopback).
    const int nSocket = static_cast<int>(data.socketDescriptor());
    if (nSocket < 0 || IsTls(data) || data.bytesToWrite() > 0 || !file.flush()) return;
    QByteArray buffer(kSendPiece, Qt::Uninitialized);
    qint64 nRead = sent;            // the file's next byte to read
    qint64 nHave = 0, nDone = 0;    // bytes in the buffer, and of them sent
    m_control.wait(m_settings.nIdleTimeoutMs)
        .until(
            [&] {
                if (nDone == nHave) {
                    if (nRead >= total) return Wait::Done;
                    ssize_t got = 0;
                    do got = ::pread(file.handle(), buffer.data(), static_cast<size_t>(qMin<qint64>(total - nRead, kSendPiece)), nRead);
                    while (got < 0 && errno == EINTR);
                    if (got < 0) throw FtpError{kLocalFile, QStringLiteral("Cannot read %1: %2").arg(sLocal, SystemError())};
                    if (got == 0) return Wait::Done;  // the file is shorter than it was: the copy loop sees its end
                    nRead += got;
                    nHave = got;
                    nDone = 0;
                }
                ssize_t n = 0;
                do n = ::send(nSocket, buffer.constData() + nDone, static_cast<size_t>(nHave - nDone), MSG_NOSIGNAL);
                while (n < 0 && errno == EINTR);
                if (n > 0) {
                    nDone += n;
                    sent += n;
                    emitProgress(sent, total, false);
                    return Wait::Moved;
                }
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Wait::Idle;
                if (n < 0 && (errno == EPIPE || errno == ECONNRESET))
                    throw FtpError{kShortTransfer, QStringLiteral("The server closed the data connection while %1 was sent.").arg(sLocal)};
                throw FtpError{kLocalFile, QStringLiteral("Cannot send %1: %2").arg(sLocal, SystemError())};
            },
            [&](int nSliceMs) { Poll(nSocket, POLLOUT, nSliceMs); },
            [&] { throw FtpError{kTimeout, QStringLiteral("Timed out sending %1.").arg(sLocal)}; });
#else
    Q_UNUSED(data) Q_UNUSED(file) Q_UNUSED(sLocal) Q_UNUSED(sent) Q_UNUSED(total)
#endif
}

void FileTransfer::closeSentData(QTcpSocket& data)
{
#if defined(Q_OS_LINUX)
    // A TLS server sends on the data connection too (session tickets), and
    // closing a socket with unread data resets the connection, which can
    // destroy the end of the upload before the server has read it. So the
    // connection is kept open past the socket class's close (a second
    // descriptor), shut for writing after its close_notify, and read to
    // the server's end before it is closed.
    const int nKept = IsTls(data) && data.socketDescriptor() >= 0 ? ::dup(static_cast<int>(data.socketDescriptor())) : -1;
    const auto closeKept = qScopeGuard([nKept] {
        if (nKept >= 0) ::close(nKept);
    });
#endif
    // Neither wait is a failure when its time runs out: there is nothing
    // more to wait for then.
    data.disconnectFromHost();
    m_control.wait(m_settings.nIdleTimeoutMs)
        .until([&] { return data.state() == QAbstractSocket::UnconnectedState ? Wait::Done : Wait::Idle; },
               [&](int nSliceMs) { data.waitForDisconnected(nSliceMs); }, [] {});
#if defined(Q_OS_LINUX)
    if (nKept < 0) return;
    ::shutdown(nKept, SHUT_WR);
    char sink[4096];
    // What the server still sends is read and dropped; it does not restart
    // the time, which is for the whole of this.
    m_control.wait(m_settings.nIdleTimeoutMs)
        .until(
            [&] {
                ssize_t got = 0;
                do got = ::read(nKept, sink, sizeof sink);
                while (got < 0 && errno == EINTR);
                if (got > 0 || (got < 0 && errno == EAGAIN)) return Wait::Idle;
                return Wait::Done;  // the server's end or a reset: nothing more to wait for
            },
            [&](int nSliceMs) { Poll(nKept, POLLIN, nSliceMs); }, [] {});
#endif
}

// --- times --------------------------------------------------------------------------------

// The copy carries the original's modification time where the server tells
// it exactly (MDTM) or can set it (MFMT), so that the next comparison of the
// two sides sees them equal. Failing to is no failure of the transfer.
QDateTime FileTransfer::modificationTime(const QString& sRemote, const ListingEntry* pListed)
{
    if (!m_control.features().bMdtm) return {};
    const FtpReply reply = m_control.named(QStringLiteral("MDTM"), sRemote, pListed);
    return reply.code == 213 ? ListingParser::ParseTimeVal(reply.text()) : QDateTime();
}

void FileTransfer::copyLocalTime(const QString& sLocal, const QString& sRemote)
{
    if (!m_control.features().bMfmt) return;
    const QDateTime time = QFileInfo(sLocal).lastModified().toUTC();
    if (time.isValid()) m_control.named(QStringLiteral("MFMT ") + time.toString(QStringLiteral("yyyyMMddHHmmss")), sRemote);
}
