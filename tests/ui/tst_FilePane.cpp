// The file pane: rows, selection, sorting, views, label editing, keys and drops.
#include "ui/FilePane.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <memory>

namespace {

QStringList Texts(const FilePane& pane)
{
    QStringList texts;
    for (int i = 0; i < pane.Count(); ++i) texts.append(pane.Text(i));
    return texts;
}

// Four entries whose size and date texts sort differently from their values.
void AddSample(FilePane& pane)
{
    const auto at = [](int y, int m, int d, int h) { return QDateTime(QDate(y, m, d), QTime(h, 0)); };
    pane.AddRow(QStringLiteral("beta.txt"), 2, {QStringLiteral("9"), QStringLiteral("01.03.2024 08:00"), QStringLiteral("F")},
                9, at(2024, 3, 1, 8));
    pane.AddRow(QStringLiteral("zeta"), 11, {QString(), QStringLiteral("31.12.2023 23:00"), QStringLiteral("D")}, -1,
                at(2023, 12, 31, 23));
    pane.AddRow(QStringLiteral("Gamma.doc"), 4, {QStringLiteral("10"), QStringLiteral("15.02.2024 12:00"), QStringLiteral("F")},
                10, at(2024, 2, 15, 12));
    pane.AddRow(QStringLiteral("alpha.txt"), 2, {QStringLiteral("100"), QStringLiteral("01.10.2024 07:00"), QStringLiteral("F")},
                100, at(2024, 10, 1, 7));
}

QStringList Reversed(QStringList list)
{
    std::reverse(list.begin(), list.end());
    return list;
}

FilePaneRow Named(const QString& text) { return FilePaneRow{text, 1, {QStringLiteral("1"), {}, QStringLiteral("F")}, 1, {}}; }

}  // namespace

class tst_FilePane : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsAddClearAndCount();
    void selectionComesBackInListOrder();
    void sortingComparesColumnTexts();
    void sortingByValueOrdersSizesAndDates();
    void columnClicksFlipTheOrder();
    void viewsSwitchAndKeepTheSelection();
    void labelEditAcceptedChangedOrCancelled();
    void boundKeysAreReported();
    void hundredThousandRowsInOneBatch();
    void dropsBetweenPanesReportTheSourceRows();
    void clicksAndImages();

private:
    static bool Edit(FilePane& pane, int row, const QString& text);
};

bool tst_FilePane::Edit(FilePane& pane, int row, const QString& text)
{
    if (!pane.StartLabelEdit(row)) return false;
    auto* editor = qobject_cast<QLineEdit*>(pane.ActiveView()->indexWidget(pane.Model()->index(pane.CurrentItem(), 0)));
    if (!editor) return false;
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits through a queued call, and the pane asks its
    // handler through another.
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    return true;
}

void tst_FilePane::rowsAddClearAndCount()
{
    FilePane pane;
    QSignalSpy inserted(pane.Model(), &QAbstractItemModel::rowsInserted);
    QCOMPARE(pane.AddRow(QStringLiteral("b.txt"), 2, {QStringLiteral("10"), QStringLiteral("d1"), QStringLiteral("F")}), 0);
    QCOMPARE(pane.AddRow(QStringLiteral("sub"), 11, {QString(), QStringLiteral("d2"), QStringLiteral("D")}), 1);
    QCOMPARE(pane.Count(), 2);
    QCOMPARE(pane.Text(1), QStringLiteral("sub"));
    QCOMPARE(pane.SmallIcon(0), 2);
    QCOMPARE(pane.SmallIcon(1), 11);
    QCOMPARE(pane.SubItem(0, 1), QStringLiteral("10"));
    QCOMPARE(pane.SubItem(0, 2), QStringLiteral("d1"));
    QCOMPARE(pane.SubItem(1, 3), QStringLiteral("D"));
    QCOMPARE(pane.SubItem(0, 4), QString());
    QCOMPARE(pane.Text(2), QString());
    // The details columns show the same texts, the kind letter in the last.
    const QAbstractItemModel* model = pane.Model();
    QCOMPARE(model->data(model->index(1, 3)).toString(), QStringLiteral("D"));
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Date"));

    // A batch arrives in a single insertion after the rows already there.
    inserted.clear();
    pane.AddRows({Named(QStringLiteral("c")), Named(QStringLiteral("d")), Named(QStringLiteral("e"))});
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 2);
    QCOMPARE(inserted.at(0).at(2).toInt(), 4);
    QCOMPARE(Texts(pane), QStringList({"b.txt", "sub", "c", "d", "e"}));

    pane.SetSelected(3, true);
    pane.Clear();
    QCOMPARE(pane.Count(), 0);
    QVERIFY(pane.SelectedRows().isEmpty());
    QCOMPARE(pane.AddRow(QStringLiteral("again"), 1, {}), 0);
}

