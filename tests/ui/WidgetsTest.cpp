// The flat button's looks through pointer, keys and saved properties; the resizer keeping controls' shares.
#include "ui/XPCmdButton.h"
#include "ui/clsResizer.h"

#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

// A pointer move over the button as the window system delivers it.
static void MoveTo(QWidget* widget, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), widget->mapToGlobal(QPointF(pos)), Qt::NoButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

TEST(XPCmdButton, RestLookFollowsStateEnabledAndSavedPropertiesOnTheSkinsCells)
{
    XPCmdButton button;
    EXPECT_EQ(button.Caption(), "XPCmdButton");
    button.setObjectName("cmdCancel");  // as generated form code names it: afterwards
    EXPECT_EQ(button.Caption(), "cmdCancel");
    const std::pair<std::function<void()>, int> steps[] = {
        {[] {}, XPCmdButton::kRest},
        {[&] { button.SetState(1); }, XPCmdButton::kRestHighlighted},
        {[&] { button.SetState(7); }, XPCmdButton::kRestHighlighted},  // no rest look of its own: the last one stays
        {[&] { button.setEnabled(false); }, XPCmdButton::kDisabled},
        {[&] { button.setEnabled(true); }, XPCmdButton::kRestHighlighted},
        {[&] { button.SetState(0); }, XPCmdButton::kRest},
    };
    for (const auto& [step, cell] : steps) {
        step();
        EXPECT_EQ(button.CurrentCell(), cell);
    }

    XPCmdButton named(nullptr, "cmdApply");
    named.SetState(1);
    named.SetCaption("&Apply");
    named.setObjectName("cmdRenamed");  // an own caption stays
    named.setEnabled(false);
    QFont bold = named.font();
    bold.setBold(true);
    named.setFont(bold);
    QVariantMap bag;
    named.WriteProperties(bag);
    XPCmdButton loaded(nullptr, "cmdOther");
    loaded.ReadProperties(bag);
    EXPECT_EQ(std::tuple(loaded.State(), loaded.Caption(), loaded.font().bold(), loaded.CurrentCell()),
              std::tuple(1, QString("&Apply"), true, int(XPCmdButton::kDisabled)));
    loaded.ReadProperties({});  // the defaults
    EXPECT_EQ(std::tuple(loaded.State(), loaded.isEnabled(), loaded.Caption(), loaded.CurrentCell()),
              std::tuple(0, true, QString("cmdOther"), int(XPCmdButton::kRest)));

    // A few pixels of the looks' cells: rounded frame, face top, middle and bottom rows.
    const QImage& skin = XPCmdButton::Skin();
    ASSERT_EQ(skin.size(), QSize(90, 21));
    const auto at = [&skin](int cell, int x, int y) { return skin.pixel(cell * 18 + x, y); };
    EXPECT_EQ(at(0, 1, 1), qRgb(0x22, 0x55, 0x83));
    EXPECT_EQ(at(1, 9, 1), qRgb(0xd1, 0xcc, 0xc1));   // pressed: dark under the top frame
    EXPECT_EQ(at(1, 9, 19), qRgb(0xf2, 0xf1, 0xee));  // light at the bottom
    EXPECT_EQ(at(2, 9, 10), qRgb(0xf5, 0xf4, 0xea));  // disabled: flat face
    EXPECT_EQ(at(3, 9, 18), qRgb(0xf8, 0xb3, 0x30));  // hover: orange band
    EXPECT_EQ(at(4, 9, 18), qRgb(0x89, 0xad, 0xe4));  // highlighted: blue band
}

TEST(XPCmdButton, PointerHoverPressAndLeave)
{
    QWidget window;
    window.resize(200, 100);
    XPCmdButton button(&window, "cmdGo");
    button.setGeometry(10, 10, 75, 23);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy out(&button, &XPCmdButton::MouseOut), moves(&button, &XPCmdButton::MouseMove),
        downs(&button, &XPCmdButton::MouseDown), ups(&button, &XPCmdButton::MouseUp), clicks(&button, &XPCmdButton::Click);

    QEvent leave(QEvent::Leave);
    const auto press = [&](QPoint at) { QTest::mousePress(&button, Qt::LeftButton, {}, at); };
    const auto release = [&](QPoint at) { QTest::mouseRelease(&button, Qt::LeftButton, {}, at); };
    const std::tuple<std::function<void()>, int, const char*> steps[] = {  // the look; MouseUp, Click, MouseOut so far
        {[&] { MoveTo(&button, {30, 10}); }, XPCmdButton::kHover, "0 0 0"},
        {[&] { press({30, 10}); }, XPCmdButton::kPressed, "0 0 0"},
        {[&] { MoveTo(&button, {32, 10}, Qt::LeftButton); }, XPCmdButton::kPressed, "0 0 0"},  // held: still pressed
        {[&] { release({30, 10}); }, XPCmdButton::kRest, "1 1 0"},
        {[&] { MoveTo(&button, {30, 10}); }, XPCmdButton::kHover, "1 1 0"},
        {[&] { QCoreApplication::sendEvent(&button, &leave); }, XPCmdButton::kRest, "1 1 1"},
        {[&] { QCoreApplication::sendEvent(&button, &leave); }, XPCmdButton::kRest, "1 1 1"},  // MouseOut once
        // Dragged out with the button held: no leave event arrives, the move
        // outside ends the hover all the same, and releasing outside is no click.
        {[&] { press({30, 10}); }, XPCmdButton::kPressed, "1 1 1"},
        {[&] { MoveTo(&button, {120, 60}, Qt::LeftButton); }, XPCmdButton::kRest, "1 1 2"},
        {[&] { release({120, 60}); }, XPCmdButton::kRest, "2 1 2"},
    };
    for (const auto& [step, cell, counts] : steps) {
        step();
        EXPECT_EQ(button.CurrentCell(), cell) << counts;
        EXPECT_EQ(QStringLiteral("%1 %2 %3").arg(ups.size()).arg(clicks.size()).arg(out.size()), counts);
    }
    ASSERT_FALSE(moves.isEmpty() || downs.isEmpty());
    EXPECT_EQ(moves[0][2].toFloat(), 30.0f);
    EXPECT_EQ(downs[0][0].toInt(), 1);  // the left button
}

