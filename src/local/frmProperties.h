#pragma once

#include <QDialog>
#include <QFile>

class QLabel;

// A read-only sheet of one local file, folder or link: name, full path, type,
// size, dates, permissions and owner. Esc or Close leaves it.
//
// A folder's size is the number of entries directly inside it (hidden ones
// included); "—" when the folder cannot be read.
class frmProperties final : public QDialog {
    Q_OBJECT
public:
    explicit frmProperties(const QString& sPath, QWidget* parent = nullptr);

    // Opens a non-modal sheet that deletes itself when closed; a path that
    // does not exist (and is not even a dangling link) gets a message instead.
    static void ShowFor(const QString& sPath, QWidget* parent);

    // "rwxr-x---" and "0750" for the owner, group and others bits.
    static QString PermissionText(QFile::Permissions permissions);
    static QString PermissionOctal(QFile::Permissions permissions);

private:
    QLabel* AddRow(const QString& sCaption, const QString& sObjectName, const QString& sText);
};
