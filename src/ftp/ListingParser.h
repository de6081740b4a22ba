#pragma once

#include "ftp/ListingEntry.h"

#include <QDateTime>
#include <QStringView>

#include <optional>

// Turns the lines of a server's folder listing into entries. Every function
// takes one line as the server sent it (a trailing CR/LF is ignored) and
// never fails on hostile input: a line it cannot read gives nothing.
namespace ListingParser {

// The local times of the lines of one listing. What they share is worked
// out once: the day `now` falls on, and the last time made (the entries of a
// folder often share their time, and making one asks the time zone). For
// one listing only: the zone may change between two.
class Clock {
public:
    explicit Clock(const QDateTime& now) : m_now(now) {}

    // A wall-clock time here; one that a daylight-saving change skips is
    // moved on by the skipped time.
    QDateTime local(QDate date, QTime time);
    // A UTC time, as local time.
    QDateTime fromUtc(QDate date, QTime time);
    QDate latestDay();  // the day after now, here
    int latestYear();   // its year
    QTime timeNow();

private:
    struct Key {
        QDate date;
        QTime time;
        bool bSet = false;
    };
    void learnNow();

    QDateTime m_now;
    QDate m_latestDay;  // invalid until needed
    int m_latestYear = 0;
    QTime m_timeNow;
    Key m_localKey, m_utcKey;
    QDateTime m_local, m_fromUtc;
};

// One line of a LIST reply: Unix `ls -l` variants, DOS/IIS, EPLF. Nothing for
// lines that are not entries ("total 12", blank, garbage, truncated lines) and
// for the names "." and "..". `now` (local time) settles the year of Unix
// dates given without one: the most recent such date that is at most a day
// after `now` (the server's clock or time zone may be ahead of ours).
std::optional<ListingEntry> ParseListLine(QStringView line, const QDateTime& now);
std::optional<ListingEntry> ParseListLine(QStringView line, Clock& clock);  // the lines of one listing

// One line of an MLSD reply ("fact=value;fact=value; name"). Nothing for
// type=cdir/pdir, "."/"..", and malformed lines.
std::optional<ListingEntry> ParseMlsdLine(QStringView line);
std::optional<ListingEntry> ParseMlsdLine(QStringView line, Clock& clock);

// A time-val "YYYYMMDDHHMMSS[.sss]" (UTC), e.g. from MDTM or the modify fact,
// as local time; invalid when malformed (including out-of-range fields).
QDateTime ParseTimeVal(QStringView text);

// The permission bits (07777) of an `ls -l` permissions word such as
// "drwxr-sr-t"; -1 when the word does not read as one.
int ModeOfPermissions(QStringView text);

// The OPTS MLST command that adds unix.mode to the facts a server sends, for
// the MLST line of its FEAT reply; empty when the server does not offer the
// fact or sends it already.
QString MlstOptionsWanted(QStringView featLine);

}  // namespace ListingParser
