#pragma once

#include "ftp/ReplyParser.h"

#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <memory>

class ControlChannel;
class FtpTls;
struct FtpSettings;
struct ListingEntry;

// One data connection, from its set-up to its end.
struct DataConnection {
    std::unique_ptr<QTcpSocket> socket;    // the data, once open
    std::unique_ptr<QTcpServer> listener;  // active mode, direct
    std::unique_ptr<QTcpSocket> bound;     // active mode through the proxy (SOCKS BIND)
    bool bTlsClosed = false;               // the server ended the TLS stream (close_notify)
};

// The data connections of one session. open() is the one place where
// passive or active mode is chosen: it prepares the connection, sends REST
// and the command, and once the server has answered 1xx completes it
// (TLS included).
class DataChannel {
public:
    static constexpr qint64 kBlockSize = 1 << 20;  // bytes moved per read or write

    DataChannel(ControlChannel& control, FtpTls& tls, const FtpSettings& settings);

    // sArgument empty: the verb alone; else a name, sent as the server
    // listed it (pListed). nRest > 0 sends REST first; when the server
    // refuses it, bAppendWhenRestRefused sends APPE instead of failing.
    // beforeAsking runs once the connection is prepared, before REST and the
    // command: the last moment for local work that must succeed first.
    FtpReply open(const QString& sVerb, const QString& sArgument, qint64 nRest, bool bAppendWhenRestRefused,
                  DataConnection& connection, const ListingEntry* pListed = nullptr,
                  const std::function<void()>& beforeAsking = {});
    // Encrypts a connection the server opened before it answered (some
    // servers answer 226 at once and send the data all the same).
    void encrypt(DataConnection& connection);
    // Blocks up to one slice of a wait until more data can be read.
    static void waitForData(QTcpSocket& socket, int nSliceMs);
    // Ends a transfer: closes pData and sends ABOR. A server that does not
    // complete the abort loses the connection.
    void abortTransfer(QTcpSocket* pData);

private:
    void preparePassive(DataConnection& connection);
    bool prepareActive(DataConnection& connection);  // false: the server refused active mode
    void completeActive(DataConnection& connection);

    ControlChannel& m_control;
    FtpTls& m_tls;
    const FtpSettings& m_settings;
};
