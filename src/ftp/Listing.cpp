#include "ftp/Listing.h"

#include "ftp/ControlChannel.h"
#include "ftp/DataChannel.h"
#include "ftp/ListingParser.h"

#include <QDateTime>

using namespace FtpErrorNumber;

namespace {

constexpr qint64 kMaxListingBytes = 256LL << 20;  // a listing larger than this is refused
constexpr qint64 kPieceBytes = 256 << 10;

}  // namespace

ListingReader::ListingReader(ControlChannel& control, DataChannel& data, const FtpSettings& settings)
    : m_control(control), m_data(data), m_settings(settings)
{
}

namespace {

// Hands on the complete lines at the start of bytes (line ends removed,
// blank lines left out) and drops them, keeping an unfinished last line;
// bAtEnd takes that one too.
void TakeLines(QByteArray& bytes, bool bAtEnd, const std::function<void(QByteArrayView)>& onLine)
{
    qsizetype start = 0;
    for (;;) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            if (!bAtEnd || start >= bytes.size()) break;
            end = bytes.size();
        }
        QByteArrayView line(bytes.constData() + start, end - start);
        if (line.endsWith('\r')) line.chop(1);
        if (!line.trimmed().isEmpty()) onLine(line);
        start = end + 1;
    }
    bytes.remove(0, qMin(start, bytes.size()));
}

}  // namespace

void ListingReader::read(const QString& sCommand, const std::function<void(QByteArrayView)>& onLine)
{
    DataConnection connection;
    FtpReply reply = m_data.open(sCommand, QString(), 0, false, connection);
    if (reply.kind() != 1) {
        ControlChannel::expectPositive(reply);
        // Some servers answer 226 at once, sending the data all the same.
        if (!connection.socket) return;
        if (m_control.encrypted()) m_data.encrypt(connection);
    }
    QTcpSocket* data = connection.socket.get();
    // Read and handed on a piece at a time, so that only a little of the
    // listing is ever held here.
    data->setReadBufferSize(kPieceBytes);
    QByteArray bytes;  // what has arrived and is not a whole line yet
    qint64 total = 0;
    try {
        m_control.wait(m_settings.nIdleTimeoutMs)
            .until(
                [&] {
                    if (data->bytesAvailable() > 0) {
                        const qsizetype kept = bytes.size();
                        bytes.resize(kept + kPieceBytes);
                        const qint64 got = qMax<qint64>(0, data->read(bytes.data() + kept, kPieceBytes));
                        bytes.resize(kept + got);
                        total += got;
                        if (total > kMaxListingBytes)
                            throw FtpError{kProtocol, QStringLiteral("The listing is larger than %1 MiB.").arg(kMaxListingBytes >> 20)};
                        TakeLines(bytes, false, onLine);
                        return Wait::Moved;
                    }
                    if (data->state() != QAbstractSocket::ConnectedState || connection.bTlsClosed) return Wait::Done;
                    return Wait::Idle;
                },
                [&](int nSliceMs) { DataChannel::waitForData(*data, nSliceMs); },
                [] { throw FtpError{kTimeout, QStringLiteral("Timed out waiting for the listing.")}; });
        bytes += data->readAll();
        TakeLines(bytes, true, onLine);
        data->abort();  // some servers confirm the listing only once it is closed
    } catch (const FtpError& e) {
        if (e.number == kAborted || e.number == kTimeout || e.number == kProtocol) m_data.abortTransfer(data);
        throw;
    }
    if (reply.kind() == 1) {
        reply = m_control.readFinalReply();
        if (!reply.positive())
            throw FtpError{kShortTransfer, QStringLiteral("The listing did not complete: %1 %2").arg(reply.code).arg(reply.text())};
    }
}

void ListingReader::readUnixListing(const std::function<void(QByteArrayView)>& onLine)
{
    // Plain LIST leaves out the hidden files of Unix servers; "-a" takes
    // them in where the server knows it. A refusal comes before any line.
    ServerFeatures& features = m_control.features();
    if (!features.bListAllRefused) {
        try {
            read(QStringLiteral("LIST -a"), onLine);
            return;
        } catch (const FtpError& e) {
            if (e.number != kRefused || !e.description.startsWith(QLatin1Char('5'))) throw;
            features.bListAllRefused = true;
            m_control.log(QStringLiteral("The server does not take LIST -a; listings use plain LIST."));
        }
    }
    read(QStringLiteral("LIST"), onLine);
}

void ListingReader::list(const std::function<void(ListingEntry&)>& onEntry)
{
    const bool bMlsd = m_settings.bUseMlsd && m_control.features().bMlsd;
    ListingParser::Clock clock(QDateTime::currentDateTime());
    QHash<QString, QByteArray> rawNames;
    const auto onLine = [&](QByteArrayView raw) {
        bool bLatin1 = false;
        const QString line = DecodeServerText(raw, m_control.utf8(), &bLatin1);
        std::optional<ListingEntry> entry = bMlsd ? ListingParser::ParseMlsdLine(line, clock) : ListingParser::ParseListLine(line, clock);
        if (entry) {
            // A name a UTF-8 server lists in other bytes goes back in those.
            if (bLatin1) {
                entry->setRawName(entry->name.toLatin1());
                rawNames.insert(entry->name, entry->rawName());
            }
            onEntry(*entry);
        } else if (!bMlsd && !line.startsWith(QLatin1String("total "), Qt::CaseInsensitive)
                   && !line.endsWith(QLatin1String(" .")) && !line.endsWith(QLatin1String(" .."))) {
            // (LIST -a shows the folder itself and its parent: no entries.)
            m_control.log(QStringLiteral("Listing line not understood, skipped: ") + line.left(200));
        }
    };
    if (bMlsd) read(QStringLiteral("MLSD"), onLine);
    else readUnixListing(onLine);
    m_control.rememberListedNames(rawNames);
}

QList<ListingEntry> ListingReader::list()
{
    QList<ListingEntry> entries;
    list([&](ListingEntry& entry) { entries.append(std::move(entry)); });
    return entries;
}
