#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class FtpComponent;
class QWidget;

// Asks for a mode in the permissions dialog (modal, over owner) and, after
// Ok, sends "SITE chmod <mode> <name>" for each name in order, logging each
// command through displayMessage and then "Change Permission Complete" or
// "Error: <the server's reply>". A connection failure is logged as
// "Error: ..." and ends the walk.
//
// Cancel ends everything: nothing is sent and afterwards is not called. A
// mode that is not one to four octal digits gets a message and ends the same
// way. Otherwise afterwards (clear the status text, refresh the remote pane)
// runs once the walk is over, also when there was nothing selected or the
// walk stopped on an error.
void ChangeModeOfSelection(FtpComponent& ftp, const QStringList& selectedNames, QWidget* owner,
                           const std::function<void(const QString&)>& displayMessage,
                           const std::function<void()>& afterwards);

// The mode to send for the dialog's text: one to four octal digits, blanks
// around them ignored, leading zeros dropped ("0644" gives "644", "000" gives
// "0"). Nothing for anything else.
std::optional<QString> ModeToSend(const QString& sText);
