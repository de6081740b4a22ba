// The flat button: which look it shows through hover / press / leave
// sequences, keys, and saved properties.
#include "ui/XPCmdButton.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A pointer move over the button as the window system delivers it.
void MoveTo(QWidget* widget, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), widget->mapToGlobal(QPointF(pos)), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

}  // namespace

class tst_XPCmdButton : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stateAndEnabledChooseTheRestLook();
    void pointerHoverPressAndLeave();
    void accessKeyClicks();
    void keysReportButDoNotDraw();
    void propertiesRoundTrip();
    void captionFollowsALaterObjectName();
    void skinCellsHaveTheirColours();
};

void tst_XPCmdButton::stateAndEnabledChooseTheRestLook()
{
    XPCmdButton button;
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRest));
    button.SetState(1);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRestHighlighted));
    button.SetState(7);  // no rest look of its own: the last one stays
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRestHighlighted));
    button.setEnabled(false);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kDisabled));
    button.setEnabled(true);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRestHighlighted));
    button.SetState(0);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRest));
}

void tst_XPCmdButton::pointerHoverPressAndLeave()
{
    QWidget window;
    window.resize(200, 100);
    XPCmdButton button(&window, QStringLiteral("cmdGo"));
    button.setGeometry(10, 10, 75, 23);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy out(&button, &XPCmdButton::MouseOut);
    QSignalSpy moves(&button, &XPCmdButton::MouseMove);
    QSignalSpy downs(&button, &XPCmdButton::MouseDown);
    QSignalSpy clicks(&button, &XPCmdButton::Click);

    MoveTo(&button, QPoint(30, 10));
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kHover));
    QCOMPARE(moves.size(), 1);
    QCOMPARE(moves[0][2].toFloat(), 30.0f);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(30, 10));
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kPressed));
    MoveTo(&button, QPoint(32, 10), Qt::LeftButton);  // a move with the left button held stays pressed
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kPressed));
    QCOMPARE(downs.size(), 1);
    QCOMPARE(downs[0][0].toInt(), 1);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(30, 10));
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRest));
    QCOMPARE(clicks.size(), 1);

    // Leaving: MouseOut once, the rest look back.
    MoveTo(&button, QPoint(30, 10));
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kHover));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    QCoreApplication::sendEvent(&button, &leave);
    QCOMPARE(out.size(), 1);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRest));

    // Dragged out with the button held: no leave event arrives, the move
    // outside ends the hover all the same, and releasing outside is no click.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(30, 10));
    MoveTo(&button, QPoint(120, 60), Qt::LeftButton);
    QCOMPARE(out.size(), 2);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRest));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(120, 60));
    QCOMPARE(clicks.size(), 1);
}

void tst_XPCmdButton::accessKeyClicks()
{
    QWidget window;
    auto* button = new XPCmdButton(&window, QStringLiteral("cmdApply"));
    button->SetCaption(QStringLiteral("&Apply"));
    auto* other = new XPCmdButton(&window, QStringLiteral("cmdOther"));
    other->move(0, 30);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QSignalSpy clicks(button, &XPCmdButton::Click);
    QSignalSpy otherClicks(other, &XPCmdButton::Click);
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
    QTRY_COMPARE(clicks.size(), 1);
    QCOMPARE(otherClicks.size(), 0);
    QCOMPARE(button->CurrentCell(), int(XPCmdButton::kRest));
}

void tst_XPCmdButton::keysReportButDoNotDraw()
{
    XPCmdButton button(nullptr, QStringLiteral("cmdKeys"));
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    button.setFocus();
    QSignalSpy downs(&button, &XPCmdButton::KeyDown);
    QSignalSpy presses(&button, &XPCmdButton::KeyPress);
    QSignalSpy ups(&button, &XPCmdButton::KeyUp);
    QSignalSpy clicks(&button, &XPCmdButton::Click);
    QTest::keyClick(&button, 'A', Qt::ShiftModifier);  // Shift, then A
    QCOMPARE(downs.last()[0].toInt(), int(Qt::Key_A));
    QCOMPARE(downs.last()[1].toInt(), 1);  // shift
    QCOMPARE(presses.size(), 1);
    QCOMPARE(presses[0][0].toInt(), int('A'));
    QCOMPARE(ups.size(), downs.size());
    QCOMPARE(clicks.size(), 0);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRest));
    QTest::keyClick(&button, Qt::Key_Space);
    QCOMPARE(clicks.size(), 1);
    QTest::keyClick(&button, Qt::Key_Return);
    QCOMPARE(clicks.size(), 2);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRest));
}

void tst_XPCmdButton::propertiesRoundTrip()
{
    XPCmdButton fresh;
    QCOMPARE(fresh.Caption(), QStringLiteral("XPCmdButton"));
    XPCmdButton named(nullptr, QStringLiteral("cmdApply"));
    QCOMPARE(named.Caption(), QStringLiteral("cmdApply"));

    named.SetState(1);
    named.SetCaption(QStringLiteral("&Apply"));
    QFont bold = named.font();
    bold.setBold(true);
    named.setFont(bold);
    QVariantMap bag;
    named.WriteProperties(bag);
    XPCmdButton loaded(nullptr, QStringLiteral("cmdOther"));
    loaded.ReadProperties(bag);
    QCOMPARE(loaded.State(), 1);
    QCOMPARE(loaded.Caption(), QStringLiteral("&Apply"));
    QVERIFY(loaded.font().bold());
    QCOMPARE(loaded.CurrentCell(), int(XPCmdButton::kRestHighlighted));

    loaded.ReadProperties({});  // the defaults
    QCOMPARE(loaded.State(), 0);
    QVERIFY(loaded.isEnabled());
    QCOMPARE(loaded.Caption(), QStringLiteral("cmdOther"));
}

void tst_XPCmdButton::captionFollowsALaterObjectName()
{
    XPCmdButton button;  // as generated form code creates it: named afterwards
    button.setObjectName(QStringLiteral("cmdCancel"));
    QCOMPARE(button.Caption(), QStringLiteral("cmdCancel"));
    button.SetCaption(QStringLiteral("Cancel"));
    button.setObjectName(QStringLiteral("cmdRenamed"));  // an own caption stays
    QCOMPARE(button.Caption(), QStringLiteral("Cancel"));
}

void tst_XPCmdButton::skinCellsHaveTheirColours()
{
    // A few pixels of the looks' cells: rounded frame, face top, middle and bottom rows.
    const QImage& skin = XPCmdButton::Skin();
    QCOMPARE(skin.size(), QSize(90, 21));
    const auto at = [&skin](int cell, int x, int y) { return skin.pixel(cell * 18 + x, y); };
    QCOMPARE(at(0, 1, 1), qRgb(0x22, 0x55, 0x83));
    QCOMPARE(at(1, 9, 1), qRgb(0xd1, 0xcc, 0xc1));   // pressed: dark under the top frame
    QCOMPARE(at(1, 9, 19), qRgb(0xf2, 0xf1, 0xee));  // light at the bottom
    QCOMPARE(at(2, 9, 10), qRgb(0xf5, 0xf4, 0xea));  // disabled: flat face
    QCOMPARE(at(4, 9, 18), qRgb(0x89, 0xad, 0xe4));
}

QTEST_MAIN(tst_XPCmdButton)
#include "tst_XPCmdButton.moc"
