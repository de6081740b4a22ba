#include "local/clsLocalPaths.h"

#include "ui/Prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStringList>

#include <algorithm>
#include <memory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#else
#include <QDirIterator>
#endif

namespace {

void Notice(const QString& sText)
{
    ThePrompter().message(QStringLiteral("Kelvo Client ") + QStringLiteral("[Notice]"), sText,
                          PromptButtons::OkCancel, PromptIcon::Critical);
}

#ifdef Q_OS_UNIX
// Local wall-clock time with the offset in force at that moment, from the C
// library: Qt's own local-time conversion costs microseconds per call, too
// slow for folders of many thousand entries.
QDateTime LocalDateTime(time_t secs)
{
    struct tm local {};
    if (!::localtime_r(&secs, &local)) return QDateTime::fromSecsSinceEpoch(secs);
    return QDateTime::fromSecsSinceEpoch(secs, Qt::OffsetFromUTC, int(local.tm_gmtoff));
}

int AttributesOf(const struct stat& st, const char* sName, bool bLink)
{
    int nAttrib = S_ISDIR(st.st_mode) ? LocalAttrib::Directory
                  : S_ISREG(st.st_mode) ? LocalAttrib::Archive
                                        : LocalAttrib::System;
    if ((st.st_mode & S_IWUSR) == 0) nAttrib |= LocalAttrib::ReadOnly;
    if (sName[0] == '.') nAttrib |= LocalAttrib::Hidden;
    if (bLink) nAttrib |= LocalAttrib::ReparsePoint;
    return nAttrib;
}
#endif

bool Exists(const QString& sPath)
{
    const QFileInfo info(sPath);
    return info.exists() || info.isSymLink();
}

// Renames without ever replacing an existing entry: where the kernel can, the
// check and the rename are one step, so nothing that appears meanwhile is lost.
bool RenameNoReplace(const QString& sFrom, const QString& sTo)
{
#ifdef Q_OS_LINUX
    const QByteArray from = QFile::encodeName(sFrom), to = QFile::encodeName(sTo);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;  // else the file system lacks the flag
    return !Exists(sTo) && std::rename(from.constData(), to.constData()) == 0;
#else
    // A case-only change on a case-blind system finds "itself" as the target.
    if (Exists(sTo) && !PathsEqual(sFrom, sTo)) return false;
    return QDir().rename(sFrom, sTo);
#endif
}

// Qt's freedesktop trash wants the home trash folders to exist already:
// without them it can report success after moving the path to "./files"
// below the working folder. Making sure of them first avoids that.
bool HomeTrashReady()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    const QString sTrash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/");
    return QDir().mkpath(sTrash + QStringLiteral("files")) && QDir().mkpath(sTrash + QStringLiteral("info"));
#else
    return true;
#endif
}

bool DeleteForGood(const QString& sPath)
{
    const QFileInfo info(sPath);
    if (info.isDir() && !info.isSymLink()) return QDir(sPath).removeRecursively();
    return QFile::remove(sPath);
}

}  // namespace

void clsLocalPaths::RetrieveLocalFolderContents(const QString& sPath) { ListFolder(sPath, QString()); }

void clsLocalPaths::RetrieveDefinedLocalFolderContents(const QString& sPath, const QString& definedType)
{
    ListFolder(sPath, definedType.isEmpty() ? QStringLiteral("*") : definedType);
}

void clsLocalPaths::LogCannotRead(const QString& sPath)
{
    if (onLogMessage) onLogMessage(QStringLiteral("Cannot read the contents of ") + sPath);
}

