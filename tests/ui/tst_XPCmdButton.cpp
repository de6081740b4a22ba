// The flat button: the colours of each look as painted, the nine-slice
// geometry, hover / press / leave sequences, keys, and saved properties.
#include "ui/XPCmdButton.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QImage Painted(XPCmdButton& button)
{
    return button.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }

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
    void restLookIsPaintedInNinePieces();
    void eachLookHasItsColours();
    void stateAndEnabledChooseTheRestLook();
    void pointerHoverPressAndLeave();
    void pointerThroughTheWindowSystem();
    void accessKeyClicks();
    void keysReportButDoNotDraw();
    void propertiesRoundTrip();
    void captionFollowsALaterObjectName();
    void smallSizesDoNotBreak();
};

void tst_XPCmdButton::restLookIsPaintedInNinePieces()
{
    XPCmdButton button(nullptr, QStringLiteral("cmdOk"));
    button.SetCaption(QString());  // no caption over the pixels under test
    button.resize(75, 23);
    const QImage img = Painted(button);
    const QRgb frame = Rgb(0x00, 0x3c, 0x74);
    // Corners unscaled at (0,0), (72,0), (72,20), (0,20): the rounded shades.
    for (const QPoint& corner : {QPoint(0, 0), QPoint(74, 0), QPoint(74, 22), QPoint(0, 22)})
        QCOMPARE(img.pixel(corner), Rgb(0xdd, 0xd7, 0xc5));
    QCOMPARE(img.pixel(1, 1), Rgb(0x22, 0x55, 0x83));
    QCOMPARE(img.pixel(73, 21), Rgb(0x22, 0x55, 0x83));
    // Edges: the frame all along.
    for (int x : {3, 37, 71}) {
        QCOMPARE(img.pixel(x, 0), frame);
        QCOMPARE(img.pixel(x, 22), frame);
    }
    for (int y : {3, 11, 19}) {
        QCOMPARE(img.pixel(0, y), frame);
        QCOMPARE(img.pixel(74, y), frame);
    }
    // The face: white under the top frame, the last three rows above the
    // bottom frame darkening, the middle's last row stretched from the cell.
    QCOMPARE(img.pixel(37, 1), Rgb(0xff, 0xff, 0xff));
    QCOMPARE(img.pixel(37, 19), Rgb(0xec, 0xeb, 0xe6));
    QCOMPARE(img.pixel(37, 20), Rgb(0xe2, 0xdf, 0xd6));
    QCOMPARE(img.pixel(37, 21), Rgb(0xd6, 0xd0, 0xc5));
    // Mid height of the stretched middle is the light grey of the gradient.
    const QColor mid = QColor(img.pixel(37, 11));
    QVERIFY2(mid.red() >= 0xf0 && mid.red() <= 0xf8, qPrintable(mid.name()));
}

