#include "ftp/Listing.h"

#include "ftp/ControlChannel.h"
#include "ftp/DataChannel.h"
#include "ftp/ListingParser.h"

#include <QDateTime>

using namespace FtpErrorNumber;

namespace {

constexpr qint64 kMaxListingBytes = 256LL << 20;  // a listing larger than this is refused

}  // namespace

ListingReader::ListingReader(ControlChannel& control, DataChannel& data, const FtpSettings& settings)
    : m_control(control), m_data(data), m_settings(settings)
{
}

QList<QByteArray> ListingReader::read(const QString& sCommand)
{
    DataConnection connection;
    FtpReply reply = m_data.open(sCommand, QString(), 0, false, connection);
    if (reply.kind() != 1) {
        ControlChannel::expectPositive(reply);
        // Some servers answer 226 at once, sending the data all the same.
        if (!connection.socket) return {};
        if (m_control.encrypted()) m_data.encrypt(connection);
    }
    QTcpSocket* data = connection.socket.get();
    QByteArray bytes;
    try {
        m_control.wait(m_settings.nIdleTimeoutMs)
            .until(
                [&] {
                    if (data->bytesAvailable() > 0) {
                        bytes += data->readAll();
                        if (bytes.size() > kMaxListingBytes)
                            throw FtpError{kProtocol, QStringLiteral("The listing is larger than %1 MiB.").arg(kMaxListingBytes >> 20)};
                        return Wait::Moved;
                    }
                    if (data->state() != QAbstractSocket::ConnectedState || connection.bTlsClosed) return Wait::Done;
                    return Wait::Idle;
                },
                [&](int nSliceMs) { data->waitForReadyRead(nSliceMs); },
                [] { throw FtpError{kTimeout, QStringLiteral("Timed out waiting for the listing.")}; });
        bytes += data->readAll();
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
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    lines.removeIf([](const QByteArray& line) { return line.trimmed().isEmpty(); });
    return lines;
}

QList<QByteArray> ListingReader::readUnixListing()
{
    // Plain LIST leaves out the hidden files of Unix servers; "-a" takes
    // them in where the server knows it.
    ServerFeatures& features = m_control.features();
    if (!features.bListAllRefused) {
        try {
            return read(QStringLiteral("LIST -a"));
        } catch (const FtpError& e) {
            if (e.number != kRefused || !e.description.startsWith(QLatin1Char('5'))) throw;
            features.bListAllRefused = true;
            m_control.log(QStringLiteral("The server does not take LIST -a; listings use plain LIST."));
        }
    }
    return read(QStringLiteral("LIST"));
}

QList<ListingEntry> ListingReader::list()
{
    const bool bMlsd = m_settings.bUseMlsd && m_control.features().bMlsd;
    const QList<QByteArray> lines = bMlsd ? read(QStringLiteral("MLSD")) : readUnixListing();
    const QDateTime now = QDateTime::currentDateTime();
    QHash<QString, QByteArray> rawNames;
    QList<ListingEntry> entries;
    for (const QByteArray& raw : lines) {
        bool bLatin1 = false;
        const QString line = DecodeServerText(raw, m_control.utf8(), &bLatin1);
        std::optional<ListingEntry> entry = bMlsd ? ListingParser::ParseMlsdLine(line) : ListingParser::ParseListLine(line, now);
        if (entry) {
            // A name a UTF-8 server lists in other bytes goes back in those.
            if (bLatin1) {
                entry->rawName = entry->name.toLatin1();
                rawNames.insert(entry->name, entry->rawName);
            }
            entries.append(*entry);
        } else if (!bMlsd && !line.startsWith(QLatin1String("total "), Qt::CaseInsensitive)
                   && !line.endsWith(QLatin1String(" .")) && !line.endsWith(QLatin1String(" .."))) {
            // (LIST -a shows the folder itself and its parent: no entries.)
            m_control.log(QStringLiteral("Listing line not understood, skipped: ") + line.left(200));
        }
    }
    m_control.rememberListedNames(rawNames);
    return entries;
}