void tst_FilePane::selectionComesBackInListOrder()
{
    FilePane pane;
    for (int i = 0; i < 6; ++i) pane.AddRow(QString::number(i), 1, {});
    QSignalSpy changed(&pane, &FilePane::selectionChanged);
    pane.SetSelected(4, true);
    pane.SetSelected(1, true);
    pane.SetSelected(3, true);
    QCOMPARE(changed.size(), 3);
    QCOMPARE(pane.SelectedRows(), QList<int>({1, 3, 4}));
    QVERIFY(pane.Selected(3));
    QVERIFY(!pane.Selected(2));
    QCOMPARE(pane.SelectedItem(), 1);  // no current row: the first selected
    pane.SetCurrentItem(4);
    QCOMPARE(pane.CurrentItem(), 4);
    QCOMPARE(pane.SelectedItem(), 4);
    pane.SetCurrentItem(2);  // current but not selected
    QCOMPARE(pane.SelectedItem(), 1);

    pane.SetSelected(1, false);
    pane.SetSelected(7, true);
    QCOMPARE(pane.SelectedRows(), QList<int>({3, 4}));
    pane.ClearSelection();
    QVERIFY(pane.SelectedRows().isEmpty());
    QCOMPARE(pane.SelectedItem(), -1);
}

void tst_FilePane::sortingComparesColumnTexts()
{
    FilePane pane;
    AddSample(pane);
    QCOMPARE(Texts(pane), QStringList({"beta.txt", "zeta", "Gamma.doc", "alpha.txt"}));  // arrival order
    pane.SetSelected(2, true);
    pane.SetCurrentItem(2);

    // Names without regard to case; the folder is not put first.
    pane.SetSorted(true);
    const QStringList byName{"alpha.txt", "beta.txt", "Gamma.doc", "zeta"};
    QCOMPARE(Texts(pane), byName);
    QCOMPARE(pane.SelectedRows(), QList<int>({2}));  // the selection follows its row
    QCOMPARE(pane.CurrentItem(), 2);
    pane.SetSortOrder(Qt::DescendingOrder);
    QCOMPARE(Texts(pane), Reversed(byName));
    QCOMPARE(pane.Text(pane.SelectedItem()), QStringLiteral("Gamma.doc"));

    // Sizes and dates as text: "10" < "100" < "9", day first.
    pane.SetSortOrder(Qt::AscendingOrder);
    pane.SetSortKey(FilePane::SizeColumn);
    const QStringList bySizeText{"zeta", "Gamma.doc", "alpha.txt", "beta.txt"};
    QCOMPARE(Texts(pane), bySizeText);
    pane.SetSortOrder(Qt::DescendingOrder);
    QCOMPARE(Texts(pane), Reversed(bySizeText));
    pane.SetSortKey(FilePane::DateColumn);
    pane.SetSortOrder(Qt::AscendingOrder);
    const QStringList byDateText{"beta.txt", "alpha.txt", "Gamma.doc", "zeta"};
    QCOMPARE(Texts(pane), byDateText);
    pane.SetSortOrder(Qt::DescendingOrder);
    QCOMPARE(Texts(pane), Reversed(byDateText));

    // New rows arrive in place; equal keys keep their arrival order.
    pane.SetSortOrder(Qt::AscendingOrder);
    pane.SetSortKey(FilePane::NameColumn);
    const QStringList file{QString(), QString(), QStringLiteral("F")};
    QCOMPARE(pane.AddRow(QStringLiteral("b.dat"), 1, file), 1);
    QCOMPARE(pane.AddRow(QStringLiteral("BETA.TXT"), 1, file), 3);
    QCOMPARE(pane.Text(2), QStringLiteral("beta.txt"));
    QSignalSpy inserted(pane.Model(), &QAbstractItemModel::rowsInserted);
    pane.AddRows({Named(QStringLiteral("delta")), Named(QStringLiteral("Aardvark")), Named(QStringLiteral("zeta"))});
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(Texts(pane), QStringList({"Aardvark", "alpha.txt", "b.dat", "beta.txt", "BETA.TXT", "delta",
                                       "Gamma.doc", "zeta", "zeta"}));
    QCOMPARE(pane.SmallIcon(7), 11);  // the first zeta is the folder that was there before
    // The kind letter sorts like any text.
    pane.SetSortKey(FilePane::KindColumn);
    QCOMPARE(pane.Text(0), QStringLiteral("zeta"));
    QCOMPARE(pane.SubItem(0, 3), QStringLiteral("D"));

    // Out of sorted mode the order stays and new rows go to the end.
    pane.SetSortKey(FilePane::NameColumn);
    pane.SetSorted(false);
    QCOMPARE(pane.Text(0), QStringLiteral("Aardvark"));
    QCOMPARE(pane.AddRow(QStringLiteral("aaa"), 1, {}), 9);
}

