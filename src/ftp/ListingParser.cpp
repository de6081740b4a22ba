#include "ftp/ListingParser.h"

#include <QDate>
#include <QStringList>
#include <QTime>

#include <array>

namespace {

// A blank-separated word of a line, by position, so that a name can be cut
// from the line exactly as sent.
struct Token {
    qsizetype begin;  // (no initializers: a line's words are not cleared before they are found)
    qsizetype end;
};

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

bool IsAsciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

bool IsAllDigits(QStringView text)
{
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (!IsAsciiDigit(c)) return false;
    return true;
}

QStringView WithoutLineEnd(QStringView line)
{
    while (!line.isEmpty() && (line.back() == QLatin1Char('\r') || line.back() == QLatin1Char('\n'))) line.chop(1);
    return line;
}

// The first words of a line; a listing line never needs more than these.
struct Tokens {
    static constexpr size_t kMax = 16;
    std::array<Token, kMax> words;
    size_t count = 0;

    size_t size() const { return count; }
    const Token& operator[](size_t i) const { return words[i]; }
};

// Splits off at most `maxTokens` words; the rest of the line is never looked
// at word by word, so a huge line costs no more than one pass.
Tokens Tokenize(QStringView line, size_t maxTokens)
{
    Tokens tokens;
    maxTokens = qMin(maxTokens, Tokens::kMax);
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (tokens.count < maxTokens) {
        while (i < n && IsBlank(line[i])) ++i;
        if (i >= n) break;
        const qsizetype begin = i;
        while (i < n && !IsBlank(line[i])) ++i;
        tokens.words[tokens.count++] = {begin, i};
    }
    return tokens;
}

QStringView Text(QStringView line, const Token& token) { return line.sliced(token.begin, token.end - token.begin); }

// ASCII digits only, no sign; at most 18 of them so that nothing overflows.
bool ParseDigits(QStringView text, qint64& value)
{
    if (text.isEmpty() || text.size() > 18) return false;
    qint64 result = 0;
    for (QChar c : text) {
        if (!IsAsciiDigit(c)) return false;
        result = result * 10 + (c.unicode() - '0');
    }
    value = result;
    return true;
}

bool ParseSmall(QStringView text, qsizetype minDigits, qsizetype maxDigits, int& value)
{
    qint64 result = 0;
    if (text.size() < minDigits || text.size() > maxDigits || !ParseDigits(text, result)) return false;
    value = int(result);
    return true;
}

bool IsUsableName(QStringView name)
{
    return !name.trimmed().isEmpty() && name != QLatin1String(".") && name != QLatin1String("..");
}

char16_t AsciiLower(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 'A' && u <= 'Z' ? char16_t(u + ('a' - 'A')) : u;
}

// English month names, abbreviated or in full, any case.
int MonthFromName(QStringView text)
{
    static const char* const kMonths[] = {"january", "february", "march",     "april",   "may",      "june",
                                          "july",    "august",   "september", "october", "november", "december"};
    if (text.size() < 3 || text.size() > 9) return 0;
    // Most words tried here are numbers: only a few months share a first letter.
    int first = 0, last = -1;
    switch (AsciiLower(text[0])) {
    case 'j': first = 0, last = 6; break;
    case 'f': first = last = 1; break;
    case 'm': first = 2, last = 4; break;
    case 'a': first = 3, last = 7; break;
    case 's': first = last = 8; break;
    case 'o': first = last = 9; break;
    case 'n': first = last = 10; break;
    case 'd': first = last = 11; break;
    default: return 0;
    }
    for (int m = first; m <= last; ++m) {
        const char* const full = kMonths[m];
        if (AsciiLower(text[0]) != full[0] || AsciiLower(text[1]) != full[1] || AsciiLower(text[2]) != full[2]) continue;
        if (text.size() == 3) return m + 1;
        // The rest of the full name, or "sept".
        qsizetype k = 3;
        while (k < text.size() && full[k] && AsciiLower(text[k]) == full[k]) ++k;
        if (k == text.size() && (!full[k] || (m == 8 && k == 4))) return m + 1;
        return 0;
    }
    return 0;
}

// "H:MM", "HH:MM", "HH:MM:SS" and "HH:MM:SS.fraction" (as ls --full-iso prints).
bool ParseClock(QStringView text, QTime& time)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    int hour = 0, minute = 0, second = 0;
    if (colon < 1 || !ParseSmall(text.first(colon), 1, 2, hour)) return false;
    QStringView rest = text.sliced(colon + 1);
    if (rest.size() > 2) {
        if (rest[2] != QLatin1Char(':')) return false;
        QStringView secs = rest.sliced(3);
        const qsizetype dot = secs.indexOf(QLatin1Char('.'));
        if (dot >= 0) {
            if (!IsAllDigits(secs.sliced(dot + 1))) return false;
            secs = secs.first(dot);
        }
        if (!ParseSmall(secs, 2, 2, second)) return false;
        rest = rest.first(2);
    }
    if (!ParseSmall(rest, 2, 2, minute)) return false;
    time = QTime(hour, minute, second);
    return time.isValid();
}

