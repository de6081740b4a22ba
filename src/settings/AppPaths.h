#pragma once

#include <QString>

// The folder that holds the program's own files ("Download", "Profiles",
// "Log" and the log file), with exactly one trailing separator:
// $KELVO_HOME when set; else the executable's folder when it is writable;
// else the per-user data folder ("kelvo" in the user's data location), so
// that an installed copy in a read-only folder still has somewhere to keep
// its files.
QString AppFolder();

// AppFolder() followed by the relative name sName.
QString GetAppFilePath(const QString& sName);

// The running executable's full path, for entries that start the program.
QString ExecutablePath();
