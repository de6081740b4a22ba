#include "ui/QtPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace {

Prompter* g_pInstalled = nullptr;

struct ButtonSet {
    QList<QMessageBox::StandardButton> buttons;
    QList<PromptResult> results;
    PromptResult whenClosed;
};

ButtonSet ButtonsFor(PromptButtons buttons)
{
    using B = QMessageBox;
    using R = PromptResult;
    switch (buttons) {
    case PromptButtons::Ok: return {{B::Ok}, {R::Ok}, R::Ok};
    case PromptButtons::OkCancel: return {{B::Ok, B::Cancel}, {R::Ok, R::Cancel}, R::Cancel};
    case PromptButtons::AbortRetryIgnore:
        return {{B::Abort, B::Retry, B::Ignore}, {R::Abort, R::Retry, R::Ignore}, R::Ignore};
    case PromptButtons::YesNoCancel: return {{B::Yes, B::No, B::Cancel}, {R::Yes, R::No, R::Cancel}, R::Cancel};
    case PromptButtons::YesNo: return {{B::Yes, B::No}, {R::Yes, R::No}, R::No};
    case PromptButtons::RetryCancel: return {{B::Retry, B::Cancel}, {R::Retry, R::Cancel}, R::Cancel};
    }
    return {{B::Ok}, {R::Ok}, R::Ok};
}

QMessageBox::Icon IconFor(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Critical: return QMessageBox::Critical;
    case PromptIcon::Question: return QMessageBox::Question;
    case PromptIcon::Exclamation: return QMessageBox::Warning;
    case PromptIcon::Information: return QMessageBox::Information;
    case PromptIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Prompter& ThePrompter()
{
    if (g_pInstalled) return *g_pInstalled;
    static QtPrompter real;
    return real;
}

void SetPrompter(Prompter* prompter) { g_pInstalled = prompter; }

PromptResult QtPrompter::message(const QString& sTitle, const QString& sText, PromptButtons buttons,
                                 PromptIcon icon, std::optional<PromptResult> defaultButton)
{
    const ButtonSet set = ButtonsFor(buttons);
    QMessageBox box(IconFor(icon), sTitle, sText, QMessageBox::NoButton, QApplication::activeWindow());
    for (auto button : set.buttons) box.addButton(button);
    const qsizetype defaultIndex = defaultButton ? set.results.indexOf(*defaultButton) : -1;
    box.setDefaultButton(set.buttons.at(defaultIndex >= 0 ? defaultIndex : 0));  // else the first, as always
    box.setEscapeButton(QMessageBox::NoButton);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    const qsizetype index = set.buttons.indexOf(pressed);
    return index >= 0 ? set.results[index] : set.whenClosed;
}

std::optional<QString> QtPrompter::input(const QString& sTitle, const QString& sPrompt, const QString& sDefault)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(QApplication::activeWindow(), sTitle, sPrompt, QLineEdit::Normal, sDefault, &ok);
    if (!ok) return std::nullopt;
    return text;
}