void tst_XPCmdButton::eachLookHasItsColours()
{
    // The skin itself, cell by cell.
    const QImage& skin = XPCmdButton::Skin();
    QCOMPARE(skin.size(), QSize(90, 21));
    const auto at = [&skin](int cell, int x, int y) { return skin.pixel(cell * 18 + x, y); };
    QCOMPARE(at(1, 9, 1), Rgb(0xd1, 0xcc, 0xc1));   // pressed: dark under the top frame
    QCOMPARE(at(1, 9, 19), Rgb(0xf2, 0xf1, 0xee));  // light at the bottom
    QCOMPARE(at(1, 9, 0), Rgb(0x00, 0x3c, 0x74));
    QCOMPARE(at(2, 0, 0), Rgb(0xff, 0xff, 0xff));   // disabled: white corner pixels
    QCOMPARE(at(2, 5, 0), Rgb(0xc9, 0xc7, 0xba));   // square light frame
    QCOMPARE(at(2, 9, 10), Rgb(0xf5, 0xf4, 0xea));  // flat face
    const int hover = 3, blue = 4;
    // The bands' rows not looked at on the painted buttons below.
    QCOMPARE(at(blue, 9, 2), Rgb(0xbc, 0xd4, 0xf6));
    QCOMPARE(at(blue, 9, 18), Rgb(0x89, 0xad, 0xe4));
    for (int cell : {0, 1, hover, blue}) {       // the same rounded frame on all four
        QCOMPARE(at(cell, 0, 0), Rgb(0xdd, 0xd7, 0xc5));
        QCOMPARE(at(cell, 1, 0), Rgb(0x65, 0x86, 0x9f));
        QCOMPARE(at(cell, 1, 1), Rgb(0x22, 0x55, 0x83));
        QCOMPARE(at(cell, 16, 19), Rgb(0x22, 0x55, 0x83));
    }

    // Hover and State 1 as painted on a 75 x 23 button: the bands stretched
    // along the edges, the frame kept.
    XPCmdButton lit;
    lit.SetCaption(QString());
    lit.resize(75, 23);
    lit.SetState(1);
    QImage img = Painted(lit);
    QCOMPARE(img.pixel(37, 1), Rgb(0xce, 0xe7, 0xff));
    QCOMPARE(img.pixel(37, 21), Rgb(0x69, 0x82, 0xee));
    QCOMPARE(img.pixel(73, 11), Rgb(0xa0, 0xbe, 0xec));
    const QRgb restFaceMid = img.pixel(37, 11);  // inside the band: the rest face
    QCOMPARE(img.pixel(0, 11), Rgb(0x00, 0x3c, 0x74));
    lit.SetState(0);
    MoveTo(&lit, QPoint(30, 8));
    img = Painted(lit);
    QCOMPARE(img.pixel(37, 1), Rgb(0xff, 0xf0, 0xcf));
    QCOMPARE(img.pixel(37, 2), Rgb(0xfd, 0xd8, 0x89));
    QCOMPARE(img.pixel(1, 11), Rgb(0xfc, 0xca, 0x69));
    QCOMPARE(img.pixel(72, 11), Rgb(0xfb, 0xca, 0x6a));
    QCOMPARE(img.pixel(37, 20), Rgb(0xf8, 0xb3, 0x30));
    QCOMPARE(img.pixel(37, 21), Rgb(0xe5, 0x97, 0x00));
    QCOMPARE(img.pixel(37, 11), restFaceMid);
    QCOMPARE(img.pixel(1, 1), Rgb(0x22, 0x55, 0x83));

    // A disabled button paints the disabled cell and a grey caption.
    XPCmdButton button;
    button.resize(75, 23);
    button.SetCaption(QStringLiteral("WWWWWW"));
    button.setEnabled(false);
    img = Painted(button);
    QCOMPARE(img.pixel(37, 2), Rgb(0xf5, 0xf4, 0xea));
    QCOMPARE(img.pixel(0, 0), Rgb(0xff, 0xff, 0xff));
    bool bGreyText = false, bBlackText = false;
    for (int y = 5; y < 18; ++y)
        for (int x = 10; x < 65; ++x) {
            bGreyText |= img.pixel(x, y) == Rgb(161, 161, 146);
            bBlackText |= img.pixel(x, y) == Rgb(0, 0, 0);
        }
    QVERIFY(bGreyText);
    QVERIFY(!bBlackText);
    button.setEnabled(true);
    const QImage enabled = Painted(button);
    bBlackText = false;
    for (int y = 5; y < 18; ++y)
        for (int x = 10; x < 65; ++x) bBlackText |= qGray(enabled.pixel(x, y)) < 40;
    QVERIFY(bBlackText);
}

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

void tst_XPCmdButton::pointerThroughTheWindowSystem()
{
    // Moves handed to the window, so that Qt itself finds the widget under
    // the pointer and sends the enter and leave events.
    QWidget window;
    window.resize(200, 100);
    XPCmdButton button(&window, QStringLiteral("cmdWs"));
    button.setGeometry(10, 10, 75, 23);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy out(&button, &XPCmdButton::MouseOut);
    QWindow* handle = window.windowHandle();

    QTest::mouseMove(handle, QPoint(150, 80));
    QTest::mouseMove(handle, QPoint(40, 20));
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kHover));
    QTest::mouseMove(handle, QPoint(150, 80));
    QCOMPARE(out.size(), 1);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kRest));
    QTest::mouseMove(handle, QPoint(160, 85));  // further moves outside: no second MouseOut
    QCOMPARE(out.size(), 1);

    // Disabled while hovered: the disabled look at once, MouseOut still
    // when the pointer goes, and the disabled look stays.
    QTest::mouseMove(handle, QPoint(40, 20));
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kHover));
    button.setEnabled(false);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kDisabled));
    QTest::mouseMove(handle, QPoint(45, 22));
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kDisabled));
    QTest::mouseMove(handle, QPoint(150, 80));
    QCOMPARE(out.size(), 2);
    QCOMPARE(button.CurrentCell(), int(XPCmdButton::kDisabled));
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

void tst_XPCmdButton::smallSizesDoNotBreak()
{
    XPCmdButton button;
    for (const QSize& size : {QSize(0, 0), QSize(3, 23), QSize(75, 4), QSize(6, 6)}) {
        button.resize(size);
        const QImage img = Painted(button);
        QCOMPARE(img.size(), size.expandedTo(QSize(0, 0)));
    }
    QVERIFY(button.sizeHint().width() >= 75 && button.sizeHint().height() >= 23);
}

QTEST_MAIN(tst_XPCmdButton)
#include "tst_XPCmdButton.moc"
