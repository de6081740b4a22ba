#pragma once

#include <QString>

class CRegister;

// The Options window's boxes that start-up consults next to the stored
// settings (a setting counts as on when either says so).
struct OptionsBoxes {
    bool bAddToStartup = false;
    bool bDeleteLogOnStartup = false;
    bool bDeleteLogIfSizeExceeds = false;
    bool bSaveWindowPosition = false;
    bool bSaveWindowSize = false;
};

namespace StartupRules {

// "ADD TO STARTUP" is 1, or the box is ticked.
bool WantsStartupEntry(const CRegister& reg, const OptionsBoxes& boxes);

// Settles the protocol log file: stores "FTP.LOG" as its name when none is
// stored, deletes the file when the user asked for that on every start, or
// when it has grown past the stored limit (kilobytes of 1000 bytes, "1000"
// stored when none is). Failures to delete are ignored. Returns the file's
// full path, for the FTP component.
QString PrepareLogFile(const CRegister& reg, const OptionsBoxes& boxes);

// Whether the main window applies stored position and size at start-up.
bool AppliesPosition(const CRegister& reg, const OptionsBoxes& boxes);
bool AppliesSize(const CRegister& reg, const OptionsBoxes& boxes);

// Creates "Download", "Profiles" and "Log" in the program's folder, in this
// order, where they do not exist yet. Failures raise nothing.
void CreateProgramFolders();

// How the main window starts. "/STARTUP" anywhere in the command line, in
// any letter case, starts it hidden, so that only the tray icon shows; where
// there is no tray icon to bring it back it starts minimised instead.
enum class Visibility { Shown, Hidden, Minimised };
Visibility StartupVisibility(const QString& sCommandLine, bool bTrayIconShown);

}  // namespace StartupRules
