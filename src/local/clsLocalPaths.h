#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// Attribute bits of a listed entry, numbered as the Windows file attributes
// the local pane was designed around. On Unix-like systems they are derived
// from the entry's status (links followed):
//   ReadOnly     the owner's write permission is clear
//   Hidden       the name starts with "."
//   System       a device, FIFO or socket
//   Directory    a folder
//   Archive      a regular file (Windows marks ordinary files so)
//   ReparsePoint the entry itself is a symbolic link
// Unreadable (-1) stands alone: the entry's target could not be examined
// (a dangling link, for example); it is still listed.
namespace LocalAttrib {
constexpr int Unreadable = -1;
constexpr int ReadOnly = 1;
constexpr int Hidden = 2;
constexpr int System = 4;
constexpr int Directory = 16;
constexpr int Archive = 32;
constexpr int ReparsePoint = 1024;
}  // namespace LocalAttrib

// Flags of SendToRecycleBin, the values of the Windows shell's file operation.
namespace RecycleFlags {
constexpr int NoConfirmation = 16;  // do not ask before deleting
constexpr int AllowUndo = 64;       // to the trash; without it the path is deleted for good
}  // namespace RecycleFlags

struct LocalEntry {
    QString sName;      // bare entry name
    QDateTime dtDate;   // last modified, as local wall-clock time (fixed offset from UTC)
    qint64 lSize = 0;   // bytes; for a folder what the file system reports
    int nAttrib = 0;    // LocalAttrib bits, or LocalAttrib::Unreadable
};

// The one component that touches the local file system for the local pane.
// It keeps no state between calls; every call is synchronous and delivers its
// results through the callbacks before it returns. Folder paths end with the
// separator ("/" here, "\" on Windows); a drive root is such a folder too.
class clsLocalPaths {
public:
    // Entries are handed over in enumeration order, in batches of at most
    // kEntryBatch; a batch is delivered before the next one is read.
    static constexpr int kEntryBatch = 1000;

    std::function<void(const QList<LocalEntry>&)> onUpdateLocalEntries;
    // The folder was listed to its end (the path exactly as passed in).
    std::function<void(const QString& sPathToAdd)> onAddToLocalPaths;
    std::function<void(const QString& sDriveToAdd)> onLogicalDriveFound;
    // A line for the connection log.
    std::function<void(const QString& sMessage)> onLogMessage;

    void RetrieveLocalFolderContents(const QString& sPath);
    // Only the entries, files and folders alike, whose names match the
    // wildcard pattern ("*.gif"); a pattern ending in ".*" also matches names
    // without a dot, as "*.*" does on Windows. Letter case counts on Unix.
    void RetrieveDefinedLocalFolderContents(const QString& sPath, const QString& definedType);
    // "/" first, then the roots of other mounted, ready, real volumes in
    // alphabetical order (on Windows the drive roots).
    void RetreiveLogicalDrives();

    // Single-item operations: a failure shows its message box and changes
    // nothing else.
    void DeleteLocalFile(const QString& sFileToDelete);
    void RenameLocalFile(const QString& sCurrentName, const QString& sNewName);
    void RemoveLocalFolder(const QString& sFolderToDelete);
    void CreateLocalFolder(const QString& sFolderToCreate);

    // Moves a file or folder to the user's trash after asking (unless flags
    // hold NoConfirmation). Where the volume has no trash it says so and
    // offers to delete the path for good instead.
    static void SendToRecycleBin(const QString& sPath, int flags);

private:
    void ListFolder(const QString& sPath, const QString& sPattern);
    void LogCannotRead(const QString& sPath);
};

// Whether a mounted file system of this type is a volume the user keeps files
// on (ext4, xfs, vfat, ...) rather than a kernel or packaging pseudo file
// system (proc, sysfs, tmpfs, squashfs, overlay, ...).
bool IsRealVolumeType(const QByteArray& fsType);

// Paths as the program compares them: upper-cased on Windows, whose file
// names ignore case, and unchanged elsewhere.
QString NormalizedPathForCompare(const QString& sPath);
bool PathsEqual(const QString& a, const QString& b);
