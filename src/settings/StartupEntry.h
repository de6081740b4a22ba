#pragma once

#include <QString>

class CRegister;

// The entry that starts the program hidden when the user logs in: the value
// "KELVO" in the current user's Run key, holding the program's path followed
// by " /STARTUP", and on Linux desktops also an XDG autostart file that runs
// the same command.
namespace StartupEntry {

QString Command();                // "<executable path> /STARTUP"
QString AutostartFilePath();      // $XDG_CONFIG_HOME (or ~/.config) + "/autostart/kelvo.desktop"
QString DesktopFileText(const QString& sExecutable);

bool Write(const CRegister& reg);   // true when both were written
bool Remove(const CRegister& reg);  // true when the registry value was deleted

}  // namespace StartupEntry
