// The real message boxes: which button Enter presses, and what closing the
// box counts as.
#include "ui/QtPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

class tst_QtPrompter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void enterPressesTheFirstButtonUnlessAnotherIsNamed();
    void closingTheBoxCountsAsCancel();

private:
    // Shows a box and lets act handle it once it is up.
    static PromptResult Show(PromptButtons buttons, std::optional<PromptResult> defaultButton,
                             const std::function<void(QMessageBox&)>& act)
    {
        QTimer::singleShot(0, [act] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) return act(*box);
            QFAIL("no message box");
        });
        QtPrompter prompter;
        return prompter.message(QStringLiteral("Kelvo"), QStringLiteral("Sure?"), buttons, PromptIcon::Question,
                                defaultButton);
    }
};

void tst_QtPrompter::enterPressesTheFirstButtonUnlessAnotherIsNamed()
{
    const auto pressEnter = [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); };
    QCOMPARE(Show(PromptButtons::YesNoCancel, std::nullopt, pressEnter), PromptResult::Yes);
    QCOMPARE(Show(PromptButtons::YesNoCancel, PromptResult::Cancel, pressEnter), PromptResult::Cancel);
    QCOMPARE(Show(PromptButtons::YesNo, PromptResult::No, pressEnter), PromptResult::No);
    // A button the box does not have changes nothing.
    QCOMPARE(Show(PromptButtons::OkCancel, PromptResult::Retry, pressEnter), PromptResult::Ok);
}

void tst_QtPrompter::closingTheBoxCountsAsCancel()
{
    QCOMPARE(Show(PromptButtons::YesNoCancel, std::nullopt, [](QMessageBox& box) { box.close(); }), PromptResult::Cancel);
}

QTEST_MAIN(tst_QtPrompter)
#include "tst_QtPrompter.moc"
