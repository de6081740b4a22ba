// The proportional resizer: controls keep their share of their container.
#include "ui/clsResizer.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTest>

class tst_clsResizer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void doublingTheWidthDoublesHorizontalMeasures();
    void controlsInsideContainersFollowTheirContainer();
    void ignoredControlsKeepTheirPlace();
    void formsWithoutControlsAndVanishedControls();
    void compoundAndLaidOutWidgetsAreLeftToTheirOwners();
};

void tst_clsResizer::doublingTheWidthDoublesHorizontalMeasures()
{
    QWidget form;
    form.resize(400, 300);
    auto* button = new QPushButton(&form);
    button->setGeometry(40, 30, 100, 20);

    clsResizer resizer;
    resizer.PrepareClass(&form);
    QCOMPARE(resizer.RecordedCount(), 1);
    form.resize(800, 300);
    resizer.ResizeControls();
    QCOMPARE(button->geometry(), QRect(80, 30, 200, 20));

    // Back to the first size gives back the first geometry: the ratios are
    // kept from preparation, not recomputed from rounded results.
    form.resize(401, 299);
    resizer.ResizeControls();
    form.resize(400, 300);
    resizer.ResizeControls();
    QCOMPARE(button->geometry(), QRect(40, 30, 100, 20));
}

void tst_clsResizer::controlsInsideContainersFollowTheirContainer()
{
    QWidget form;
    form.resize(400, 200);
    auto* group = new QGroupBox(&form);
    group->setGeometry(200, 0, 200, 100);
    auto* inner = new QFrame(group);
    inner->setGeometry(20, 10, 100, 50);
    auto* button = new QPushButton(inner);
    button->setGeometry(10, 5, 50, 25);

    clsResizer resizer;
    resizer.PrepareClass(&form);
    QCOMPARE(resizer.RecordedCount(), 3);
    form.resize(800, 400);
    resizer.ResizeControls();
    QCOMPARE(group->geometry(), QRect(400, 0, 400, 200));
    QCOMPARE(inner->geometry(), QRect(40, 20, 200, 100));
    QCOMPARE(button->geometry(), QRect(20, 10, 100, 50));
}

void tst_clsResizer::ignoredControlsKeepTheirPlace()
{
    QWidget form;
    form.resize(300, 300);
    auto* fixed = new QPushButton(&form);
    fixed->setGeometry(10, 10, 80, 24);
    auto* moving = new QPushButton(&form);
    moving->setGeometry(150, 150, 60, 30);

    clsResizer resizer;
    resizer.PrepareClass(&form);
    resizer.AddControlToIgnore(fixed);
    form.resize(600, 150);
    resizer.ResizeControls();
    QCOMPARE(fixed->geometry(), QRect(10, 10, 80, 24));
    QCOMPARE(moving->geometry(), QRect(300, 75, 120, 15));
}

void tst_clsResizer::formsWithoutControlsAndVanishedControls()
{
    QWidget empty;
    empty.resize(200, 100);
    clsResizer resizer;
    resizer.PrepareClass(&empty);
    QCOMPARE(resizer.RecordedCount(), 0);
    empty.resize(400, 200);
    resizer.ResizeControls();  // nothing to do, nothing to fail

    clsResizer unprepared;
    unprepared.ResizeControls();

    QWidget form;
    form.resize(200, 100);
    auto* doomed = new QPushButton(&form);
    doomed->setGeometry(0, 0, 50, 20);
    resizer.PrepareClass(&form);
    delete doomed;
    form.resize(400, 200);
    resizer.ResizeControls();  // a control deleted since is skipped

    // A zero-sized form records nothing rather than dividing by zero.
    QWidget collapsed;
    collapsed.resize(0, 0);
    new QPushButton(&collapsed);
    resizer.PrepareClass(&collapsed);
    QCOMPARE(resizer.RecordedCount(), 0);
}

void tst_clsResizer::compoundAndLaidOutWidgetsAreLeftToTheirOwners()
{
    QWidget form;
    form.resize(400, 400);
    auto* combo = new QComboBox(&form);
    combo->setEditable(true);
    combo->setGeometry(0, 0, 200, 24);
    auto* laidOut = new QWidget(&form);
    laidOut->setGeometry(0, 200, 400, 200);
    auto* layout = new QHBoxLayout(laidOut);
    layout->addWidget(new QPushButton(QStringLiteral("a")));
    layout->addWidget(new QPushButton(QStringLiteral("b")));

    clsResizer resizer;
    resizer.PrepareClass(&form);
    QCOMPARE(resizer.RecordedCount(), 2);  // the combo box and the container, not their insides
    form.resize(800, 400);
    resizer.ResizeControls();
    QCOMPARE(combo->geometry(), QRect(0, 0, 400, 24));
    QCOMPARE(laidOut->geometry(), QRect(0, 200, 800, 200));
}

QTEST_MAIN(tst_clsResizer)
#include "tst_clsResizer.moc"
