// The file pane's rows: adding, selection and sorting.
#include "ui/FilePane.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <algorithm>

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
    void hundredThousandRowsInOneBatch();
};

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

QTEST_MAIN(tst_FilePane)
#include "tst_FilePane.moc"
