#pragma once

#include "ui/Prompter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

// Answers message and input boxes from a script, in turn, and records every
// box it was shown. A box that the script did not expect fails the test by
// throwing, so a surprise question cannot go unnoticed.
class ScriptedPrompter final : public Prompter {
public:
    struct Shown {
        bool bInput = false;
        QString sTitle, sText, sDefault;
        PromptButtons buttons = PromptButtons::Ok;
        PromptIcon icon = PromptIcon::None;
        std::optional<PromptResult> defaultButton;
    };

    void AnswerMessage(PromptResult result) { m_script.append(Answer{false, result, {}}); }
    void AnswerInput(std::optional<QString> text) { m_script.append(Answer{true, PromptResult::Ok, std::move(text)}); }

    const QList<Shown>& shown() const { return m_shown; }
    bool ScriptDone() const { return m_script.isEmpty(); }

    PromptResult message(const QString& sTitle, const QString& sText, PromptButtons buttons, PromptIcon icon,
                         std::optional<PromptResult> defaultButton = std::nullopt) override
    {
        m_shown.append(Shown{false, sTitle, sText, {}, buttons, icon, defaultButton});
        return Next(false, sTitle, sText).result;
    }
    std::optional<QString> input(const QString& sTitle, const QString& sPrompt, const QString& sDefault) override
    {
        m_shown.append(Shown{true, sTitle, sPrompt, sDefault, PromptButtons::OkCancel, PromptIcon::None, std::nullopt});
        return Next(true, sTitle, sPrompt).text;
    }

private:
    struct Answer {
        bool bInput;
        PromptResult result;
        std::optional<QString> text;
    };
    Answer Next(bool bInput, const QString& sTitle, const QString& sText)
    {
        if (m_script.isEmpty() || m_script.first().bInput != bInput)
            throw std::logic_error(QStringLiteral("unexpected %1 \"%2\": \"%3\"")
                                       .arg(bInput ? QStringLiteral("input box") : QStringLiteral("message box"),
                                            sTitle, sText)
                                       .toStdString());
        return m_script.takeFirst();
    }

    QList<Answer> m_script;
    QList<Shown> m_shown;
};

// Installs a prompter for the lifetime of the object.
class ScopedPrompter {
public:
    explicit ScopedPrompter(Prompter& prompter) { SetPrompter(&prompter); }
    ~ScopedPrompter() { SetPrompter(nullptr); }
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;
};
