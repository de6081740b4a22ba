#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One reply of the server: its three-digit code and its lines as received
// (the code included, line ends removed).
struct FtpReply {
    int code = 0;
    QStringList lines;

    int kind() const { return code / 100; }  // 1 preliminary, 2 done, 3 more needed, 4/5 refused
    bool positive() const { return code >= 100 && code < 400; }
    // The reply's text without the codes, lines joined by "\n".
    QString text() const;
};

// Splits the control connection's bytes into replies, by the multi-line
// rules of RFC 959: "123-" opens a reply that ends with the first line
// starting "123 " (or a line that is just "123"); the lines between may be
// anything, including text without a code. Bytes can arrive in any pieces.
//
// A line longer than kMaxLineLength, or a reply with more than kMaxReplyBytes
// in all, is a protocol error: the server is broken or hostile, and memory
// stays bounded either way.
class ReplyParser {
public:
    static constexpr qsizetype kMaxLineLength = 8 * 1024;
    static constexpr qsizetype kMaxReplyBytes = 512 * 1024;

    // False on a protocol error; error() says what it was. After an error
    // the parser takes nothing more until reset().
    bool feed(const QByteArray& data);
    bool hasReply() const { return !m_replies.isEmpty(); }
    FtpReply takeReply() { return m_replies.takeFirst(); }
    QString error() const { return m_sError; }
    bool failed() const { return !m_sError.isEmpty(); }

    // Text after "OPTS UTF8 ON" is UTF-8; before, and when refused, Latin-1.
    void setUtf8(bool bUtf8) { m_bUtf8 = bUtf8; }
    void reset();

private:
    bool takeLine(const QByteArray& line);

    QByteArray m_pending;  // bytes of a line not yet ended
    FtpReply m_current;    // the reply being collected (code 0: none)
    qsizetype m_nCurrentBytes = 0;
    QList<FtpReply> m_replies;
    QString m_sError;
    bool m_bUtf8 = false;
};

// The data port of an EPSV reply: 229 with "(<d><d><d>port<d>)", any
// delimiter d; 0 when the reply gives no usable port.
int ParseEpsvPort(const FtpReply& reply);

// The address and port of a PASV reply's h1,h2,h3,h4,p1,p2 (each 0 to 255);
// nothing when the text holds no such six numbers.
struct PasvTarget {
    QString sAddress;  // dotted IPv4
    int nPort = 0;
};
std::optional<PasvTarget> ParsePasvReply(const QString& sText);

// Text from the server: UTF-8 when that was agreed, else Latin-1; UTF-8
// that does not decode falls back to Latin-1 rather than losing characters
// (*pLatin1, when given, tells whether the text was read as Latin-1).
QString DecodeServerText(QByteArrayView bytes, bool bUtf8, bool* pLatin1 = nullptr);