void tst_FilePane::sortingByValueOrdersSizesAndDates()
{
    FilePane pane;
    AddSample(pane);
    pane.SetSortByValue(true);
    pane.SetSortKey(FilePane::SizeColumn);
    pane.SetSorted(true);
    const QStringList bySize{"zeta", "beta.txt", "Gamma.doc", "alpha.txt"};
    QCOMPARE(Texts(pane), bySize);
    pane.SetSortOrder(Qt::DescendingOrder);
    QCOMPARE(Texts(pane), Reversed(bySize));

    pane.SetSortKey(FilePane::DateColumn);
    pane.SetSortOrder(Qt::AscendingOrder);
    const QStringList byDate{"zeta", "Gamma.doc", "beta.txt", "alpha.txt"};
    QCOMPARE(Texts(pane), byDate);
    pane.SetSortOrder(Qt::DescendingOrder);
    QCOMPARE(Texts(pane), Reversed(byDate));
    QCOMPARE(pane.AddRow(QStringLiteral("new"), 1, {}, 5, QDateTime(QDate(2024, 2, 20), QTime(0, 0))), 2);

    pane.SetSortByValue(false);  // back to the texts at once
    QCOMPARE(Texts(pane), QStringList({"zeta", "Gamma.doc", "alpha.txt", "beta.txt", "new"}));
}

