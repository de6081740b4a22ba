#include "local/frmFindFiles.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Entries looked at per timer tick: small enough that the window answers
// between slices, large enough that the walk is not slowed by the event loop.
constexpr int kEntriesPerSlice = 1000;
constexpr int kPathRole = Qt::UserRole;

enum Column { ColName, ColFolder, ColSize, ColModified };

}  // namespace

frmFindFiles::frmFindFiles(const QString& sStartFolder, QWidget* parent)
    : QDialog(parent), m_sStartFolder(QDir::cleanPath(QDir(sStartFolder).absolutePath())),
      m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("frmFindFiles"));
    setWindowTitle(QStringLiteral("Find Files"));
    resize(640, 420);

    auto* captionPattern = new QLabel(QStringLiteral("&Named:"), this);
    txtPattern = new QLineEdit(QStringLiteral("*"), this);
    txtPattern->setObjectName(QStringLiteral("txtPattern"));
    txtPattern->setToolTip(QStringLiteral("Wildcards * and ?; several patterns separated by ';'"));
    captionPattern->setBuddy(txtPattern);
    auto* captionLookIn = new QLabel(QStringLiteral("Look in:"), this);
    lblLookIn = new QLabel(QDir::toNativeSeparators(m_sStartFolder), this);
    lblLookIn->setObjectName(QStringLiteral("lblLookIn"));
    lblLookIn->setTextFormat(Qt::PlainText);
    chkSubfolders = new QCheckBox(QStringLiteral("Search &subfolders"), this);
    chkSubfolders->setObjectName(QStringLiteral("chkSubfolders"));
    chkSubfolders->setChecked(true);

    cmdFind = new QPushButton(QStringLiteral("&Find"), this);
    cmdFind->setObjectName(QStringLiteral("cmdFind"));
    cmdFind->setDefault(true);
    cmdStop = new QPushButton(QStringLiteral("S&top"), this);
    cmdStop->setObjectName(QStringLiteral("cmdStop"));
    cmdShowFolder = new QPushButton(QStringLiteral("Show f&older"), this);
    cmdShowFolder->setObjectName(QStringLiteral("cmdShowFolder"));
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton* button : {cmdStop, cmdShowFolder, cmdClose}) button->setAutoDefault(false);

    lstResults = new QTreeWidget(this);
    lstResults->setObjectName(QStringLiteral("lstResults"));
    lstResults->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Folder"), QStringLiteral("Size"),
                                 QStringLiteral("Modified")});
    lstResults->setRootIsDecorated(false);
    lstResults->setUniformRowHeights(true);
    lstResults->setSelectionMode(QAbstractItemView::SingleSelection);
    lstResults->installEventFilter(this);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));

    auto* grid = new QGridLayout;
    grid->addWidget(captionPattern, 0, 0);
    grid->addWidget(txtPattern, 0, 1);
    grid->addWidget(captionLookIn, 1, 0);
    grid->addWidget(lblLookIn, 1, 1);
    grid->addWidget(chkSubfolders, 2, 1);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {cmdFind, cmdStop, cmdShowFolder, cmdClose}) buttons->addWidget(button);
    buttons->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(grid, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lstResults, 1);
    layout->addWidget(lblStatus);

    m_timer = new QTimer(this);
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &frmFindFiles::SearchSlice);
    connect(cmdFind, &QPushButton::clicked, this, &frmFindFiles::StartSearch);
    connect(cmdStop, &QPushButton::clicked, this, &frmFindFiles::StopSearch);
    connect(cmdShowFolder, &QPushButton::clicked, this, &frmFindFiles::ShowResultFolder);
    connect(cmdClose, &QPushButton::clicked, this, &frmFindFiles::reject);
    connect(lstResults, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { OpenResult(item); });
    connect(lstResults, &QTreeWidget::currentItemChanged, this, &frmFindFiles::UpdateButtons);
    UpdateButtons();
}

frmFindFiles::~frmFindFiles() = default;

bool frmFindFiles::IsSearching() const
{
    return m_walk != nullptr;
}

QList<QRegularExpression> frmFindFiles::CompilePatterns(const QString& sPatterns)
{
    QList<QRegularExpression> patterns;
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    const auto options = QRegularExpression::CaseInsensitiveOption;
#else
    const auto options = QRegularExpression::NoPatternOption;
#endif
    for (const QString& sPart : sPatterns.split(QLatin1Char(';'))) {
        const QString sPattern = sPart.trimmed();
        if (sPattern.isEmpty()) continue;
        patterns.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(sPattern), options));
    }
    // No pattern at all means every file, as the box's default does.
    if (patterns.isEmpty())
        patterns.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(QStringLiteral("*"))));
    return patterns;
}

