#pragma once

#include "ui/Prompter.h"

// Shows QMessageBox and QInputDialog boxes over the active window.
class QtPrompter final : public Prompter {
public:
    PromptResult message(const QString& sTitle, const QString& sText, PromptButtons buttons, PromptIcon icon,
                         std::optional<PromptResult> defaultButton = std::nullopt) override;
    std::optional<QString> input(const QString& sTitle, const QString& sPrompt, const QString& sDefault) override;
};
