// Lines per second of the listing parser, for Unix LIST lines (both date
// forms, files, folders and links) and MLSD lines. Prints one line per
// format: "<format> <lines> <seconds> <lines per second>"; exits 1 when a
// line that should give an entry gave none.
//
//   bench_listing_parser [LINES]     (default 1000000)
#include "ftp/ListingParser.h"
#include "ftp/LocalTimeZone.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

namespace {

QStringList UnixLines(int n)
{
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QStringList lines;
    lines.reserve(n);
    for (int i = 0; i < n; ++i) {
        const QString when = i % 3 ? QStringLiteral(" %1").arg(2000 + i % 24)
                                   : QStringLiteral("%1:%2").arg(i % 24, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'));
        const QString head = QStringLiteral("%1   1 bench    bench %2 %3 %4 %5 ")
                                 .arg(QLatin1String(i % 10 == 0 ? "drwxr-xr-x" : i % 10 == 1 ? "lrwxrwxrwx" : "-rw-r--r--"))
                                 .arg(i * 37 % 100000000, 12)
                                 .arg(QLatin1String(kMonths[i % 12]))
                                 .arg(i % 28 + 1, 2)
                                 .arg(when, 5);
        lines << head + (i % 10 == 1 ? QStringLiteral("link_%1 -> target_%1").arg(i) : QStringLiteral("entry_%1.dat").arg(i));
    }
    return lines;
}

QStringList MlsdLines(int n)
{
    QStringList lines;
    lines.reserve(n);
    for (int i = 0; i < n; ++i) {
        // Put together by hand: "%2120000" would read as marker 21.
        const QString modify = QStringLiteral("2024") + QStringLiteral("%1").arg(i % 9 + 1, 2, 10, QLatin1Char('0'))
                               + QStringLiteral("%1").arg(i % 28 + 1, 2, 10, QLatin1Char('0')) + QStringLiteral("120000");
        lines << QStringLiteral("type=%1;size=%2;modify=%3;perm=r; entry_%4.dat")
                     .arg(QLatin1String(i % 10 == 0 ? "dir" : "file"))
                     .arg(i * 37 % 100000000)
                     .arg(modify)
                     .arg(i);
    }
    return lines;
}

template <typename Parse>
bool Measure(const char* sName, const QStringList& lines, Parse parse)
{
    QElapsedTimer clock;
    clock.start();
    int nEntries = 0;
    for (const QString& line : lines)
        if (parse(line)) ++nEntries;
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("%s %lld %.3f %.0f\n", sName, static_cast<long long>(lines.size()), seconds, lines.size() / seconds);
    if (nEntries != lines.size()) {
        std::fprintf(stderr, "bench_listing_parser: %s: %d of %lld lines gave an entry\n", sName, nEntries,
                     static_cast<long long>(lines.size()));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    CacheLocalTimeZone();  // as the programs do
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1'000'000;
    if (n <= 0) {
        std::fprintf(stderr, "usage: bench_listing_parser [LINES]\n");
        return 2;
    }
    // Each format as one listing, the way the engine reads one.
    ListingParser::Clock unixClock(QDateTime::currentDateTime()), mlsdClock(QDateTime::currentDateTime());
    bool ok = Measure("unix", UnixLines(n), [&](const QString& s) { return ListingParser::ParseListLine(s, unixClock).has_value(); });
    ok = Measure("mlsd", MlsdLines(n), [&](const QString& s) { return ListingParser::ParseMlsdLine(s, mlsdClock).has_value(); }) && ok;
    return ok ? 0 : 1;
}