TEST(XPCmdButton, KeysReportButDoNotDrawAndClickOnlyAsAButtonDoes)
{
    QWidget window;
    auto* button = new XPCmdButton(&window, "cmdApply");
    button->SetCaption("&Apply");
    auto* other = new XPCmdButton(&window, "cmdOther");
    other->move(0, 30);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QSignalSpy clicks(button, &XPCmdButton::Click), otherClicks(other, &XPCmdButton::Click),
        downs(other, &XPCmdButton::KeyDown), presses(other, &XPCmdButton::KeyPress), ups(other, &XPCmdButton::KeyUp);
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);  // the access key
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicks.size() == 1; }));
    EXPECT_EQ(button->CurrentCell(), XPCmdButton::kRest);

    QTest::keyClick(other, 'A', Qt::ShiftModifier);  // Shift, then A
    ASSERT_FALSE(downs.isEmpty());
    EXPECT_EQ(std::pair(downs.last()[0].toInt(), downs.last()[1].toInt()), std::pair(int(Qt::Key_A), 1));  // A, with Shift
    ASSERT_EQ(presses.size(), 1);
    EXPECT_EQ(presses[0][0].toInt(), int('A'));
    EXPECT_EQ(ups.size(), downs.size());
    QKeyEvent wide(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u0100"));
    QCoreApplication::sendEvent(other, &wide);
    EXPECT_EQ(presses.size(), 1) << "a character without an 8-bit code raises no KeyPress";
    EXPECT_EQ(otherClicks.size(), 0);
    QTest::keyClick(other, Qt::Key_Space);
    QTest::keyClick(other, Qt::Key_Return);
    EXPECT_EQ(otherClicks.size(), 2);
    EXPECT_EQ(other->CurrentCell(), XPCmdButton::kRest);
    EXPECT_EQ(clicks.size(), 1);
}

TEST(Resizer, ControlsKeepTheirShareOfTheirContainerAndVanishedOnesAreSkipped)
{
    QWidget form;
    form.resize(400, 400);
    const auto add = [](QWidget* widget, QWidget* parent, QRect geometry) { widget->setParent(parent), widget->setGeometry(geometry); return widget; };
    QWidget* button = add(new QPushButton, &form, {40, 40, 100, 20});
    QWidget* fixed = add(new QPushButton, &form, {10, 10, 80, 24});
    QWidget* group = add(new QGroupBox, &form, {200, 0, 200, 100});
    QWidget* inner = add(new QFrame, group, {20, 10, 100, 50});
    QWidget* innerButton = add(new QPushButton, inner, {10, 6, 50, 24});
    auto* combo = static_cast<QComboBox*>(add(new QComboBox, &form, {0, 120, 200, 24}));
    combo->setEditable(true);  // a widget of its own children
    QWidget* laidOut = add(new QWidget, &form, {0, 200, 400, 200});
    auto* layout = new QHBoxLayout(laidOut);
    layout->addWidget(new QPushButton("a"));

    clsResizer resizer;
    resizer.PrepareClass(&form);
    resizer.AddControlToIgnore(fixed);
    EXPECT_EQ(resizer.RecordedCount(), 7);  // not the insides of the combo box or the laid-out container
    form.resize(800, 200);
    resizer.ResizeControls();
    const std::pair<QWidget*, QRect> expected[] = {
        {button, {80, 20, 200, 10}},    {fixed, {10, 10, 80, 24}},       {group, {400, 0, 400, 50}},
        {inner, {40, 5, 200, 25}},      {innerButton, {20, 3, 100, 12}}, {combo, {0, 60, 400, 12}},
        {laidOut, {0, 100, 800, 100}},
    };
    for (const auto& [widget, geometry] : expected) EXPECT_EQ(widget->geometry(), geometry);

    // Back to the first size gives back the first geometry: the ratios are
    // kept from preparation, not recomputed from rounded results.
    for (QSize size : {QSize(401, 399), QSize(400, 400)}) form.resize(size), resizer.ResizeControls();
    EXPECT_EQ(button->geometry(), QRect(40, 40, 100, 20));
    EXPECT_EQ(innerButton->geometry(), QRect(10, 6, 50, 24));

    clsResizer unprepared;
    unprepared.ResizeControls();  // nothing to do, nothing to fail
    delete button;
    form.resize(800, 800);
    resizer.ResizeControls();  // a control deleted since is skipped, the others still follow
    EXPECT_EQ(group->geometry(), QRect(400, 0, 400, 200));

    // A zero-sized form records nothing rather than dividing by zero.
    QWidget collapsed;
    collapsed.resize(0, 0);
    new QPushButton(&collapsed);
    resizer.PrepareClass(&collapsed);
    EXPECT_EQ(resizer.RecordedCount(), 0);
}
