#include "app/TransferRate.h"

namespace {
constexpr qint64 kMinimumMs = 1000;  // a rate over less is mostly noise
}

void TransferRate::Add(qint64 nBytes, qint64 nTotalBytes, qint64 nMilliseconds)
{
    // Fewer bytes than before, or a new total: the next file has begun.
    if (!m_bStarted || nBytes < m_nBytes || nTotalBytes != m_nTotalBytes || nMilliseconds < m_nMs) {
        m_bStarted = true;
        m_nFirstBytes = nBytes;
        m_nFirstMs = nMilliseconds;
    }
    m_nBytes = nBytes;
    m_nTotalBytes = nTotalBytes;
    m_nMs = nMilliseconds;
}

qint64 TransferRate::BytesPerSecond() const
{
    const qint64 nMs = m_nMs - m_nFirstMs;
    const qint64 nMoved = m_nBytes - m_nFirstBytes;
    if (!m_bStarted || nMs < kMinimumMs || nMoved <= 0) return -1;
    return nMoved * 1000 / nMs;
}

qint64 TransferRate::SecondsLeft() const
{
    const qint64 nRate = BytesPerSecond();
    if (nRate <= 0 || m_nTotalBytes <= 0 || m_nBytes > m_nTotalBytes) return -1;
    return (m_nTotalBytes - m_nBytes + nRate - 1) / nRate;  // rounded up: "0:00 left" only when done
}

QString TransferRate::Text() const
{
    const qint64 nRate = BytesPerSecond();
    if (nRate < 0) return QString();
    const qint64 nLeft = SecondsLeft();
    return nLeft < 0 ? RateText(nRate) : RateText(nRate) + QStringLiteral(", ") + TimeText(nLeft) + QStringLiteral(" left");
}

QString TransferRate::RateText(qint64 nBytesPerSecond)
{
    if (nBytesPerSecond < 1024) return QString::number(nBytesPerSecond) + QStringLiteral(" B/s");
    static const char* const kUnits[] = {"KB/s", "MB/s", "GB/s"};
    double value = nBytesPerSecond / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 2) {
        value /= 1024.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}

QString TransferRate::TimeText(qint64 nSeconds)
{
    const qint64 h = nSeconds / 3600, m = nSeconds / 60 % 60, s = nSeconds % 60;
    const QString sSeconds = QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0'));
    if (h == 0) return QString::number(m) + QLatin1Char(':') + sSeconds;
    return QString::number(h) + QLatin1Char(':') + QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')) + QLatin1Char(':')
           + sSeconds;
}