// A wall-clock time that a daylight-saving change skips is moved on by the
// skipped time instead of becoming an invalid date.
QDateTime LocalTime(QDate date, QTime time)
{
    QDateTime result(date, time);
    if (!result.isValid() && date.isValid() && time.isValid())
        result = QDateTime(date.addDays(-1), QTime(12, 0)).addMSecs(12 * 3600 * 1000LL + time.msecsSinceStartOfDay());
    return result;
}

// A Unix date without a year is the most recent one at most a day after
// `now`: a server whose clock or zone is ahead of ours lists files it has just
// written with tomorrow's date. The day is compared on the wall clock, so a
// daylight-saving change makes no difference. A few years back are enough to
// reach a leap year for Feb 29.
QDateTime ResolveYear(int month, int day, QTime time, ListingParser::Clock& clock)
{
    const QDate latestDay = clock.latestDay();
    const int latestYear = clock.latestYear();
    for (int year = latestYear; year >= latestYear - 8; --year) {
        const QDate date(year, month, day);
        if (!date.isValid()) continue;
        if (date > latestDay || (date == latestDay && time > clock.timeNow())) continue;
        return clock.local(date, time);
    }
    return {};
}

// "YYYYMMDDHHMMSS[.sss]", any number of fraction digits (milliseconds kept).
bool ParseTimeValParts(QStringView text, QDate& date, QTime& time)
{
    text = text.trimmed();
    if (text.size() < 14) return false;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    if (!ParseSmall(text.first(4), 4, 4, year) || !ParseSmall(text.sliced(4, 2), 2, 2, month)
        || !ParseSmall(text.sliced(6, 2), 2, 2, day) || !ParseSmall(text.sliced(8, 2), 2, 2, hour)
        || !ParseSmall(text.sliced(10, 2), 2, 2, minute) || !ParseSmall(text.sliced(12, 2), 2, 2, second))
        return false;
    if (text.size() > 14) {
        if (text[14] != QLatin1Char('.') || text.size() == 15) return false;
        if (!IsAllDigits(text.sliced(15))) return false;
        const QStringView fraction = text.sliced(15).left(3);
        ParseSmall(fraction, 1, 3, msec);
        for (qsizetype k = fraction.size(); k < 3; ++k) msec *= 10;
    }
    date = QDate(year, month, day);
    time = QTime(hour, minute, second, msec);
    return date.isValid() && time.isValid();
}

// "YYYY-MM-DD".
bool ParseIsoDate(QStringView text, QDate& date)
{
    int year = 0, month = 0, day = 0;
    if (text.size() != 10 || text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-')
        || !ParseSmall(text.first(4), 4, 4, year) || !ParseSmall(text.sliced(5, 2), 2, 2, month)
        || !ParseSmall(text.sliced(8), 2, 2, day))
        return false;
    date = QDate(year, month, day);
    return date.isValid();
}

