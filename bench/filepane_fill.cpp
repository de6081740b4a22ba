// How long a file pane needs to take 100 000 rows and lay them out, next to
// the time `ls -f | wc -l` needs for a folder of as many files. Numbers only.
#include "ui/FilePane.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kRows = 100000;

QList<FilePaneRow> MakeRows(int first, int count)
{
    const QDateTime base(QDate(2024, 1, 1), QTime(0, 0));
    QList<FilePaneRow> rows;
    rows.reserve(count);
    for (int i = first; i < first + count; ++i) {
        const bool folder = i % 10 == 0;
        const qint64 size = folder ? -1 : qint64(i) * 37;
        const QDateTime date = base.addSecs(qint64(i) * 61);
        FilePaneRow row;
        row.entry.name = QStringLiteral("file_%1.txt").arg((i * 7919) % kRows, 6, 10, QLatin1Char('0'));
        row.smallIcon = folder ? 11 : 2;
        row.size = row.shownSize = size;
        row.entry.date = date;
        row.kindLetter = folder ? u'D' : u'F';
        rows.append(row);
    }
    return rows;
}

// Fills a fresh pane shown in the given view and waits for its first paint.
double FillMs(int nView, int nBatch, bool bSorted)
{
    FilePane pane;
    pane.resize(800, 600);
    pane.SetView(nView);
    pane.SetSorted(bSorted);
    pane.show();
    QApplication::processEvents();
    QList<QList<FilePaneRow>> batches;
    for (int first = 0; first < kRows; first += nBatch) batches.append(MakeRows(first, qMin(nBatch, kRows - first)));

    QElapsedTimer timer;
    timer.start();
    for (const QList<FilePaneRow>& batch : std::as_const(batches)) pane.AddRows(batch);
    QApplication::processEvents();
    (void)pane.grab();  // forces layout and painting of the visible rows
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (pane.Count() != kRows) qFatal("pane holds %d rows", pane.Count());
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    QTextStream out(stdout);

    const double details5000 = FillMs(FilePane::Details, 5000, false);
    const double detailsOne = FillMs(FilePane::Details, kRows, false);
    out << "details view, batches of 5000: " << details5000 << " ms\n";
    out << "details view, one batch:       " << detailsOne << " ms\n";
    out << "details view, sorted, 5000s:   " << FillMs(FilePane::Details, 5000, true) << " ms\n";
    out << "list view, one batch:          " << FillMs(FilePane::List, kRows, false) << " ms\n";
    out << "small icons, one batch:        " << FillMs(FilePane::SmallIcons, kRows, false) << " ms\n";
    out << "large icons, one batch:        " << FillMs(FilePane::LargeIcons, kRows, false) << " ms\n";
    out.flush();

    QTemporaryDir dir;
    if (!dir.isValid()) qFatal("no temporary folder");
    for (int i = 0; i < kRows; ++i) {
        const QByteArray name = QFile::encodeName(dir.filePath(QStringLiteral("f%1").arg(i)));
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0) qFatal("cannot create %s", name.constData());
        ::close(fd);
    }
    QProcess ls;
    QElapsedTimer timer;
    timer.start();
    ls.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("ls -f \"$0\" | wc -l"), dir.path()});
    ls.waitForFinished(-1);
    const double lsMs = double(timer.nsecsElapsed()) / 1e6;
    out << "ls -f | wc -l on " << kRows << " files: " << lsMs << " ms (" << ls.readAllStandardOutput().trimmed()
        << " lines)\n";
    out << "ratio pane (one batch) / ls: " << detailsOne / lsMs << "\n";
    out << "ratio pane (5000s) / ls:     " << details5000 << " / " << lsMs << " = " << details5000 / lsMs << "\n";
    return 0;
}
