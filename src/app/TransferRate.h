#pragma once

#include <QString>
#include <QtGlobal>

// The rate and the time left of the running transfer, from the progress the
// FTP component reports (bytes of the current file done, its total) and the
// time since the first report of that file. The rate counts only bytes moved
// since that first report, so a resumed file does not claim the bytes it
// already had.
class TransferRate {
public:
    // One progress report, nMilliseconds after some fixed moment.
    void Add(qint64 nBytes, qint64 nTotalBytes, qint64 nMilliseconds);
    void Reset() { *this = TransferRate(); }

    // Bytes per second; -1 until a second has passed or when nothing moved.
    qint64 BytesPerSecond() const;
    // Whole seconds left at the present rate; -1 when unknown.
    qint64 SecondsLeft() const;
    // What the status bar shows: "1.5 KB/s, 0:42 left"; the rate alone when
    // the total is unknown; empty until a rate is known.
    QString Text() const;

    static QString RateText(qint64 nBytesPerSecond);  // "512 B/s", "1.5 KB/s", "3.0 MB/s"
    static QString TimeText(qint64 nSeconds);          // "0:07", "12:30", "1:02:03"

private:
    bool m_bStarted = false;
    qint64 m_nFirstBytes = 0, m_nFirstMs = 0;
    qint64 m_nBytes = 0, m_nTotalBytes = 0, m_nMs = 0;
};
