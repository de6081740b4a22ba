#include "ftp/ReplyParser.h"

#include <QRegularExpression>

#include <QStringDecoder>

#include <cctype>

namespace {

bool StartsWithCode(const QByteArray& line)
{
    return line.size() >= 3 && line[0] >= '1' && line[0] <= '5' && std::isdigit(static_cast<unsigned char>(line[1]))
           && std::isdigit(static_cast<unsigned char>(line[2]));
}

}  // namespace

QString DecodeServerText(QByteArrayView bytes, bool bUtf8, bool* pLatin1)
{
    if (pLatin1) *pLatin1 = false;
    if (bUtf8) {
        // Stateless: UTF-8 cut off at the end is an error (and the text
        // Latin-1), not bytes the decoder keeps back and drops.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder(bytes);
        if (!decoder.hasError()) return text;
        if (pLatin1) *pLatin1 = true;
    }
    return QString::fromLatin1(bytes);
}

QString FtpReply::text() const
{
    QStringList texts;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        const bool bCoded = line.size() >= 3 && line.left(3) == QString::number(code);
        if (bCoded && (line.size() == 3 || line[3] == QLatin1Char(' ') || line[3] == QLatin1Char('-')))
            texts << line.mid(4);
        else
            texts << line;
    }
    return texts.join(QLatin1Char('\n')).trimmed();
}

void ReplyParser::reset()
{
    m_pending.clear();
    m_current = FtpReply();
    m_nCurrentBytes = 0;
    m_replies.clear();
    m_sError.clear();
}

bool ReplyParser::feed(const QByteArray& data)
{
    if (failed()) return false;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype end = data.indexOf('\n', start);
        if (end < 0) {
            m_pending.append(data.constData() + start, data.size() - start);
            if (m_pending.size() > kMaxLineLength) {
                m_sError = QStringLiteral("The server sent a reply line longer than %1 bytes.").arg(kMaxLineLength);
                return false;
            }
            return true;
        }
        m_pending.append(data.constData() + start, end - start);
        start = end + 1;
        QByteArray line;
        line.swap(m_pending);
        if (line.endsWith('\r')) line.chop(1);
        if (line.size() > kMaxLineLength) {
            m_sError = QStringLiteral("The server sent a reply line longer than %1 bytes.").arg(kMaxLineLength);
            return false;
        }
        if (!takeLine(line)) return false;
    }
    return true;
}

bool ReplyParser::takeLine(const QByteArray& line)
{
    const QString text = DecodeServerText(line, m_bUtf8);
    if (m_current.code == 0) {
        if (line.isEmpty()) return true;  // stray blank line between replies
        if (!StartsWithCode(line) || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
            m_sError = QStringLiteral("The server sent a line that is not an FTP reply: \"%1\"").arg(text.left(80));
            return false;
        }
        const int code = line.left(3).toInt();
        if (line.size() > 3 && line[3] == '-') {
            m_current.code = code;
            m_current.lines << text;
            m_nCurrentBytes = line.size();
            return true;
        }
        m_replies.append(FtpReply{code, {text}});
        return true;
    }

    m_nCurrentBytes += line.size() + 2;
    if (m_nCurrentBytes > kMaxReplyBytes) {
        m_sError = QStringLiteral("The server sent a reply of more than %1 bytes.").arg(kMaxReplyBytes);
        return false;
    }
    m_current.lines << text;
    const QByteArray code = QByteArray::number(m_current.code);
    if (line.startsWith(code) && (line.size() == 3 || line[3] == ' ')) {
        m_replies.append(m_current);
        m_current = FtpReply();
        m_nCurrentBytes = 0;
    }
    return true;
}

int ParseEpsvPort(const FtpReply& reply)
{
    if (reply.code != 229) return 0;
    static const QRegularExpression kEpsv(QStringLiteral("\\((.)\\1\\1(\\d{1,5})\\1\\)"));
    const QRegularExpressionMatch match = kEpsv.match(reply.text());
    if (!match.hasMatch()) return 0;
    const int port = match.captured(2).toInt();
    return port > 0 && port <= 65535 ? port : 0;
}

std::optional<PasvTarget> ParsePasvReply(const QString& sText)
{
    static const QRegularExpression kPasv(
        QStringLiteral("(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3})"));
    const QRegularExpressionMatch match = kPasv.match(sText);
    if (!match.hasMatch()) return std::nullopt;
    int parts[6];
    for (int i = 0; i < 6; ++i) {
        parts[i] = match.captured(i + 1).toInt();
        if (parts[i] > 255) return std::nullopt;
    }
    return PasvTarget{QStringLiteral("%1.%2.%3.%4").arg(parts[0]).arg(parts[1]).arg(parts[2]).arg(parts[3]),
                      parts[4] * 256 + parts[5]};
}
