#pragma once

#include <QString>

#include <optional>

// Every message box and input box of the program goes through the current
// Prompter, so that tests can answer them and read back their exact texts.
// The values follow the classic message-box constants.
enum class PromptButtons { Ok = 0, OkCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5 };
enum class PromptIcon { None = 0, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };
enum class PromptResult { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

class Prompter {
public:
    virtual ~Prompter() = default;
    // Shows a message and returns the button pressed; closing the box counts
    // as Cancel where there is one, else as the only or last button. The
    // first button is the default (Enter) unless defaultButton names another.
    virtual PromptResult message(const QString& sTitle, const QString& sText, PromptButtons buttons, PromptIcon icon,
                                 std::optional<PromptResult> defaultButton = std::nullopt) = 0;
    // Asks for a line of text; nothing when the user cancels.
    virtual std::optional<QString> input(const QString& sTitle, const QString& sPrompt,
                                         const QString& sDefault) = 0;
};

// The prompter in use: the one installed with SetPrompter, else the one that
// shows real dialog boxes.
Prompter& ThePrompter();

// A Yes/No question whose Yes destroys data: No is the default, so that Enter
// never deletes anything.
inline bool ConfirmDestruction(const QString& sTitle, const QString& sQuestion, PromptIcon icon = PromptIcon::Question)
{
    return ThePrompter().message(sTitle, sQuestion, PromptButtons::YesNo, icon, PromptResult::No) == PromptResult::Yes;
}
// Installs `prompter` (nullptr goes back to the real dialog boxes). The caller
// keeps ownership.
void SetPrompter(Prompter* prompter);