bool frmFindFiles::NameMatches(const QString& sName, const QString& sPatterns)
{
    const QList<QRegularExpression> patterns = CompilePatterns(sPatterns);
    return std::any_of(patterns.cbegin(), patterns.cend(),
                       [&](const QRegularExpression& pattern) { return pattern.match(sName).hasMatch(); });
}

void frmFindFiles::StartSearch()
{
    StopSearch();
    lstResults->clear();
    if (!QFileInfo(m_sStartFolder).isDir()) {
        lblStatus->setText(QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(m_sStartFolder)));
        Q_EMIT SearchFinished();
        return;
    }
    m_patterns = CompilePatterns(txtPattern->text());
    // Without FollowSymlinks the walk never enters a linked folder; folders
    // it cannot open simply yield no entries.
    const QDirIterator::IteratorFlags flags =
        chkSubfolders->isChecked() ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags;
    m_walk = std::make_unique<QDirIterator>(m_sStartFolder, QDir::Files | QDir::Hidden | QDir::System, flags);
    lblStatus->setText(QStringLiteral("Searching\u2026"));
    UpdateButtons();
    m_timer->start();
}

void frmFindFiles::SearchSlice()
{
    if (!m_walk) return;
    QList<QTreeWidgetItem*> batch;
    const qsizetype already = lstResults->topLevelItemCount();
    bool bLimit = false;
    for (int i = 0; i < kEntriesPerSlice && m_walk->hasNext(); ++i) {
        m_walk->next();
        const QFileInfo info = m_walk->fileInfo();
        const QString sName = info.fileName();
        if (!std::any_of(m_patterns.cbegin(), m_patterns.cend(),
                         [&](const QRegularExpression& pattern) { return pattern.match(sName).hasMatch(); }))
            continue;
        auto* item = new QTreeWidgetItem;
        item->setText(ColName, sName);
        item->setText(ColFolder, QDir::toNativeSeparators(info.absolutePath()));
        item->setText(ColSize, QLocale().toString(info.size()));
        item->setTextAlignment(ColSize, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(ColModified, info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        item->setData(ColName, kPathRole, info.absoluteFilePath());
        batch.append(item);
        if (already + batch.size() >= m_resultLimit) {
            bLimit = true;
            break;
        }
    }
    lstResults->addTopLevelItems(batch);
    const qsizetype total = lstResults->topLevelItemCount();
    if (!batch.isEmpty()) Q_EMIT ResultsAdded(total);
    if (!m_walk) return;  // stopped from a ResultsAdded handler
    if (bLimit) {
        EndSearch(QStringLiteral("Stopped at %1 files; narrow the pattern to see the rest.")
                      .arg(QLocale().toString(total)));
    } else if (!m_walk->hasNext()) {
        EndSearch(total == 1 ? QStringLiteral("1 file found.")
                             : QStringLiteral("%1 files found.").arg(QLocale().toString(total)));
    } else {
        lblStatus->setText(QStringLiteral("Searching\u2026 %1 found").arg(QLocale().toString(total)));
    }
}

void frmFindFiles::StopSearch()
{
    if (!m_walk) return;
    EndSearch(QStringLiteral("Stopped: %1 files found.").arg(QLocale().toString(lstResults->topLevelItemCount())));
}

void frmFindFiles::EndSearch(const QString& sStatus)
{
    m_timer->stop();
    m_walk.reset();
    lblStatus->setText(sStatus);
    UpdateButtons();
    Q_EMIT SearchFinished();
}

void frmFindFiles::UpdateButtons()
{
    cmdFind->setEnabled(!IsSearching());
    cmdStop->setEnabled(IsSearching());
    cmdShowFolder->setEnabled(lstResults->currentItem() != nullptr);
}

QStringList frmFindFiles::ResultPaths() const
{
    QStringList paths;
    for (int i = 0; i < lstResults->topLevelItemCount(); ++i)
        paths.append(lstResults->topLevelItem(i)->data(ColName, kPathRole).toString());
    return paths;
}

void frmFindFiles::OpenResult(QTreeWidgetItem* item)
{
    if (item && m_opener) m_opener(QUrl::fromLocalFile(item->data(ColName, kPathRole).toString()));
}

void frmFindFiles::ShowResultFolder()
{
    const QTreeWidgetItem* item = lstResults->currentItem();
    if (item && m_opener)
        m_opener(QUrl::fromLocalFile(QFileInfo(item->data(ColName, kPathRole).toString()).absolutePath()));
}

bool frmFindFiles::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on a result opens it; left to the dialog it would also press Find.
    if (watched == lstResults && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && lstResults->currentItem()) {
            OpenResult(lstResults->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmFindFiles::reject()
{
    StopSearch();
    QDialog::reject();
}