void tst_FilePane::columnClicksFlipTheOrder()
{
    FilePane pane;
    AddSample(pane);
    QVERIFY(!pane.Sorted());
    pane.ApplyColumnClick(FilePane::SizeColumn);  // ascending before: descending now
    QVERIFY(pane.Sorted());
    QCOMPARE(pane.SortKey(), 1);
    QCOMPARE(pane.SortOrder(), Qt::DescendingOrder);
    QCOMPARE(Texts(pane), QStringList({"beta.txt", "alpha.txt", "Gamma.doc", "zeta"}));
    pane.ApplyColumnClick(FilePane::SizeColumn);
    QCOMPARE(pane.SortOrder(), Qt::AscendingOrder);
    QCOMPARE(pane.Text(0), QStringLiteral("zeta"));
    pane.ApplyColumnClick(FilePane::NameColumn);  // flips whichever column is clicked
    QCOMPARE(pane.SortKey(), 0);
    QCOMPARE(pane.SortOrder(), Qt::DescendingOrder);
    QCOMPARE(pane.Text(0), QStringLiteral("zeta"));

    // A click on the details header does the same.
    pane.resize(700, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QSignalSpy clicked(&pane, &FilePane::columnClicked);
    QHeaderView* header = pane.DetailsView()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 2);
    QCOMPARE(pane.SortKey(), 2);
    QCOMPARE(pane.SortOrder(), Qt::AscendingOrder);
    QCOMPARE(pane.Text(0), QStringLiteral("beta.txt"));
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

void tst_FilePane::viewsSwitchAndKeepTheSelection()
{
    FilePane pane;
    for (int i = 0; i < 10; ++i) pane.AddRow(QStringLiteral("file%1").arg(i), 1, {QString::number(i), {}, QStringLiteral("F")});
    pane.resize(600, 400);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.SetSelected(2, true);
    pane.SetSelected(7, true);
    pane.SetCurrentItem(7);
    QCOMPARE(pane.View(), 3);
    QCOMPARE(pane.ActiveView(), pane.DetailsView());

    for (int view : {0, 1, 2, 3, 1}) {
        pane.SetView(view);
        QCOMPARE(pane.View(), view);
        QVERIFY(pane.ActiveView()->isVisible());
        QCOMPARE(pane.SelectedRows(), QList<int>({2, 7}));
        QCOMPARE(pane.CurrentItem(), 7);
        if (view == 3) {
            QCOMPARE(pane.ActiveView(), pane.DetailsView());
            continue;
        }
        QListView* list = pane.IconListView();
        QCOMPARE(pane.ActiveView(), list);
        QCOMPARE(list->viewMode(), view == 0 ? QListView::IconMode : QListView::ListMode);
        if (view > 0) QCOMPARE(list->flow(), view == 1 ? QListView::LeftToRight : QListView::TopToBottom);
        QCOMPARE(list->iconSize(), view == 0 ? QSize(32, 32) : QSize(16, 16));
    }
    pane.SetView(4);
    pane.SetView(-1);
    QCOMPARE(pane.View(), 1);

    // A click in the list view selects the whole row for the details view.
    pane.SetView(2);
    QListView* list = pane.IconListView();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(pane.Model()->index(5, 0)).center());
    QCOMPARE(pane.SelectedRows(), QList<int>({5}));
    pane.SetView(3);
    QVERIFY(pane.SelectionModel()->isRowSelected(5, {}));

    // The kind column is there but zero wide, and stays so when the pane grows.
    QHeaderView* header = pane.DetailsView()->header();
    QCOMPARE(header->count(), 4);
    QCOMPARE(header->sectionSize(3), 0);
    QVERIFY(!header->isSectionHidden(3));
    pane.resize(1200, 400);
    QCoreApplication::processEvents();
    QCOMPARE(header->sectionSize(3), 0);
    QVERIFY(pane.DetailsView()->uniformRowHeights());
    QVERIFY(list->uniformItemSizes());
}