// "+HHMM" / "-HHMM" as seconds east of UTC.
bool ParseZoneOffset(QStringView text, int& seconds)
{
    int hhmm = 0;
    if (text.size() != 5 || (text[0] != QLatin1Char('+') && text[0] != QLatin1Char('-'))
        || !ParseSmall(text.sliced(1), 4, 4, hhmm) || hhmm % 100 > 59 || hhmm / 100 > 14)
        return false;
    seconds = (hhmm / 100 * 3600 + hhmm % 100 * 60) * (text[0] == QLatin1Char('-') ? -1 : 1);
    return true;
}

struct DateMatch {
    QDateTime date;
    size_t tokenCount = 0;
    int nPrecision = 60;  // seconds: a clock with minutes unless said otherwise
};

// The date of an `ls -l` line starting at token `i`: "Mon DD HH:MM", "Mon DD
// YYYY", "Mon DD HH:MM:SS YYYY" (ls -T), the same with the day first, and the
// ISO forms of ls --time-style.
std::optional<DateMatch> ParseUnixDate(QStringView line, const Tokens& tokens, size_t i, ListingParser::Clock& clock)
{
    auto word = [&](size_t k) { return k < tokens.size() ? Text(line, tokens[k]) : QStringView(); };
    int year = 0, month = 0, day = 0;
    QTime time;
    QDate isoDate;

    // ls --time-style=long-iso, or full-iso whose fraction of a second always
    // comes with a zone.
    if (ParseIsoDate(word(i), isoDate)) {
        if (!ParseClock(word(i + 1), time)) return {};
        int offset = 0;
        if (ParseZoneOffset(word(i + 2), offset))
            return DateMatch{QDateTime(isoDate, time, Qt::OffsetFromUTC, offset).toLocalTime(), 3,
                             word(i + 1).size() > 5 ? 1 : 60};
        if (word(i + 1).contains(QLatin1Char('.'))) return {};
        return DateMatch{clock.local(isoDate, time), 2, word(i + 1).size() > 5 ? 1 : 60};
    }

    if ((month = MonthFromName(word(i))) != 0) {
        if (!ParseSmall(word(i + 1), 1, 2, day)) return {};
    } else if ((month = MonthFromName(word(i + 1))) != 0) {
        if (!ParseSmall(word(i), 1, 2, day)) return {};
    } else {
        return {};
    }
    const QStringView third = word(i + 2);
    if (ParseClock(third, time)) {
        if (ParseSmall(word(i + 3), 4, 4, year)) {
            const QDate date(year, month, day);
            return date.isValid() ? std::optional<DateMatch>(DateMatch{clock.local(date, time), 4, third.size() > 5 ? 1 : 60})
                                  : std::nullopt;
        }
        // Only ls -T shows seconds, and it always shows the year too.
        if (third.size() > 5) return {};
        const QDateTime date = ResolveYear(month, day, time, clock);
        return date.isValid() ? std::optional<DateMatch>(DateMatch{date, 3}) : std::nullopt;
    }
    if (!ParseSmall(third, 4, 4, year)) return {};
    const QDate date(year, month, day);
    if (!date.isValid()) return {};
    return DateMatch{clock.local(date, QTime(0, 0)), 3, 86400};
}

// "drwxr-xr-x", optionally followed by an ACL / extended attribute marker.
bool IsPermissions(QStringView text)
{
    if (text.size() == 11) {
        const QChar marker = text[10];
        if (marker != QLatin1Char('+') && marker != QLatin1Char('@') && marker != QLatin1Char('.')) return false;
    } else if (text.size() != 10) {
        return false;
    }
    switch (text[0].unicode()) {
    case '-': case 'd': case 'l': case 'b': case 'c': case 'p': case 's': break;
    default: return false;
    }
    for (qsizetype k = 1; k < 10; ++k) {
        switch (text[k].unicode()) {
        case '-': case 'r': case 'w': case 'x': case 's': case 'S': case 't': case 'T': case 'l': case 'L': break;
        default: return false;
        }
    }
    return true;
}

