#include "local/frmProperties.h"

#include "ui/Prompter.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kDash = QStringLiteral("\u2014");

QString DateText(const QDateTime& when)
{
    return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("unknown");
}

QString TypeText(const QFileInfo& info)
{
    if (info.isSymLink()) {
        QString sText = QStringLiteral("Link \u2192 ") + QDir::toNativeSeparators(info.symLinkTarget());
        if (!info.exists()) sText += QStringLiteral(" (missing)");
        return sText;
    }
    if (info.isDir()) return QStringLiteral("Folder");
    if (info.isFile()) {
        const QString sSuffix = info.suffix();
        return sSuffix.isEmpty() ? QStringLiteral("File") : QStringLiteral("File (.%1)").arg(sSuffix);
    }
    return QStringLiteral("Special file");
}

QString SizeText(const QFileInfo& info)
{
    if (!info.exists()) return kDash;
    if (info.isDir()) {
        QDir dir(info.absoluteFilePath());
        if (!dir.isReadable()) return kDash;
        const qsizetype count =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size();
        return count == 1 ? QStringLiteral("1 item") : QStringLiteral("%1 items").arg(QLocale().toString(count));
    }
    const qint64 size = info.size();
    const QString sBytes = size == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(QLocale().toString(size));
    if (size < 1024) return sBytes;
    return QStringLiteral("%1 (%2)").arg(QLocale().formattedDataSize(size), sBytes);
}

// A name when the system knows one, else the number; Qt gives -2 when the
// entry has no owner (a dangling link).
QString IdText(const QString& sName, uint id)
{
    if (id == uint(-2)) return kDash;
    return sName.isEmpty() ? QString::number(id) : QStringLiteral("%1 (%2)").arg(sName).arg(id);
}

}  // namespace

frmProperties::frmProperties(const QString& sPath, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmProperties"));
    const QFileInfo info(sPath);
    const QString sFull = QDir::toNativeSeparators(info.absoluteFilePath());
    const QString sName = info.fileName().isEmpty() ? sFull : info.fileName();
    setWindowTitle(QStringLiteral("Properties of ") + sName);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    setLayout(layout);

    AddRow(QStringLiteral("Name:"), QStringLiteral("lblName"), sName);
    AddRow(QStringLiteral("Full path:"), QStringLiteral("lblPath"), sFull)->setWordWrap(true);
    AddRow(QStringLiteral("Type:"), QStringLiteral("lblType"), TypeText(info))->setWordWrap(true);
    AddRow(QStringLiteral("Size:"), QStringLiteral("lblSize"), SizeText(info));
    // These follow a link to its target; a dangling link has none.
    const bool bExists = info.exists();
    AddRow(QStringLiteral("Created:"), QStringLiteral("lblCreated"), DateText(bExists ? info.birthTime() : QDateTime()));
    AddRow(QStringLiteral("Modified:"), QStringLiteral("lblModified"),
           DateText(bExists ? info.lastModified() : QDateTime()));
    AddRow(QStringLiteral("Accessed:"), QStringLiteral("lblAccessed"), DateText(bExists ? info.lastRead() : QDateTime()));
    const QFile::Permissions permissions = info.permissions();
    AddRow(QStringLiteral("Permissions:"), QStringLiteral("lblPermissions"),
           bExists ? QStringLiteral("%1 (%2)").arg(PermissionText(permissions), PermissionOctal(permissions)) : kDash);
    AddRow(QStringLiteral("Owner:"), QStringLiteral("lblOwner"), IdText(info.owner(), info.ownerId()));
    AddRow(QStringLiteral("Group:"), QStringLiteral("lblGroup"), IdText(info.group(), info.groupId()));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QLabel* frmProperties::AddRow(const QString& sCaption, const QString& sObjectName, const QString& sText)
{
    auto* form = static_cast<QFormLayout*>(layout()->itemAt(0)->layout());
    auto* caption = new QLabel(sCaption, this);
    caption->setObjectName(sObjectName + QStringLiteral("Caption"));
    auto* value = new QLabel(sText, this);
    value->setObjectName(sObjectName);
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(caption, value);
    return value;
}

void frmProperties::ShowFor(const QString& sPath, QWidget* parent)
{
    const QFileInfo info(sPath);
    if (sPath.isEmpty() || (!info.exists() && !info.isSymLink())) {
        ThePrompter().message(QStringLiteral("Kelvo - Properties"),
                              QStringLiteral("Cannot show the properties of ") + QDir::toNativeSeparators(sPath) +
                                  QStringLiteral(": it does not exist."),
                              PromptButtons::Ok, PromptIcon::Exclamation);
        return;
    }
    auto* sheet = new frmProperties(sPath, parent);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->show();
}

QString frmProperties::PermissionText(QFile::Permissions permissions)
{
    static const QFile::Permission kBits[9] = {
        QFile::ReadOwner, QFile::WriteOwner, QFile::ExeOwner, QFile::ReadGroup, QFile::WriteGroup,
        QFile::ExeGroup,  QFile::ReadOther,  QFile::WriteOther, QFile::ExeOther};
    static const char kLetters[] = "rwx";
    QString sText;
    for (int i = 0; i < 9; ++i) sText += permissions.testFlag(kBits[i]) ? QLatin1Char(kLetters[i % 3]) : QLatin1Char('-');
    return sText;
}

QString frmProperties::PermissionOctal(QFile::Permissions permissions)
{
    // Each class is one octal digit: read 4, write 2, execute 1.
    const auto digit = [&](QFile::Permission r, QFile::Permission w, QFile::Permission x) {
        return (permissions.testFlag(r) ? 4 : 0) + (permissions.testFlag(w) ? 2 : 0) + (permissions.testFlag(x) ? 1 : 0);
    };
    return QStringLiteral("0%1%2%3")
        .arg(digit(QFile::ReadOwner, QFile::WriteOwner, QFile::ExeOwner))
        .arg(digit(QFile::ReadGroup, QFile::WriteGroup, QFile::ExeGroup))
        .arg(digit(QFile::ReadOther, QFile::WriteOther, QFile::ExeOther));
}
