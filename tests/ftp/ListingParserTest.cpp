#include "ftp/ListingParser.h"

#include <gtest/gtest.h>

#include <cstring>

using ListingParser::ParseListLine;
using ListingParser::ParseMlsdLine;
using ListingParser::ParseTimeVal;

namespace {

// Runs a test in a zone an hour east of UTC (two in summer), so that a UTC
// time left unconverted shows up as a wrong clock reading.
struct ScopedCentralEuropeanTime {
    const bool bHadOld = qEnvironmentVariableIsSet("TZ");
    const QByteArray old = qgetenv("TZ");
    ScopedCentralEuropeanTime() { qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3"); }
    ~ScopedCentralEuropeanTime() { bHadOld ? qputenv("TZ", old) : qunsetenv("TZ"); }
};

QDateTime Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

QDateTime Utc(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

const QDateTime kNow = Local(2026, 12, 7, 12, 0);

struct Expected {
    const char* line;
    const char* name;
    int kind;
    qint64 size;
    QDateTime date;
    const char* target = "";
    bool bSpecial = false;
};

void ExpectEntry(const std::optional<ListingEntry>& entry, const Expected& e)
{
    SCOPED_TRACE(e.line);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, QString::fromUtf8(e.name));
    EXPECT_EQ(entry->kind, e.kind);
    EXPECT_EQ(entry->size, e.size);
    EXPECT_EQ(entry->date, e.date) << entry->date.toString(Qt::ISODateWithMs).toStdString();
    EXPECT_EQ(entry->linkTarget, QString::fromUtf8(e.target));
    EXPECT_EQ(entry->bSpecial, e.bSpecial);
}

const int F = ListingEntry::File, D = ListingEntry::Folder, L = ListingEntry::Link;

const std::vector<Expected>& UnixCorpus()
{
    static const std::vector<Expected> corpus = {
        // vsftpd
        {"drwxr-xr-x    2 1000     1000         4096 Dec 07 02:10 docs", "docs", D, 4096, Local(2026, 12, 7, 2, 10)},
        {"-rw-r--r--    1 1000     1000     5368709120 Mar 15  2024 big.iso", "big.iso", F, 5368709120LL,
         Local(2024, 3, 15)},
        // pyftpdlib
        {"-rw-rw-r--   1 user     group          12 Dec 06 23:59 a b.txt", "a b.txt", F, 12, Local(2026, 12, 6, 23, 59)},
        // ProFTPD, with ACL and SELinux markers
        {"drwxr-xr-x   3 ftp      ftp          4096 Dec  7 02:10 pub", "pub", D, 4096, Local(2026, 12, 7, 2, 10)},
        {"-rw-r--r--+  1 ftp      ftp           100 Nov 30 10:00 acl.txt", "acl.txt", F, 100, Local(2026, 11, 30, 10, 0)},
        {"drwxr-xr-x.  2 root     root            6 Dec  1 08:00 selinux", "selinux", D, 6, Local(2026, 12, 1, 8, 0)},
        {"-rw-r--r--@  1 alice    staff          42 Jan  2 03:04 mac", "mac", F, 42, Local(2026, 1, 2, 3, 4)},
        // Pure-FTPd
        {"-rw-r--r--    1 1000       1000             1234 Dec  7  2025 old.txt", "old.txt", F, 1234, Local(2025, 12, 7)},
        {"-rw-------    1 0          0       1099511627776 Dec  9 02:10 tera", "tera", F, 1099511627776LL,
         Local(2025, 12, 9, 2, 10)},
        // busybox: no group column
        {"-rw-r--r--    1 0            1234 Dec  7 02:10 nogroup.txt", "nogroup.txt", F, 1234, Local(2026, 12, 7, 2, 10)},
        {"drwxr-xr-x    2 root            0 Sep 30 17:00 etc", "etc", D, 0, Local(2026, 9, 30, 17, 0)},
        // other date orders and styles
        {"-rw-r--r--   1 owner group   77 07 Dec 01:00 day-first", "day-first", F, 77, Local(2026, 12, 7, 1, 0)},
        {"-rw-r--r--   1 owner group   77 2026-11-02 13:45 long-iso", "long-iso", F, 77, Local(2026, 11, 2, 13, 45)},
        {"-rw-r--r--   1 owner group   5 2026-11-02 13:45:10.123456789 +0000 full-iso", "full-iso", F, 5,
         Utc(2026, 11, 2, 13, 45, 10)},
        {"-rw-r--r--   1 owner group   5 Dec  7 02:10:33 2025 bsd-T", "bsd-T", F, 5, Local(2025, 12, 7, 2, 10, 33)},
        {"-rw-r--r--   1 owner group   5 DEC 07 02:10 upper", "upper", F, 5, Local(2026, 12, 7, 2, 10)},
        {"-rw-r--r--   1 owner group   5 dec 07 02:10 lower", "lower", F, 5, Local(2026, 12, 7, 2, 10)},
        // names
        {"-rw-r--r--   1 o g 5 Dec 07 02:10    lead", "   lead", F, 5, Local(2026, 12, 7, 2, 10)},
        {"-rw-r--r--   1 o g 5 Dec 07 02:10 a  b   c ", "a  b   c ", F, 5, Local(2026, 12, 7, 2, 10)},
        {"-rw-r--r--   1 o g 5 Dec 07 02:10 Grüße 日本.txt", "Grüße 日本.txt", F, 5, Local(2026, 12, 7, 2, 10)},
        {"-rw-r--r--   1 o g 5 Dec 07 02:10 a -> b", "a -> b", F, 5, Local(2026, 12, 7, 2, 10)},
        {"-rw-r--r--   1 o g 5 Dec 07 02:10 ../x", "../x", F, 5, Local(2026, 12, 7, 2, 10)},
        {"-rw-r--r--   1 o g 5 Dec 07 02:10\ttabbed", "tabbed", F, 5, Local(2026, 12, 7, 2, 10)},
        // links
        {"lrwxrwxrwx    1 0        0               7 Dec 07 02:10 bin -> usr/bin", "bin", L, 7, Local(2026, 12, 7, 2, 10),
         "usr/bin"}, {"lrwxrwxrwx    1 o        g               9 Dec 07 02:10 my link -> ../t a r", "my link", L, 9,
         Local(2026, 12, 7, 2, 10), "../t a r"},
        {"lrwxrwxrwx    1 o        g               9 Dec 07 02:10 bare", "bare", L, 9, Local(2026, 12, 7, 2, 10)},
        // devices, pipes, sockets
        {"crw-rw-rw-    1 0        0          1,   3 Dec  7 02:10 null", "null", F, 0, Local(2026, 12, 7, 2, 10), "", true},
        {"brw-rw----    1 root     disk       8,0 Dec  7 02:10 sda", "sda", F, 0, Local(2026, 12, 7, 2, 10), "", true},
        {"crw--w----    1 root        4,   0 Dec  7 02:10 tty0", "tty0", F, 0, Local(2026, 12, 7, 2, 10), "", true},
        {"prw-r--r--    1 o        g               0 Dec  7 02:10 fifo", "fifo", F, 0, Local(2026, 12, 7, 2, 10), "", true},
        {"srwxrwxrwx    1 o        g               0 Dec  7 02:10 sock", "sock", F, 0, Local(2026, 12, 7, 2, 10), "", true},
    };
    return corpus;
}

}  // namespace

TEST(ListingParser, ReadsUnixDosIisAndEplfListings)
{
    for (const Expected& e : UnixCorpus()) ExpectEntry(ParseListLine(QString::fromUtf8(e.line), kNow), e);
    const Expected dos[] = {
        {"12-07-26  02:10AM       <DIR>          docs", "docs", D, 0, Local(2026, 12, 7, 2, 10)},
        {"12-07-26  02:10PM                12345 a file.txt", "a file.txt", F, 12345, Local(2026, 12, 7, 14, 10)},
        {"12-31-99  12:00AM                  100 y2k.txt", "y2k.txt", F, 100, Local(1999, 12, 31, 0, 0)},
        {"01-02-70  12:30PM                    1 seventy", "seventy", F, 1, Local(1970, 1, 2, 12, 30)},
        {"01-02-69  11:59PM                    1 sixty-nine", "sixty-nine", F, 1, Local(2069, 1, 2, 23, 59)},
        {"03-04-2025  23:15       <DIR>          full year", "full year", D, 0, Local(2025, 3, 4, 23, 15)},
        {"12-07-2026  9:05 PM           5 apart", "apart", F, 5, Local(2026, 12, 7, 21, 5)},
        {"12-07-2026  07:13PM       1234 name.txt", "name.txt", F, 1234, Local(2026, 12, 7, 19, 13)},
        {"2026-12-07  19:13       <DIR>          folder", "folder", D, 0, Local(2026, 12, 7, 19, 13)},
        {"2026/12/07  07:13AM           42 iso  spaced", "iso  spaced", F, 42, Local(2026, 12, 7, 7, 13)},
        {"12-07-26  02:10AM           6442450944 big.bin", "big.bin", F, 6442450944LL, Local(2026, 12, 7, 2, 10)},
        {"12/07/26  02:10am        1,234,567 grouped", "grouped", F, 1234567, Local(2026, 12, 7, 2, 10)},
    };
    for (const Expected& e : dos) ExpectEntry(ParseListLine(QString::fromUtf8(e.line), kNow), e);
    // The line end the server sends is not part of the name.
    ExpectEntry(ParseListLine(u"-rw-r--r-- 1 o g 5 Dec 07 02:10 crlf\r\n", kNow), {"", "crlf", F, 5, Local(2026, 12, 7, 2, 10)});
    ExpectEntry(ParseListLine(u"+i8388621.48594,m825718503,r,s280,\tdjb.html", kNow),
                {"", "djb.html", F, 280, QDateTime::fromSecsSinceEpoch(825718503, Qt::UTC)});
    ExpectEntry(ParseListLine(u"+i8388621.50690,m824255907,/,\t514", kNow),
                {"", "514", D, 0, QDateTime::fromSecsSinceEpoch(824255907, Qt::UTC)});
    ExpectEntry(ParseListLine(u"+r,s6442450944,\t two  spaces ", kNow), {"", " two  spaces ", F, 6442450944LL, {}});
}

TEST(ListingParser, GivesNothingForLinesThatAreNoEntries)
{
    const char* const lines[] = {
        "total 12", "", "   ", "\t \r\n", "\r\n",
        "drwxr-xr-x    2 0 0 4096 Dec 07 02:10 .", "drwxr-xr-x    2 0 0 4096 Dec 07 02:10 ..",
        // truncated
        "drwxr-xr-x    2 0 0 4096 Dec 07", "drwxr-xr-x    2 0 0 4096 Dec 07 02:10", "drwxr-xr-x    2 0 0 4096 Dec 07 02:10 ",
        "drwxr-xr-x    2 0 0 4096 Dec 07 02:10    ", "-rw-r--r-- 1 o g 5 2026-11-02 13:45:10.123456789 +00",
        "drwxr-xr-x    2 0 0", "drwxr-xr-x",
        // NetWare-ish
        "d [R----F--] supervisor            512       Jan 16 18:53    login",
        "- [RWCEAFMS] rhesus                214059       Oct 20 15:27    cx.exe",
        // impossible fields
        "-rw-r--r-- 1 o g 5 Feb 30 10:00 feb30", "-rw-r--r-- 1 o g 5 Dec 32 10:00 dec32",
        "-rw-r--r-- 1 o g 5 Dec 07 25:00 hour25", "-rw-r--r-- 1 o g 5 Dec 07 10:60 min60",
        "-rw-r--r-- 1 o g 5 Foo 07 10:00 month", "drwxr-xr-q 2 o g 5 Dec 07 10:00 perms",
        "xrwxr-xr-x 2 o g 5 Dec 07 10:00 type", "-rw-r--r-- 1 o g 12a Dec 07 10:00 size",
        "-rw-r--r-- 1 o g -5 Dec 07 10:00 negative", "-rw-r--r-- 1 o g 99999999999999999999 Dec 07 10:00 overflow",
        "lrwxrwxrwx 1 o g 5 Dec 07 10:00  -> target",
        // replies and DOS garbage
        "550 No files found", "226 Transfer complete", "12-07-26  02:10AM       <DIR>", "13-07-26  02:10AM  5 month13",
        "12-07-26  13:10PM  5 pm13", "12-07-26  02:10AM  5,  x", "12-07-26  02:10AM  <FILE>  x",
        "2026-13-07  19:13  5 month13", "2026-12/07  19:13  5 mixed", "202-12-07  19:13  5 x", "12-07-202  19:13  5 x",
        // EPLF garbage
        "+i1,s12x,\tbad-size", "+m1,r,s1 no-tab", "+r,\t", "+/,\t..",
    };
    for (const char* line : lines) {
        EXPECT_FALSE(ParseListLine(QString::fromUtf8(line), kNow).has_value()) << '"' << line << '"';
    }
}

TEST(ListingParser, YearOfUnixDatesWithoutOne)
{
    // The most recent such date at most a day after now: a server ahead of us
    // lists what it has just written with tomorrow's date.
    const QDateTime newYear = Local(2026, 1, 10, 12, 0), firstHour = Local(2026, 1, 1, 0, 30);
    const struct {
        const char* date;
        QDateTime now;
        QDateTime expected;
    } cases[] = {
        {"Dec 31 23:59", newYear, Local(2025, 12, 31, 23, 59)}, {"Jan 10 00:00", newYear, Local(2026, 1, 10, 0, 0)},
        {"Jan 10 12:01", newYear, Local(2026, 1, 10, 12, 1)}, {"11 Jan 12:00", newYear, Local(2026, 1, 11, 12, 0)},
        {"Jan 11 12:01", newYear, Local(2025, 1, 11, 12, 1)}, {"Jan  1 12:00", firstHour, Local(2026, 1, 1, 12, 0)},
        {"Jan  2 00:30", firstHour, Local(2026, 1, 2, 0, 30)}, {"Jan  2 00:31", firstHour, Local(2025, 1, 2, 0, 31)},
        {"Jan  3 00:00", firstHour, Local(2025, 1, 3, 0, 0)}, {"Dec 31 23:00", firstHour, Local(2025, 12, 31, 23, 0)},
        {"Jan  1 10:00", Local(2026, 12, 31, 23, 0), Local(2027, 1, 1, 10, 0)},
        // Feb 29 goes back to the latest leap year that has had it by then.
        {"Feb 29 10:00", newYear, Local(2024, 2, 29, 10, 0)},
        {"Feb 29 10:00", Local(2028, 2, 28, 23, 0), Local(2028, 2, 29, 10, 0)},
        {"Feb 29 10:00", Local(2028, 2, 27, 23, 0), Local(2024, 2, 29, 10, 0)},
        {"Feb 29 10:00", Local(2101, 1, 1), Local(2096, 2, 29, 10, 0)},  // 2100 is no leap year
        // A year given is taken as is, even in the future.
        {"Feb 29  2032", newYear, Local(2032, 2, 29)}, {"Feb 29  2026", newYear, {}},
    };
    for (const auto& c : cases) {
        const auto entry = ParseListLine(QStringLiteral("-rw-r--r-- 1 o g 1 %1 f").arg(QLatin1String(c.date)), c.now);
        EXPECT_EQ(entry ? entry->date : QDateTime(), c.expected) << c.date << " at " << c.now.toString().toStdString();
    }
}

TEST(ListingParser, ConvertsTimesToTheLocalClock)
{
    const ScopedCentralEuropeanTime zone;
    // Winter is an hour ahead of UTC, summer two.
    EXPECT_EQ(ParseTimeVal(u"20261207021000").time(), QTime(3, 10));
    EXPECT_EQ(ParseTimeVal(u"20260701120000").time(), QTime(14, 0));
    EXPECT_EQ(ParseTimeVal(u"20261231233000").date(), QDate(2027, 1, 1));
    EXPECT_EQ(ParseTimeVal(u"20261207021000"), Utc(2026, 12, 7, 2, 10));
    EXPECT_EQ(ParseTimeVal(u" 20261207021000.5\r\n").time(), QTime(3, 10, 0, 500));
    EXPECT_EQ(ParseTimeVal(u"20261207021000.123456").time(), QTime(3, 10, 0, 123));
    EXPECT_EQ(ParseTimeVal(u"19700101000000").toSecsSinceEpoch(), 0);
    EXPECT_EQ(ParseTimeVal(u"19700101000000").timeSpec(), Qt::LocalTime);

    const auto mlsd = ParseMlsdLine(u"type=file;size=12;modify=20261207021000;perm=r; a b.txt");
    ASSERT_TRUE(mlsd.has_value());
    EXPECT_EQ(mlsd->date.toLocalTime().time(), QTime(3, 10));

    const auto eplf = ParseListLine(u"+i8388621.48594,m825718503,r,s280,\tdjb.html", kNow);
    ASSERT_TRUE(eplf.has_value());
    EXPECT_EQ(eplf->date, QDateTime::fromSecsSinceEpoch(825718503, Qt::UTC));
    EXPECT_EQ(eplf->date.toLocalTime().time(), QTime(23, 15, 3));  // 1996-03-01 22:15:03 UTC

    const auto iso = ParseListLine(u"-rw-r--r-- 1 o g 5 2026-11-02 13:45:10.5 +0000 f", kNow);
    ASSERT_TRUE(iso.has_value());
    EXPECT_EQ(iso->date.toLocalTime().time(), QTime(14, 45, 10));

    // Local listings stay on the local clock; an hour that the change to
    // summer time skips moves on instead of losing the date.
    const auto unix = ParseListLine(u"-rw-r--r-- 1 o g 5 Dec 07 02:10 f", kNow);
    ASSERT_TRUE(unix.has_value());
    EXPECT_EQ(unix->date.toLocalTime().time(), QTime(2, 10));
    for (const char16_t* gap : {u"-rw-r--r-- 1 o g 5 2026-03-29 02:30 f", u"-rw-r--r-- 1 o g 5 Mar 29 02:30 f",
                                u"03-29-26  02:30AM  5 f"}) {
        const auto entry = ParseListLine(gap, kNow);
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(entry->date, Local(2026, 3, 29, 3, 30)) << QString::fromUtf16(gap).toStdString();
    }

    for (const char16_t* bad : {u"", u"2026120702100", u"20261207021060", u"20260230000000", u"20261300000000",
                                u"20261207241000", u"00001207021000", u"20261207021000.", u"20261207021000x",
                                u"2026-12-07 02:10:00", u"2026120702100\u0660", u"20261207021000.5x"})
        EXPECT_FALSE(ParseTimeVal(bad).isValid()) << QString::fromUtf16(bad).toStdString();
}

TEST(ListingParser, ReadsMlsdLines)
{
    const Expected corpus[] = {
        {"type=file;size=12;modify=20261207021000;perm=r; a b.txt", "a b.txt", F, 12, Utc(2026, 12, 7, 2, 10)},
        {"Type=DIR;Modify=20261207021000;Perm=el; docs", "docs", D, 0, Utc(2026, 12, 7, 2, 10)},
        {"type=dir;sizd=4096;modify=20261207021000; sized", "sized", D, 4096, Utc(2026, 12, 7, 2, 10)},
        {"modify=20261207021000;perm=adfr;size=5368709120;type=file;unique=802U1F; big", "big", F, 5368709120LL,
         Utc(2026, 12, 7, 2, 10)}, {"type=OS.unix=slink:/usr/bin;size=7; bin", "bin", L, 7, {}, "/usr/bin"},
        {"type=os.unix=symlink;unix.mode=0777; lnk", "lnk", L, 0, {}},
        {"type=OS.unix=chr-1/3; null", "null", F, 0, {}, "", true},
        {"type=file;size=1; a;b=c d.txt", "a;b=c d.txt", F, 1, {}},
        {"type=file;size=1; a; b=c;d.txt", "a; b=c;d.txt", F, 1, {}}, {"type=file;size=1;  lead  ", " lead  ", F, 1, {}},
        {"type=file;size=1; ../x", "../x", F, 1, {}},
        {"type=file;size=1;unix.owner=John Doe; spaced owner", "spaced owner", F, 1, {}},
        {" no facts", "no facts", F, 0, {}}, {"type=file;size=3; Grüße\r\n", "Grüße", F, 3, {}},
    };
    for (const Expected& e : corpus) ExpectEntry(ParseMlsdLine(QString::fromUtf8(e.line)), e);

    for (const char* line : {"type=cdir;modify=20261207021000; /home", "type=pdir;modify=20261207021000; /",
                             "type=dir; .", "type=dir; ..", "type=file;size=12 no-separator", "type=file;size=abc; x",
                             "type=file;size=-1; x", "type=file;modify=20261307021000; x", "typefile; x",
                             "=file; x", "type=file; ", "type=file;    ", "", " ", "type=file;size=1;"})
        EXPECT_FALSE(ParseMlsdLine(QString::fromUtf8(line)).has_value()) << '"' << line << '"';
}

TEST(ListingParser, CutOrHugeLinesGiveNoHalfEntries)
{
    // Cutting a plain line anywhere before its name never leaves an entry.
    for (const Expected& e : UnixCorpus()) {
        const QString line = QString::fromUtf8(e.line);
        const qsizetype target = qsizetype(std::strlen(e.target));
        const qsizetype nameStart = line.size() - QString::fromUtf8(e.name).size() - (target ? target + 4 : 0);
        for (qsizetype cut = 0; cut < nameStart; ++cut) {
            EXPECT_FALSE(ParseListLine(line.first(cut), kNow).has_value()) << line.first(cut).toStdString();
        }
    }
    // Huge lines: no loop, no crash, and a long name comes back whole.
    for (const QString& line : {QString(1 << 20, ' '), QString(1 << 20, ';'), QStringLiteral("type=file;").repeated(50000),
                                QStringLiteral("-rw-r--r-- 1 o g 5 ").repeated(50000)}) {
        EXPECT_FALSE(ParseListLine(line, kNow).has_value());
        EXPECT_FALSE(ParseMlsdLine(line).has_value());
        EXPECT_FALSE(ParseTimeVal(line).isValid());
    }
    const QString longName(200000, 'n');
    EXPECT_EQ(ParseListLine("-rw-r--r-- 1 o g 5 Dec 07 02:10 " + longName, kNow).value_or(ListingEntry{}).name, longName);
}

TEST(ListingDates, PrecisionFollowsWhatTheLineShows)
{
    const QDateTime now(QDate(2026, 6, 1), QTime(12, 0));
    const std::pair<const char*, int> lists[] = {
        {"-rw-r--r-- 1 u g 5 May 30 10:15 a.txt", 60},       {"-rw-r--r-- 1 u g 5 May 30  2019 a.txt", 86400},
        {"-rw-r--r-- 1 u g 5 2026-05-30 10:15 a.txt", 60},   {"05-30-26  10:15AM  5 a.txt", 60},
        {"05-30-2026  10:15AM  5 a.txt", 60},                {"2026-05-30  10:15  <DIR>  a", 60},
        {"+i1.2,m825718503,r,s5,\ta.txt", 1},
    };
    for (const auto& [line, precision] : lists) {
        const std::optional<ListingEntry> entry = ParseListLine(QString::fromUtf8(line), now);
        EXPECT_EQ(entry ? entry->nDatePrecision : -1, precision) << line;
    }
    const std::pair<const char16_t*, int> mlsd[] = {{u"type=file;size=5;modify=20260530101501; a.txt", 1},
                                                    {u"type=file;size=5; a.txt", 0}};
    for (const auto& [line, precision] : mlsd) {
        const std::optional<ListingEntry> entry = ParseMlsdLine(line);
        EXPECT_EQ(entry ? entry->nDatePrecision : -1, precision) << QString::fromUtf16(line).toStdString();
    }
}

TEST(ListingParser, ReadsPermissions)
{
    const std::pair<const char*, int> unix[] = {
        {"-rw-r--r-- 1 o g 5 Dec 07 10:00 a", 0644}, {"drwxr-x--- 2 o g 5 Dec 07 10:00 a", 0750},
        {"-rwsr-xr-x 1 o g 5 Dec 07 10:00 a", 04755}, {"-rwSr--r-- 1 o g 5 Dec 07 10:00 a", 04644},
        {"drwxrws--T 2 o g 5 Dec 07 10:00 a", 03770}, {"drwxrwxrwt+ 2 o g 5 Dec 07 10:00 a", 01777},
        {"---------- 1 o g 5 Dec 07 10:00 a", 0}, {"-rwxr-lr-x 1 o g 5 Dec 07 10:00 a", -1},
        {"12-07-26  02:10PM 5 a", -1}, {"+r,s5,\ta", -1},
    };
    for (const auto& [line, mode] : unix) { EXPECT_EQ(ParseListLine(QString::fromUtf8(line), kNow)->nMode, mode) << line; }
    const std::pair<const char*, int> mlsd[] = {
        {"type=file;unix.mode=0644; a", 0644}, {"type=file;UNIX.mode=4755; a", 04755}, {"type=file;unix.mode=0o600; a", 0600},
        {"type=file; a", -1}, {"type=file;unix.mode=0648; a", -1}, {"type=file;unix.mode=; a", -1},
        {"type=file;unix.mode=+644; a", -1}, {"type=file;unix.mode=0o; a", -1}, {"type=file;unix.mode=7; a", 07}, {"type=file;unix.mode=177777; a", -1},
    };
    for (const auto& [line, mode] : mlsd) { EXPECT_EQ(ParseMlsdLine(QString::fromUtf8(line))->nMode, mode) << line; }
    const std::pair<const char*, const char*> feat[] = {
        {" MLST type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;", "OPTS MLST type;perm;size;modify;unique;unix.mode;"},
        {"MLST type*;size*;unix.mode*;", ""}, {"MLST type*;size*;modify*;", ""}, {"MLSD", ""}, {"MLST unix.mode", "OPTS MLST unix.mode;"},
    };
    for (const auto& [line, wanted] : feat) {
        EXPECT_EQ(ListingParser::MlstOptionsWanted(QString::fromUtf8(line)), QString::fromUtf8(wanted)) << line;
    }
}