std::optional<ListingEntry> ParseUnixLine(QStringView line, ListingParser::Clock& clock)
{
    // permissions, up to three of links/owner/group, size (or "major, minor"),
    // a date of up to four words, and at least one word of name.
    const Tokens tokens = Tokenize(line, 16);
    if (tokens.size() < 6 || !IsPermissions(Text(line, tokens[0]))) return {};

    ListingEntry entry;
    entry.nMode = ListingParser::ModeOfPermissions(Text(line, tokens[0]));
    const QChar type = line[tokens[0].begin];
    if (type == QLatin1Char('d'))
        entry.kind = ListingEntry::Folder;
    else if (type == QLatin1Char('l'))
        entry.kind = ListingEntry::Link;
    entry.bSpecial = type == QLatin1Char('b') || type == QLatin1Char('c') || type == QLatin1Char('p')
                     || type == QLatin1Char('s');

    for (size_t i = 3; i <= 6 && i < tokens.size(); ++i) {
        const QStringView sizeText = Text(line, tokens[i - 1]);
        qint64 size = 0;
        size_t fields = i - 2;  // words between the permissions and the size
        bool bDevice = false;
        if (ParseDigits(sizeText, size)) {
            const QStringView before = Text(line, tokens[i - 2]);
            qint64 major = 0;
            if (i >= 4 && before.endsWith(QLatin1Char(',')) && ParseDigits(before.first(before.size() - 1), major)) {
                bDevice = true;
                --fields;
            }
        } else {
            // "1,3" when the server leaves no blank after the comma.
            const qsizetype comma = sizeText.indexOf(QLatin1Char(','));
            qint64 major = 0, minor = 0;
            if (comma < 0 || !ParseDigits(sizeText.first(comma), major)
                || !ParseDigits(sizeText.sliced(comma + 1), minor))
                continue;
            bDevice = true;
        }
        if (fields < 1 || fields > 3) continue;

        const std::optional<DateMatch> date = ParseUnixDate(line, tokens, i, clock);
        if (!date) continue;

        // The name starts after the one blank that ends the date, so its own
        // leading and inner blanks survive.
        const qsizetype nameStart = tokens[i + date->tokenCount - 1].end + 1;
        if (nameStart >= line.size()) return {};
        QStringView name = line.sliced(nameStart);
        if (entry.kind == ListingEntry::Link) {
            const qsizetype arrow = name.indexOf(QLatin1String(" -> "));
            if (arrow >= 0) {
                entry.setLinkTarget(name.sliced(arrow + 4).toString());
                name = name.first(arrow);
            }
        }
        if (!IsUsableName(name)) return {};

        entry.name = name.toString();
        entry.date = date->date;
        entry.nDatePrecision = date->nPrecision;
        // A device's numbers and a pipe's size are no byte counts.
        entry.bSpecial = entry.bSpecial || bDevice;
        entry.size = entry.bSpecial ? 0 : size;
        return entry;
    }
    return {};
}

bool IsDateSeparator(QChar c) { return c == QLatin1Char('-') || c == QLatin1Char('/'); }

// "MM-DD-YY", "MM-DD-YYYY" or "YYYY-MM-DD", with '-' or '/' throughout. Two-digit
// years from 70 are 19xx, the others 20xx.
bool ParseDosDate(QStringView text, QDate& date)
{
    int year = 0, month = 0, day = 0;
    if (text.size() == 10 && IsDateSeparator(text[4]) && text[7] == text[4]) {
        if (!ParseSmall(text.first(4), 4, 4, year) || !ParseSmall(text.sliced(5, 2), 2, 2, month)
            || !ParseSmall(text.sliced(8), 2, 2, day))
            return false;
    } else {
        if (text.size() < 8 || !IsDateSeparator(text[2]) || text[5] != text[2]
            || !ParseSmall(text.first(2), 2, 2, month) || !ParseSmall(text.sliced(3, 2), 2, 2, day))
            return false;
        const QStringView yearText = text.sliced(6);
        if (yearText.size() == 2 && ParseSmall(yearText, 2, 2, year))
            year += year >= 70 ? 1900 : 2000;
        else if (!ParseSmall(yearText, 4, 4, year))
            return false;
    }
    date = QDate(year, month, day);
    return date.isValid();
}