void tst_FilePane::labelEditAcceptedChangedOrCancelled()
{
    FilePane pane;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) pane.AddRow(QLatin1String(name), 1, {});
    pane.resize(500, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));

    QList<int> started;
    QStringList edits;
    connect(&pane, &FilePane::labelEditStarting, this, [&](int row, bool& cancel) {
        started.append(row);
        cancel = pane.Text(row) == QStringLiteral("c.txt");
    });
    connect(&pane, &FilePane::labelEdited, this, [&](int row, const QString& oldText, QString& newText, bool& cancel) {
        edits.append(QStringLiteral("%1:%2>%3").arg(row).arg(oldText, newText));
        if (newText == QStringLiteral("refused.txt")) cancel = true;
        if (newText.startsWith(QLatin1Char(' '))) newText = newText.trimmed();
        if (newText == QStringLiteral("reload.txt")) {  // as a rename that lists the folder again
            pane.Clear();
            pane.AddRow(QStringLiteral("fresh.txt"), 1, {});
        }
    });

    QVERIFY(Edit(pane, 0, QStringLiteral("x.txt")));
    QCOMPARE(pane.Text(0), QStringLiteral("x.txt"));
    QCOMPARE(edits, QStringList({"0:a.txt>x.txt"}));
    QCOMPARE(started, QList<int>({0}));

    QVERIFY(Edit(pane, 1, QStringLiteral("refused.txt")));
    QCOMPARE(pane.Text(1), QStringLiteral("b.txt"));  // cancelled: the old name stays
    QVERIFY(Edit(pane, 1, QStringLiteral(" y.txt ")));
    QCOMPARE(pane.Text(1), QStringLiteral("y.txt"));  // the handler's text wins
    QVERIFY(Edit(pane, 1, QStringLiteral("y.txt")));  // unchanged: nothing to report
    QCOMPARE(edits.size(), 3);

    // Escape abandons the edit without a report.
    QVERIFY(pane.StartLabelEdit(0));
    auto* editor = qobject_cast<QLineEdit*>(pane.ActiveView()->indexWidget(pane.Model()->index(0, 0)));
    QVERIFY(editor);
    editor->setText(QStringLiteral("never.txt"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QCOMPARE(pane.Text(0), QStringLiteral("x.txt"));
    QCOMPARE(edits.size(), 3);

    // A handler may refuse the edit before it starts.
    QVERIFY(!pane.StartLabelEdit(2));
    QVERIFY(!pane.StartLabelEdit(5));

    // In sorted mode the renamed row moves to its place.
    pane.SetView(2);
    pane.SetSorted(true);
    QVERIFY(Edit(pane, 1, QStringLiteral("z.txt")));  // the list view edits too
    QCOMPARE(Texts(pane), QStringList({"c.txt", "y.txt", "z.txt"}));

    // A handler that reloads the list keeps what it loaded.
    QVERIFY(Edit(pane, 1, QStringLiteral("reload.txt")));
    QCOMPARE(Texts(pane), QStringList({"fresh.txt"}));
}

void tst_FilePane::boundKeysAreReported()
{
    FilePane pane;
    pane.AddRow(QStringLiteral("one"), 1, {});
    pane.AddRow(QStringLiteral("two"), 1, {});
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QSignalSpy keys(&pane, &FilePane::keyPressed);
    QList<int> expected;
    for (int view : {3, 2, 0}) {
        pane.SetView(view);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Backspace, Qt::Key_F5, Qt::Key_Delete, Qt::Key_F2})
            QTest::keyClick(pane.ActiveView(), key);
        expected << Qt::Key_Return << Qt::Key_Return << Qt::Key_Backspace << Qt::Key_F5 << Qt::Key_Delete << Qt::Key_F2;
    }
    pane.SetView(3);
    pane.SetCurrentItem(0);
    QTest::keyClick(pane.ActiveView(), Qt::Key_Down);  // other keys keep their usual meaning
    QCOMPARE(pane.CurrentItem(), 1);
    QList<int> got;
    for (const QList<QVariant>& args : std::as_const(keys)) got.append(args.at(0).toInt());
    QCOMPARE(got, expected);
    QVERIFY(!pane.ActiveView()->indexWidget(pane.Model()->index(1, 0)));  // F2 opened no editor
}

void tst_FilePane::hundredThousandRowsInOneBatch()
{
    QList<FilePaneRow> rows;
    rows.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        rows.append(FilePaneRow{QStringLiteral("f%1").arg(i, 6, 10, QLatin1Char('0')), 2,
                                {QString::number(i), {}, QStringLiteral("F")}, i, {}});
    FilePane pane;
    pane.resize(600, 400);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QSignalSpy inserted(pane.Model(), &QAbstractItemModel::rowsInserted);
    pane.AddRows(rows);
    QCoreApplication::processEvents();
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(pane.Count(), 100000);
    QCOMPARE(pane.Text(99999), QStringLiteral("f099999"));
    pane.ApplyColumnClick(FilePane::NameColumn);
    QCOMPARE(pane.Text(0), QStringLiteral("f099999"));
    QCOMPARE(pane.Text(99999), QStringLiteral("f000000"));
}