void clsLocalPaths::ListFolder(const QString& sPath, const QString& sPattern)
{
    // Entries go out in name order, letter case aside (as the original
    // platform's file systems list them), in batches.
    QList<LocalEntry> entries;
    auto add = [&](LocalEntry&& entry) { entries.append(std::move(entry)); };
    auto flush = [&] {
        std::sort(entries.begin(), entries.end(), [](const LocalEntry& a, const LocalEntry& b) {
            const int order = QString::compare(a.sName, b.sName, Qt::CaseInsensitive);
            return order != 0 ? order < 0 : a.sName < b.sName;
        });
        for (qsizetype i = 0; i < entries.size() && onUpdateLocalEntries; i += kEntryBatch)
            onUpdateLocalEntries(entries.mid(i, kEntryBatch));
        entries.clear();
    };

#ifdef Q_OS_UNIX
    // readdir plus one status call per entry (two for a link whose target is
    // gone): nothing more, so that large folders list quickly.
    const QByteArray pattern = QFile::encodeName(sPattern);
    const QByteArray patternNoDot = pattern.endsWith(".*") ? pattern.chopped(2) : QByteArray();
    auto matches = [&](const char* sName) {
        // Letter case aside, as the original platform matched names.
        return pattern.isEmpty() || ::fnmatch(pattern.constData(), sName, FNM_CASEFOLD) == 0
               || (!patternNoDot.isNull() && ::fnmatch(patternNoDot.constData(), sName, FNM_CASEFOLD) == 0);
    };

    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(QFile::encodeName(sPath).constData()), &::closedir);
    if (!dir) return LogCannotRead(sPath);
    const int fd = ::dirfd(dir.get());
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(dir.get());
        if (!d) {
            if (errno == 0) break;
            flush();
            return LogCannotRead(sPath);
        }
        const char* sName = d->d_name;
        if (std::strcmp(sName, ".") == 0 || std::strcmp(sName, "..") == 0 || !matches(sName)) continue;

        struct stat st {};
        bool bLink = d->d_type == DT_LNK;
        if (d->d_type == DT_UNKNOWN) {
            if (::fstatat(fd, sName, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                flush();
                return LogCannotRead(sPath);
            }
            bLink = S_ISLNK(st.st_mode);
        }
        LocalEntry entry;
        if (::fstatat(fd, sName, &st, 0) == 0) {
            entry.nAttrib = AttributesOf(st, sName, bLink);
        } else {
            // The target cannot be examined (a dangling link, say): the entry
            // is still listed with what the entry itself tells. When even that
            // fails, the folder as a whole cannot be read.
            entry.nAttrib = LocalAttrib::Unreadable;
            if (::fstatat(fd, sName, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                flush();
                return LogCannotRead(sPath);
            }
        }
        entry.sName = QFile::decodeName(sName);
        entry.dtDate = LocalDateTime(st.st_mtime);
        entry.lSize = static_cast<qint64>(st.st_size);
        add(std::move(entry));
    }
#else
    const QFileInfo folder(sPath);
    if (!folder.isDir() || !folder.isReadable()) return LogCannotRead(sPath);
    QStringList filters;
    if (!sPattern.isEmpty()) filters << sPattern;
    if (sPattern.endsWith(QLatin1String(".*"))) filters << sPattern.chopped(2);
    QDirIterator it(sPath, filters, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        LocalEntry entry;
        entry.sName = info.fileName();
        entry.dtDate = info.lastModified();
        entry.lSize = info.size();
        entry.nAttrib = (info.isDir() ? LocalAttrib::Directory : LocalAttrib::Archive)
                        | (info.isHidden() ? LocalAttrib::Hidden : 0) | (info.isWritable() ? 0 : LocalAttrib::ReadOnly)
                        | (info.isSymLink() ? LocalAttrib::ReparsePoint : 0);
        add(std::move(entry));
    }
#endif
    flush();
    if (onAddToLocalPaths) onAddToLocalPaths(sPath);
}

bool IsRealVolumeType(const QByteArray& fsType)
{
    // Kernel interfaces, memory-backed scratch space, read-only package
    // images (snaps) and container layers.
    static const QList<QByteArray> kPseudo = {
        "autofs",  "binfmt_misc", "bpf",      "cgroup",  "cgroup2",         "configfs",    "debugfs",
        "devpts",  "devtmpfs",    "efivarfs", "fusectl", "fuse.gvfsd-fuse", "fuse.portal", "hugetlbfs",
        "mqueue",  "nsfs",        "overlay",  "proc",    "pstore",          "ramfs",       "rootfs",
        "rpc_pipefs", "securityfs", "selinuxfs", "squashfs", "sysfs",       "tmpfs",       "tracefs",
    };
    return !fsType.isEmpty() && !kPseudo.contains(fsType);
}