// "MM-DD-YY  HH:MMAM  <DIR>  name", "MM-DD-YYYY  HH:MM  12345 name" and
// "YYYY-MM-DD  HH:MM  ...", as IIS and other Windows servers list.
std::optional<ListingEntry> ParseDosLine(QStringView line, ListingParser::Clock& clock)
{
    const Tokens tokens = Tokenize(line, 5);
    if (tokens.size() < 4) return {};

    QDate date;
    if (!ParseDosDate(Text(line, tokens[0]), date)) return {};

    size_t next = 1;
    QStringView timeText = Text(line, tokens[next++]);
    QStringView meridiem;
    if (timeText.endsWith(QLatin1String("AM"), Qt::CaseInsensitive)
        || timeText.endsWith(QLatin1String("PM"), Qt::CaseInsensitive)) {
        meridiem = timeText.last(2);
        timeText.chop(2);
    } else {
        const QStringView after = Text(line, tokens[next]);
        if (after.compare(QLatin1String("AM"), Qt::CaseInsensitive) == 0
            || after.compare(QLatin1String("PM"), Qt::CaseInsensitive) == 0) {
            meridiem = after;
            ++next;
        }
    }
    QTime time;
    if (timeText.size() > 5 || !ParseClock(timeText, time)) return {};
    if (!meridiem.isEmpty()) {
        if (time.hour() < 1 || time.hour() > 12) return {};
        const int hour = time.hour() % 12 + (meridiem.startsWith(QLatin1Char('P'), Qt::CaseInsensitive) ? 12 : 0);
        time = QTime(hour, time.minute());
    }
    if (next + 1 >= tokens.size()) return {};

    ListingEntry entry;
    const QStringView sizeText = Text(line, tokens[next]);
    if (sizeText.compare(QLatin1String("<DIR>"), Qt::CaseInsensitive) == 0) {
        entry.kind = ListingEntry::Folder;
    } else {
        // Some servers group the digits.
        QString digits = sizeText.toString();
        digits.remove(QLatin1Char(','));
        if (sizeText.startsWith(QLatin1Char(',')) || sizeText.endsWith(QLatin1Char(','))
            || !ParseDigits(digits, entry.size))
            return {};
    }
    // Columns are padded to width here, so blanks before the name are padding.
    const QStringView name = line.sliced(tokens[next + 1].begin);
    if (!IsUsableName(name)) return {};
    entry.name = name.toString();
    entry.date = clock.local(date, time);
    entry.nDatePrecision = 60;
    return entry;
}

// "+i8388621.48594,m825718503,r,s280,\tname": comma-separated facts, a tab,
// the name.
std::optional<ListingEntry> ParseEplfLine(QStringView line)
{
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    if (!line.startsWith(QLatin1Char('+')) || tab < 0) return {};
    ListingEntry entry;
    for (QStringView fact : line.sliced(1, tab - 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QChar key = fact[0];
        const QStringView value = fact.sliced(1);
        if (key == QLatin1Char('/')) {
            entry.kind = ListingEntry::Folder;
        } else if (key == QLatin1Char('s')) {
            if (!ParseDigits(value, entry.size)) return {};
        } else if (key == QLatin1Char('m')) {
            qint64 seconds = 0;
            if (!ParseDigits(value, seconds) || seconds > 253402300799LL) return {};  // past 9999-12-31
            entry.date = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toLocalTime();
            entry.nDatePrecision = 1;
        }
        // 'r' (retrievable) is the default kind; ids and permissions are not kept.
    }
    const QStringView name = line.sliced(tab + 1);
    if (!IsUsableName(name)) return {};
    entry.name = name.toString();
    return entry;
}

}  // namespace

