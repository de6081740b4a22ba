#include "ftp/ListingParser.h"

#include <gtest/gtest.h>

using namespace ListingParser;

namespace {

// Runs a test in a time zone given as TZ would be, and restores the old one.
struct ScopedZone {
    const bool bHadOld = qEnvironmentVariableIsSet("TZ");
    const QByteArray old = qgetenv("TZ");
    explicit ScopedZone(const char* zone) { qputenv("TZ", zone); }
    ~ScopedZone() { bHadOld ? qputenv("TZ", old) : qunsetenv("TZ"); }
};

QDateTime Local(int y, int mo, int d, int h = 0, int mi = 0) { return QDateTime(QDate(y, mo, d), QTime(h, mi)); }

const QDateTime kNow = Local(2026, 12, 7, 12, 0);
const char kSeconds[] = "yyyy-MM-dd hh:mm:ss";

// An entry in one line, "name|kind|size|local time", then "|-> target" for a
// link that names one and "|special" for a device, pipe or socket.
std::string Describe(const std::optional<ListingEntry>& e)
{
    if (!e) return "none";
    QString s = QStringLiteral("%1|%2|%3|%4").arg(e->name, QStringList{"file", "dir", "link"}.value(e->kind, "?")).arg(e->size)
                    .arg(e->date.isValid() ? e->date.toLocalTime().toString(kSeconds) : "-");
    if (!e->linkTarget().isEmpty()) s += "|-> " + e->linkTarget();
    return (e->bSpecial ? s + "|special" : s).toStdString();
}

// LIST lines as servers send them (read at kNow, in UTC): Unix, DOS/IIS, EPLF.
const std::pair<const char*, const char*> kListLines[] = {
    // vsftpd, pyftpdlib, ProFTPD (with ACL and SELinux markers), Pure-FTPd
    {"drwxr-xr-x    2 1000     1000         4096 Dec 07 02:10 docs", "docs|dir|4096|2026-12-07 02:10:00"},
    {"-rw-r--r--    1 1000     1000     5368709120 Mar 15  2024 big.iso", "big.iso|file|5368709120|2024-03-15 00:00:00"},
    {"-rw-rw-r--   1 user     group          12 Dec 06 23:59 a b.txt", "a b.txt|file|12|2026-12-06 23:59:00"},
    {"drwxr-xr-x   3 ftp      ftp          4096 Dec  7 02:10 pub", "pub|dir|4096|2026-12-07 02:10:00"},
    {"-rw-r--r--+  1 ftp      ftp           100 Nov 30 10:00 acl.txt", "acl.txt|file|100|2026-11-30 10:00:00"},
    {"drwxr-xr-x.  2 root     root            6 Dec  1 08:00 selinux", "selinux|dir|6|2026-12-01 08:00:00"},
    {"-rw-r--r--@  1 alice    staff          42 Jan  2 03:04 mac", "mac|file|42|2026-01-02 03:04:00"},
    {"-rw-r--r--    1 1000       1000             1234 Dec  7  2025 old.txt", "old.txt|file|1234|2025-12-07 00:00:00"},
    {"-rw-------    1 0          0       1099511627776 Dec  9 02:10 tera", "tera|file|1099511627776|2025-12-09 02:10:00"},
    // busybox: no group column
    {"-rw-r--r--    1 0            1234 Dec  7 02:10 nogroup.txt", "nogroup.txt|file|1234|2026-12-07 02:10:00"},
    {"drwxr-xr-x    2 root            0 Sep 30 17:00 etc", "etc|dir|0|2026-09-30 17:00:00"},
    // other date orders and styles
    {"-rw-r--r--   1 owner group   77 07 Dec 01:00 day-first", "day-first|file|77|2026-12-07 01:00:00"},
    {"-rw-r--r--   1 owner group   77 2026-11-02 13:45 long-iso", "long-iso|file|77|2026-11-02 13:45:00"},
    {"-rw-r--r--   1 owner group   5 2026-11-02 13:45:10.123456789 +0000 full-iso", "full-iso|file|5|2026-11-02 13:45:10"},
    {"-rw-r--r--   1 owner group   5 Dec  7 02:10:33 2025 bsd-T", "bsd-T|file|5|2025-12-07 02:10:33"},
    // names
    {"-rw-r--r--   1 o g 5 Dec 07 02:10    lead", "   lead|file|5|2026-12-07 02:10:00"},
    {"-rw-r--r--   1 o g 5 Dec 07 02:10 a  b   c ", "a  b   c |file|5|2026-12-07 02:10:00"},
    {"-rw-r--r--   1 o g 5 Dec 07 02:10 Grüße 日本.txt", "Grüße 日本.txt|file|5|2026-12-07 02:10:00"},
    {"-rw-r--r--   1 o g 5 Dec 07 02:10 a -> b", "a -> b|file|5|2026-12-07 02:10:00"},
    {"-rw-r--r--   1 o g 5 Dec 07 02:10 ../x", "../x|file|5|2026-12-07 02:10:00"},
    {"-rw-r--r--   1 o g 5 Dec 07 02:10\ttabbed", "tabbed|file|5|2026-12-07 02:10:00"},
    {"-rw-r--r-- 1 o g 5 Dec 07 02:10 crlf\r\n", "crlf|file|5|2026-12-07 02:10:00"},
    // links, devices, pipes, sockets
    {"lrwxrwxrwx    1 0        0               7 Dec 07 02:10 bin -> usr/bin", "bin|link|7|2026-12-07 02:10:00|-> usr/bin"},
    {"lrwxrwxrwx    1 o        g               9 Dec 07 02:10 my link -> ../t a r", "my link|link|9|2026-12-07 02:10:00|-> ../t a r"},
    {"lrwxrwxrwx    1 o        g               9 Dec 07 02:10 bare", "bare|link|9|2026-12-07 02:10:00"},
    {"crw-rw-rw-    1 0        0          1,   3 Dec  7 02:10 null", "null|file|0|2026-12-07 02:10:00|special"},
    {"brw-rw----    1 root     disk       8,0 Dec  7 02:10 sda", "sda|file|0|2026-12-07 02:10:00|special"},
    {"crw--w----    1 root        4,   0 Dec  7 02:10 tty0", "tty0|file|0|2026-12-07 02:10:00|special"},
    {"prw-r--r--    1 o        g               0 Dec  7 02:10 fifo", "fifo|file|0|2026-12-07 02:10:00|special"},
    {"srwxrwxrwx    1 o        g               0 Dec  7 02:10 sock", "sock|file|0|2026-12-07 02:10:00|special"},
    // DOS and IIS
    {"12-07-26  02:10AM       <DIR>          docs", "docs|dir|0|2026-12-07 02:10:00"},
    {"12-07-26  02:10PM                12345 a file.txt", "a file.txt|file|12345|2026-12-07 14:10:00"},
    {"12-31-99  12:00AM                  100 y2k.txt", "y2k.txt|file|100|1999-12-31 00:00:00"},
    {"01-02-70  12:30PM                    1 seventy", "seventy|file|1|1970-01-02 12:30:00"},
    {"01-02-69  11:59PM                    1 sixty-nine", "sixty-nine|file|1|2069-01-02 23:59:00"},
    {"03-04-2025  23:15       <DIR>          full year", "full year|dir|0|2025-03-04 23:15:00"},
    {"12-07-2026  9:05 PM           5 apart", "apart|file|5|2026-12-07 21:05:00"},
    {"12-07-2026  07:13PM       1234 name.txt", "name.txt|file|1234|2026-12-07 19:13:00"},
    {"2026-12-07  19:13       <DIR>          folder", "folder|dir|0|2026-12-07 19:13:00"},
    {"2026/12/07  07:13AM           42 iso  spaced", "iso  spaced|file|42|2026-12-07 07:13:00"},
    {"12-07-26  02:10AM           6442450944 big.bin", "big.bin|file|6442450944|2026-12-07 02:10:00"},
    {"12/07/26  02:10am        1,234,567 grouped", "grouped|file|1234567|2026-12-07 02:10:00"},
    // EPLF
    {"+i8388621.48594,m825718503,r,s280,\tdjb.html", "djb.html|file|280|1996-03-01 22:15:03"},
    {"+i8388621.50690,m824255907,/,\t514", "514|dir|0|1996-02-13 23:58:27"},
    {"+r,s6442450944,\t two  spaces ", " two  spaces |file|6442450944|-"},
};

}  // namespace

