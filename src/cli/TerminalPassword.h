#pragma once

#include <QString>

#include <optional>

// Asks for a password on the controlling terminal (not standard input, which
// may carry a script), without echoing what is typed. Nothing when there is
// no terminal to ask on.
std::optional<QString> ReadPasswordFromTerminal(const QString& sPrompt);

// Asks a question on the controlling terminal, with echo; nothing when there
// is no terminal.
std::optional<QString> ReadAnswerFromTerminal(const QString& sPrompt);