namespace ListingParser {

void Clock::learnNow()
{
    if (m_latestDay.isValid()) return;
    const QDateTime localNow = m_now.isValid() ? m_now.toLocalTime() : QDateTime::currentDateTime();
    m_latestDay = localNow.date().addDays(1);
    m_latestYear = m_latestDay.year();
    m_timeNow = localNow.time();
}

QDate Clock::latestDay()
{
    learnNow();
    return m_latestDay;
}

int Clock::latestYear()
{
    learnNow();
    return m_latestYear;
}

QTime Clock::timeNow()
{
    learnNow();
    return m_timeNow;
}

QDateTime Clock::local(QDate date, QTime time)
{
    if (date != m_localKey.date || time != m_localKey.time || !m_localKey.bSet) {
        m_localKey = {date, time, true};
        m_local = LocalTime(date, time);
    }
    return m_local;
}

QDateTime Clock::fromUtc(QDate date, QTime time)
{
    if (date != m_utcKey.date || time != m_utcKey.time || !m_utcKey.bSet) {
        m_utcKey = {date, time, true};
        m_fromUtc = QDateTime(date, time, Qt::UTC).toLocalTime();
    }
    return m_fromUtc;
}

std::optional<ListingEntry> ParseListLine(QStringView line, const QDateTime& now)
{
    Clock clock(now);
    return ParseListLine(line, clock);
}

std::optional<ListingEntry> ParseListLine(QStringView line, Clock& clock)
{
    line = WithoutLineEnd(line);
    qsizetype first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    if (first >= line.size()) return {};
    if (first == 0 && line[0] == QLatin1Char('+')) return ParseEplfLine(line);
    if (IsAsciiDigit(line[first])) return ParseDosLine(line, clock);
    return ParseUnixLine(line, clock);
}

std::optional<ListingEntry> ParseMlsdLine(QStringView line)
{
    Clock clock{QDateTime()};
    return ParseMlsdLine(line, clock);
}

std::optional<ListingEntry> ParseMlsdLine(QStringView line, Clock& clock)
{
    line = WithoutLineEnd(line);
    // The facts end at the first "; "; a line that starts with the blank has none.
    QStringView facts;
    qsizetype nameStart = 1;
    if (!line.startsWith(QLatin1Char(' '))) {
        qsizetype end = line.indexOf(QLatin1Char(';'));
        while (end >= 0 && (end + 1 >= line.size() || line[end + 1] != QLatin1Char(' '))) end = line.indexOf(QLatin1Char(';'), end + 1);
        if (end < 0) return {};
        facts = line.first(end);
        nameStart = end + 2;
    }

    ListingEntry entry;
    qint64 listingSize = -1;
    bool bHaveSize = false;
    for (qsizetype next = 0; next < facts.size();) {
        qsizetype semicolon = facts.indexOf(QLatin1Char(';'), next);
        if (semicolon < 0) semicolon = facts.size();
        const QStringView fact = facts.sliced(next, semicolon - next);
        next = semicolon + 1;
        if (fact.isEmpty()) continue;
        const qsizetype eq = fact.indexOf(QLatin1Char('='));
        if (eq < 1) return {};
        const QStringView key = fact.first(eq);
        const QStringView value = fact.sliced(eq + 1);
        if (key.compare(QLatin1String("type"), Qt::CaseInsensitive) == 0) {
            entry.kind = ListingEntry::File;
            entry.bSpecial = false;
            entry.setLinkTarget(QString());
            if (value.compare(QLatin1String("cdir"), Qt::CaseInsensitive) == 0
                || value.compare(QLatin1String("pdir"), Qt::CaseInsensitive) == 0)
                return {};
            if (value.compare(QLatin1String("dir"), Qt::CaseInsensitive) == 0) {
                entry.kind = ListingEntry::Folder;
            } else if (value.startsWith(QLatin1String("OS.unix=slink"), Qt::CaseInsensitive)) {
                entry.kind = ListingEntry::Link;
                if (value.size() > 14 && value[13] == QLatin1Char(':')) entry.setLinkTarget(value.sliced(14).toString());
            } else if (value.compare(QLatin1String("OS.unix=symlink"), Qt::CaseInsensitive) == 0) {
                entry.kind = ListingEntry::Link;
            } else if (value.compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) {
                // Devices, pipes and types we do not know: list them, never transfer them.
                entry.bSpecial = true;
            }
        } else if (key.compare(QLatin1String("size"), Qt::CaseInsensitive) == 0) {
            if (!ParseDigits(value, entry.size)) return {};
            bHaveSize = true;
        } else if (key.compare(QLatin1String("sizd"), Qt::CaseInsensitive) == 0) {
            if (!ParseDigits(value, listingSize)) return {};
        } else if (key.compare(QLatin1String("modify"), Qt::CaseInsensitive) == 0) {
            QDate date;
            QTime time;
            if (!ParseTimeValParts(value, date, time)) return {};
            entry.date = clock.fromUtc(date, time);
            entry.nDatePrecision = 1;
            if (!entry.date.isValid()) return {};
        } else if (key.compare(QLatin1String("unix.mode"), Qt::CaseInsensitive) == 0) {
            // Octal, as chmod takes it ("0o" before it from some servers); a
            // value that is not stays unknown.
            QStringView digits = value;
            if (digits.startsWith(QLatin1String("0o"), Qt::CaseInsensitive)) digits = digits.sliced(2);
            bool ok = false;
            const int nMode = digits.toString().toInt(&ok, 8);
            if (ok && !digits.isEmpty() && digits.size() <= 6 && nMode <= 07777 && IsAllDigits(digits))
                entry.nMode = nMode;
        }
    }
    if (!bHaveSize && entry.kind == ListingEntry::Folder && listingSize >= 0) entry.size = listingSize;
    if (entry.bSpecial) entry.size = 0;

    const QStringView name = line.sliced(nameStart);
    if (!IsUsableName(name)) return {};
    entry.name = name.toString();
    return entry;
}

int ModeOfPermissions(QStringView text)
{
    if (text.size() < 10) return -1;
    // Owner, group, other: read, write, then execute with its special bit
    // (s/S set-id, t/T sticky; lower case also executable).
    static constexpr int kSpecial[] = {04000, 02000, 01000};
    int nMode = 0;
    for (int who = 0; who < 3; ++who) {
        const int shift = 6 - 3 * who;
        const QChar r = text[1 + 3 * who], w = text[2 + 3 * who], x = text[3 + 3 * who];
        if (r == QLatin1Char('r')) nMode |= 4 << shift;
        else if (r != QLatin1Char('-')) return -1;
        if (w == QLatin1Char('w')) nMode |= 2 << shift;
        else if (w != QLatin1Char('-')) return -1;
        const char16_t c = x.unicode();
        if (c == u'x' || c == u's' || c == u't') nMode |= 1 << shift;
        if ((c == u's' || c == u'S') && who < 2) nMode |= kSpecial[who];
        else if ((c == u't' || c == u'T') && who == 2) nMode |= kSpecial[who];
        else if (c != u'x' && c != u'-') return -1;
    }
    return nMode;
}

QString MlstOptionsWanted(QStringView featLine)
{
    // " MLST type*;size*;modify*;unix.mode;": the enabled facts carry "*".
    const QStringView line = featLine.trimmed();
    if (!line.startsWith(QLatin1String("MLST "), Qt::CaseInsensitive)) return {};
    QStringList enabled;
    bool bModeOffered = false;
    for (QStringView fact : line.sliced(5).trimmed().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const bool bOn = fact.endsWith(QLatin1Char('*'));
        if (bOn) fact.chop(1);
        if (fact.compare(QLatin1String("unix.mode"), Qt::CaseInsensitive) == 0) {
            if (bOn) return {};
            bModeOffered = true;
        } else if (bOn) {
            enabled << fact.toString();
        }
    }
    if (!bModeOffered) return {};
    enabled << QStringLiteral("unix.mode");
    return QStringLiteral("OPTS MLST ") + enabled.join(QLatin1Char(';')) + QLatin1Char(';');
}

QDateTime ParseTimeVal(QStringView text)
{
    QDate date;
    QTime time;
    if (!ParseTimeValParts(text, date, time)) return {};
    return QDateTime(date, time, Qt::UTC).toLocalTime();
}

}  // namespace ListingParser
