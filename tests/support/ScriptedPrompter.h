#pragma once

#include "ui/Prompter.h"

#include <QList>
#include <QString>

#include <optional>
#include <stdexcept>

// Answers message boxes from a script, in turn, and records every box shown.
// A box the script did not expect (and any input box) fails the test by
// throwing, so a surprise question cannot go unnoticed.
class ScriptedPrompter final : public Prompter {
public:
    struct Shown {
        QString sTitle, sText;
        PromptButtons buttons;
        PromptIcon icon;
    };

    void AnswerMessage(PromptResult result) { m_script.append(result); }
    const QList<Shown>& shown() const { return m_shown; }
    bool ScriptDone() const { return m_script.isEmpty(); }

    PromptResult message(const QString& sTitle, const QString& sText, PromptButtons buttons, PromptIcon icon,
                         std::optional<PromptResult> = std::nullopt) override
    {
        m_shown.append(Shown{sTitle, sText, buttons, icon});
        if (m_script.isEmpty()) Unexpected("message box", sTitle, sText);
        return m_script.takeFirst();
    }
    std::optional<QString> input(const QString& sTitle, const QString& sPrompt, const QString&) override
    {
        Unexpected("input box", sTitle, sPrompt);
    }

private:
    [[noreturn]] static void Unexpected(const char* sKind, const QString& sTitle, const QString& sText)
    {
        throw std::logic_error(QStringLiteral("unexpected %1 \"%2\": \"%3\"").arg(QLatin1String(sKind), sTitle, sText).toStdString());
    }

    QList<PromptResult> m_script;
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