void tst_FilePane::dropsBetweenPanesReportTheSourceRows()
{
    FilePane local;
    FilePane remote;
    for (const char* name : {"a", "b", "c", "d"}) local.AddRow(QLatin1String(name), 1, {});
    remote.AddRow(QStringLiteral("r"), 1, {});
    local.SetSelected(3, true);
    local.SetSelected(1, true);
    QSignalSpy toRemote(&remote, &FilePane::rowsDropped);
    QSignalSpy toLocal(&local, &FilePane::rowsDropped);

    // The view hands the model every selected cell, four per row.
    const QModelIndexList cells = local.SelectionModel()->selectedIndexes();
    QCOMPARE(cells.size(), 8);
    std::unique_ptr<QMimeData> data(local.Model()->mimeData(cells));
    QVERIFY(data);
    QVERIFY(data->hasFormat(QLatin1String(FilePane::MimeType)));
    QCOMPARE(data->text(), QStringLiteral("b\nd"));
    QVERIFY(remote.Model()->canDropMimeData(data.get(), Qt::CopyAction, -1, -1, {}));
    QVERIFY(remote.Model()->dropMimeData(data.get(), Qt::CopyAction, -1, -1, {}));
    QVERIFY(toRemote.isEmpty());  // reported once the drag is over
    QTRY_COMPARE(toRemote.size(), 1);
    QCOMPARE(toRemote.at(0).at(0).value<FilePane*>(), &local);
    QCOMPARE(toRemote.at(0).at(1).value<QList<int>>(), QList<int>({1, 3}));

    // Not back onto the pane it came from.
    QVERIFY(!local.Model()->dropMimeData(data.get(), Qt::CopyAction, -1, -1, {}));

    // Plain text from elsewhere: no source, no rows.
    QMimeData text;
    text.setText(QStringLiteral("something"));
    QVERIFY(local.Model()->dropMimeData(&text, Qt::CopyAction, -1, -1, {}));
    QTRY_COMPARE(toLocal.size(), 1);
    QCOMPARE(toLocal.at(0).at(0).value<FilePane*>(), nullptr);
    QVERIFY(toLocal.at(0).at(1).value<QList<int>>().isEmpty());

    // Data without text is refused.
    QMimeData binary;
    binary.setData(QStringLiteral("application/octet-stream"), QByteArray("x"));
    QVERIFY(!remote.Model()->canDropMimeData(&binary, Qt::CopyAction, -1, -1, {}));

    QCOMPARE(local.Model()->supportedDragActions(), Qt::CopyAction);  // a move would delete the dragged rows
}

void tst_FilePane::clicksAndImages()
{
    FilePane pane;
    QPixmap red(16, 16);
    red.fill(Qt::red);
    QPixmap blue(16, 16);
    blue.fill(Qt::blue);
    const QIcon first(red);
    const QIcon second(blue);
    pane.AddRow(QStringLiteral("one"), 2, {});
    pane.AddRow(QStringLiteral("two"), 1, {});
    pane.AddRow(QStringLiteral("three"), 3, {});
    pane.SetImageList({first, second});
    const QAbstractItemModel* model = pane.Model();
    // Image indexes count from 1.
    QCOMPARE(model->data(model->index(0, 0), Qt::DecorationRole).value<QIcon>().cacheKey(), second.cacheKey());
    QCOMPARE(model->data(model->index(1, 0), Qt::DecorationRole).value<QIcon>().cacheKey(), first.cacheKey());
    QVERIFY(!model->data(model->index(2, 0), Qt::DecorationRole).isValid());

    pane.resize(500, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QSignalSpy clicked(&pane, &FilePane::itemClicked);
    QSignalSpy doubleClicked(&pane, &FilePane::itemDoubleClicked);
    QWidget* viewport = pane.DetailsView()->viewport();
    const QPoint onTwo = pane.DetailsView()->visualRect(model->index(1, 0)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, onTwo);
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 1);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, onTwo);
    QCOMPARE(doubleClicked.size(), 1);
    QCOMPARE(doubleClicked.at(0).at(0).toInt(), 1);
}

QTEST_MAIN(tst_FilePane)
#include "tst_FilePane.moc"
