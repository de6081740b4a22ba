#pragma once

#include <QString>
#include <QStringList>

#include "ui/FilePane.h"

#include <QList>
#include <optional>

class FtpComponent;
class PaneHost;
class QWidget;

// Asks for a mode in the permissions dialog (modal, over owner) and, after
// Ok, sends "SITE chmod <mode> <name>" for each selected row in order,
// logging each command and then "Change Permission Complete" or "Error: <the
// server's reply>". A connection failure is logged as "Error: ..." and ends
// the walk. The dialog starts from the permissions of the first row the
// listing gives them for; where it gives none it starts empty, and Ok waits
// for a mode. False when cancelled: nothing was sent.
bool ChangeModeOfSelection(FtpComponent& ftp, const QList<FilePaneRow>& selected, QWidget* owner, PaneHost& host);

namespace ChangeMode {

// The nine boxes' bits, owner read first, other execute last.
inline constexpr int kBoxBits[9] = {0400, 0200, 0100, 040, 020, 010, 04, 02, 01};

// The mode a text holds: one to four octal digits, blanks around them
// ignored. Nothing for anything else (empty, "8", "12345", "-1").
std::optional<int> ModeOfText(const QString& sText);

// A mode as the dialog shows it: octal, at least three digits ("644",
// "000", "4755").
QString TextOfMode(int nMode);

// The mode with one box's bit set or cleared; the other bits, the set-id
// and sticky bits included, stay as they are.
int WithBox(int nMode, int nBit, bool bTicked);

}  // namespace ChangeMode

// The mode to send for the dialog's text: one to four octal digits, blanks
// around them ignored, leading zeros dropped ("0644" gives "644", "000" gives
// "0"). Nothing for anything else.
std::optional<QString> ModeToSend(const QString& sText);