void clsLocalPaths::RetreiveLogicalDrives()
{
    if (!onLogicalDriveFound) return;
#ifdef Q_OS_WIN
    for (const QFileInfo& drive : QDir::drives()) onLogicalDriveFound(QDir::toNativeSeparators(drive.absoluteFilePath()));
#else
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() || !IsRealVolumeType(volume.fileSystemType())) continue;
        QString root = volume.rootPath();
        // Bind-mounted single files (as containers have) are no folders.
        if (root == QLatin1String("/") || !QFileInfo(root).isDir()) continue;
        if (!root.endsWith(QLatin1Char('/'))) root += QLatin1Char('/');
        if (!roots.contains(root)) roots << root;
    }
    std::sort(roots.begin(), roots.end());
    onLogicalDriveFound(QStringLiteral("/"));
    for (const QString& root : roots) onLogicalDriveFound(root);
#endif
}

void clsLocalPaths::DeleteLocalFile(const QString& sFileToDelete)
{
    const QFileInfo info(sFileToDelete);
    bool bRefused = info.isDir() && !info.isSymLink();  // a folder is no file
#ifdef Q_OS_UNIX
    // Unlinking ignores the file's own permissions; a write-protected file is
    // refused here as Windows refuses a read-only one.
    bRefused = bRefused || (!info.isSymLink() && info.exists() && !(info.permissions() & QFileDevice::WriteOwner));
#endif
    if (bRefused || !QFile::remove(sFileToDelete)) Notice(QStringLiteral("Cannot delete ") + sFileToDelete);
}

void clsLocalPaths::RenameLocalFile(const QString& sCurrentName, const QString& sNewName)
{
    if (!RenameNoReplace(sCurrentName, sNewName)) Notice(QStringLiteral("Cannot rename ") + sCurrentName);
}

void clsLocalPaths::RemoveLocalFolder(const QString& sFolderToDelete)
{
    if (!QDir().rmdir(sFolderToDelete))
        Notice(QStringLiteral("Cannot remove ") + sFolderToDelete
               + QStringLiteral(" ... Folder may contain files or is write protected or is in use! "));
}

void clsLocalPaths::CreateLocalFolder(const QString& sFolderToCreate)
{
    if (!QDir().mkdir(sFolderToCreate)) Notice(QStringLiteral("Cannot create ") + sFolderToCreate);
}

void clsLocalPaths::SendToRecycleBin(const QString& sPath, int flags)
{
    const QFileInfo info(sPath);
    const bool bFolder = info.isDir() && !info.isSymLink();
    const bool bUndo = (flags & RecycleFlags::AllowUndo) != 0;
    const QString sTitle = bFolder ? QStringLiteral("Delete Folder") : QStringLiteral("Delete File");
    if (!Exists(sPath)) return Notice(QStringLiteral("Cannot delete ") + sPath);

    if (!(flags & RecycleFlags::NoConfirmation)) {
        const QString sQuestion = bUndo ? QStringLiteral("Are you sure you want to move '%1' to the Trash?")
                                        : QStringLiteral("Are you sure you want to permanently delete '%1'?");
        // Moving to the Trash can be undone; deleting for good cannot.
        const bool bYes = bUndo ? ThePrompter().message(sTitle, sQuestion.arg(sPath), PromptButtons::YesNo,
                                                        PromptIcon::Question) == PromptResult::Yes
                                : ConfirmDestruction(sTitle, sQuestion.arg(sPath));
        if (!bYes) return;
    }
    if (bUndo) {
        QString sInTrash;
        if (HomeTrashReady() && QFile::moveToTrash(sPath, &sInTrash)) {
            if (QDir::isAbsolutePath(sInTrash)) return;
            RenameNoReplace(sInTrash, sPath);  // misplaced after all: put it back
        }
        // No trash on that volume (or none that can be written): never fall
        // back to deleting for good without the user's word.
        const QString sText = QStringLiteral("'%1' cannot be moved to the Trash. Delete it permanently?").arg(sPath);
        if (!ConfirmDestruction(sTitle, sText, PromptIcon::Exclamation)) return;
    }
    if (!DeleteForGood(sPath)) Notice(QStringLiteral("Cannot delete ") + sPath);
}

QString NormalizedPathForCompare(const QString& sPath)
{
#ifdef Q_OS_WIN
    return sPath.toUpper();
#else
    return sPath;
#endif
}

bool PathsEqual(const QString& a, const QString& b) { return NormalizedPathForCompare(a) == NormalizedPathForCompare(b); }