TEST(ListingParser, ReadsUnixDosIisEplfAndMlsdLinesAndNothingElse)
{
    const ScopedZone utc("UTC0");
    // Each line alone, and all of them as one listing (whose clock keeps the
    // last time it made): the same entries.
    Clock listing(kNow), mlsdListing(kNow);
    for (const auto& [line, entry] : kListLines) {
        EXPECT_EQ(Describe(ParseListLine(QString::fromUtf8(line), kNow)), entry) << line;
        EXPECT_EQ(Describe(ParseListLine(QString::fromUtf8(line), listing)), entry) << line;
    }
    const std::pair<const char*, const char*> mlsd[] = {
        {"type=file;size=12;modify=20261207021000;perm=r; a b.txt", "a b.txt|file|12|2026-12-07 02:10:00"},
        {"Type=DIR;Modify=20261207021000;Perm=el; docs", "docs|dir|0|2026-12-07 02:10:00"},
        {"type=dir;sizd=4096;modify=20261207021000; sized", "sized|dir|4096|2026-12-07 02:10:00"},
        {"modify=20261207021000;perm=adfr;size=5368709120;type=file;unique=802U1F; big", "big|file|5368709120|2026-12-07 02:10:00"},
        {"type=OS.unix=slink:/usr/bin;size=7; bin", "bin|link|7|-|-> /usr/bin"},
        {"type=os.unix=symlink;unix.mode=0777; lnk", "lnk|link|0|-"},
        {"type=OS.unix=chr-1/3; null", "null|file|0|-|special"},
        {"type=file;size=1; a;b=c d.txt", "a;b=c d.txt|file|1|-"},
        {"type=file;size=1; a; b=c;d.txt", "a; b=c;d.txt|file|1|-"},
        {"type=file;size=1;  lead  ", " lead  |file|1|-"},
        {"type=file;size=1; ../x", "../x|file|1|-"},
        {"type=file;size=1;unix.owner=John Doe; spaced owner", "spaced owner|file|1|-"},
        {"type=file;;size=2;; empty facts", "empty facts|file|2|-"},
        {" no facts", "no facts|file|0|-"},
        {"type=file;size=3; Grüße\r\n", "Grüße|file|3|-"},
        // no entries
        {"type=cdir;modify=20261207021000; /home", "none"}, {"type=pdir;modify=20261207021000; /", "none"},
        {"type=dir; .", "none"}, {"type=dir; ..", "none"}, {"type=file;size=12 no-separator", "none"},
        {"type=file;size=abc; x", "none"}, {"type=file;size=-1; x", "none"}, {"type=file;modify=20261307021000; x", "none"},
        {"typefile; x", "none"}, {"=file; x", "none"}, {"type=file; ", "none"}, {"type=file;    ", "none"},
        {"", "none"}, {" ", "none"}, {"type=file;size=1;", "none"},
    };
    for (const auto& [line, entry] : mlsd) {
        EXPECT_EQ(Describe(ParseMlsdLine(QString::fromUtf8(line))), entry) << line;
        EXPECT_EQ(Describe(ParseMlsdLine(QString::fromUtf8(line), mlsdListing)), entry) << line;
    }

    // Every month, abbreviated or in full, in any case ("Sept" too).
    const char* const months[] = {"jan", "FEBRUARY", "Mar", "april", "MAY", "Jun", "july", "Aug", "Sept", "October", "nov", "Dec"};
    for (int m = 0; m < 12; ++m)
        EXPECT_EQ(Describe(ParseListLine(QStringLiteral("-rw-r--r-- 1 o g 5 %1 07  2020 x").arg(QLatin1String(months[m])), kNow)),
                  QStringLiteral("x|file|5|2020-%1-07 00:00:00").arg(m + 1, 2, 10, QLatin1Char('0')).toStdString());

    // LIST lines that are no entries.
    const char* const lines[] = {
        "total 12", "", "   ", "\t \r\n", "\r\n",
        "drwxr-xr-x    2 0 0 4096 Dec 07 02:10 .", "drwxr-xr-x    2 0 0 4096 Dec 07 02:10 ..",
        // no name (lines cut shorter: CutOrHugeLinesGiveNoHalfEntries)
        "drwxr-xr-x    2 0 0 4096 Dec 07 02:10 ", "drwxr-xr-x    2 0 0 4096 Dec 07 02:10    ",
        "-rw-r--r-- 1 o g 5 2026-11-02 13:45:10.123456789 +00",
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
    for (const char* line : lines) EXPECT_FALSE(ParseListLine(QString::fromUtf8(line), kNow).has_value()) << '"' << line << '"';
}

TEST(ListingParser, YearOfUnixDatesWithoutOne)
{
    // The most recent such date at most a day after now: a server ahead of us
    // lists what it has just written with tomorrow's date.
    const QDateTime newYear = Local(2026, 1, 10, 12, 0), firstHour = Local(2026, 1, 1, 0, 30);
    const struct { const char* date; QDateTime now, expected; } cases[] = {
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
    const ScopedZone zone("CET-1CEST,M3.5.0,M10.5.0/3");  // an hour east of UTC, two in summer
    // Times from MDTM and MLSD, in UTC, read on the local clock (as they come,
    // not converted here, so that one left in UTC shows); malformed ones invalid.
    for (const auto& [text, local] : std::initializer_list<std::pair<const char16_t*, const char*>>{
             {u"20261207021000", "2026-12-07 03:10:00.000"}, {u"20260701120000", "2026-07-01 14:00:00.000"},
             {u"20261231233000", "2027-01-01 00:30:00.000"}, {u" 20261207021000.5\r\n", "2026-12-07 03:10:00.500"},
             {u"20261207021000.123456", "2026-12-07 03:10:00.123"}, {u"19700101000000", "1970-01-01 01:00:00.000"},
             {u"", ""}, {u"2026120702100", ""}, {u"20261207021060", ""}, {u"20260230000000", ""}, {u"20261300000000", ""},
             {u"20261207241000", ""}, {u"00001207021000", ""}, {u"20261207021000.", ""}, {u"20261207021000x", ""},
             {u"2026-12-07 02:10:00", ""}, {u"2026120702100\u0660", ""}, {u"20261207021000.5x", ""}})
        EXPECT_EQ(ParseTimeVal(text).toString("yyyy-MM-dd hh:mm:ss.zzz").toStdString(), local) << QString::fromUtf16(text).toStdString();
    EXPECT_EQ(Describe(ParseMlsdLine(u"type=file;size=12;modify=20261207021000; a")), "a|file|12|2026-12-07 03:10:00");

    // Listings in UTC are converted; local ones stay on the local clock, and
    // an hour that the change to summer time skips moves on instead of
    // losing the date.
    for (const auto& [line, entry] : std::initializer_list<std::pair<const char*, const char*>>{
             {"+i8388621.48594,m825718503,r,s280,\tdjb.html", "djb.html|file|280|1996-03-01 23:15:03"},
             {"-rw-r--r-- 1 o g 5 2026-11-02 13:45:10.5 +0000 f", "f|file|5|2026-11-02 14:45:10"},
             {"-rw-r--r-- 1 o g 5 Dec 07 02:10 f", "f|file|5|2026-12-07 02:10:00"},
             {"-rw-r--r-- 1 o g 5 2026-03-29 02:30 f", "f|file|5|2026-03-29 03:30:00"},
             {"-rw-r--r-- 1 o g 5 Mar 29 02:30 f", "f|file|5|2026-03-29 03:30:00"},
             {"03-29-26  02:30AM  5 f", "f|file|5|2026-03-29 03:30:00"}})
        EXPECT_EQ(Describe(ParseListLine(QString::fromUtf8(line), kNow)), entry) << line;
}

TEST(ListingParser, CutOrHugeLinesGiveNoHalfEntries)
{
    // Cutting a Unix line anywhere before its name never leaves an entry.
    for (const auto& [line, entry] : kListLines) {
        const QString text = QString::fromUtf8(line), described = QString::fromUtf8(entry);
        if (text[0].isDigit() || text[0] == '+') continue;
        const QString target = described.section("|-> ", 1).section('|', 0, 0);
        const qsizetype nameStart = text.lastIndexOf(described.section('|', 0, 0) + (target.isEmpty() ? "" : " -> " + target));
        for (qsizetype cut = 0; cut < nameStart; ++cut)
            EXPECT_FALSE(ParseListLine(text.first(cut), kNow).has_value()) << text.first(cut).toStdString();
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

TEST(ListingParser, ReadsDatePrecisionAndPermissions)
{
    const QDateTime now(QDate(2026, 6, 1), QTime(12, 0));
    const std::pair<const char*, int> lists[] = {
        {"-rw-r--r-- 1 u g 5 May 30 10:15 a.txt", 60},       {"-rw-r--r-- 1 u g 5 May 30  2019 a.txt", 86400},
        {"-rw-r--r-- 1 u g 5 2026-05-30 10:15 a.txt", 60},   {"05-30-26  10:15AM  5 a.txt", 60},
        {"05-30-2026  10:15AM  5 a.txt", 60},                {"2026-05-30  10:15  <DIR>  a", 60},
        {"+i1.2,m825718503,r,s5,\ta.txt", 1},
    };
    ListingEntry none;  // no entry at all
    none.nDatePrecision = -1;
    for (const auto& [line, precision] : lists)
        EXPECT_EQ(ParseListLine(QString::fromUtf8(line), now).value_or(none).nDatePrecision, precision) << line;
    const std::pair<const char16_t*, int> mlsdDates[] = {{u"type=file;size=5;modify=20260530101501; a.txt", 1},
                                                    {u"type=file;size=5; a.txt", 0}};
    for (const auto& [line, precision] : mlsdDates)
        EXPECT_EQ(ParseMlsdLine(line).value_or(none).nDatePrecision, precision) << QString::fromUtf16(line).toStdString();

    // Permissions, and the facts asked for to get them.
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
    for (const auto& [line, wanted] : feat) EXPECT_EQ(MlstOptionsWanted(QString::fromUtf8(line)), QString::fromUtf8(wanted)) << line;
}
