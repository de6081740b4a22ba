#include "ui/FilePane.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QLocale>
#include <QMimeData>
#include <QPointer>
#include <QSet>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

// The panes alive in this process: a drop trusts the source pane named in
// its data only when that pane still exists.
QSet<const FilePane*>& LivePanes()
{
    static QSet<const FilePane*> panes;
    return panes;
}

// Case-insensitive order of two texts, as QString::compare with
// Qt::CaseInsensitive gives it for the Basic Multilingual Plane, with a quick
// path for ASCII: big sorted lists spend most of their time here.
int CompareNoCase(const QString& a, const QString& b)
{
    const QChar* pa = a.constData();
    const QChar* pb = b.constData();
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = pa[i].unicode();
        char16_t y = pb[i].unicode();
        if (x == y) continue;
        if (x < 128 && y < 128) {
            if (x >= u'A' && x <= u'Z') x += 32;
            if (y >= u'A' && y <= u'Z') y += 32;
        } else {
            x = QChar::toCaseFolded(x);
            y = QChar::toCaseFolded(y);
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

// The flat row list behind all views of a pane.
class FilePaneModel : public QAbstractItemModel {
public:
    explicit FilePaneModel(FilePane* pane) : QAbstractItemModel(pane), m_pane(pane) {}

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override
    {
        if (parent.isValid() || row < 0 || row >= m_rows.size() || column < 0 || column >= FilePane::ColumnCount)
            return {};
        return createIndex(row, column);
    }
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : FilePane::ColumnCount;
    }
    bool hasChildren(const QModelIndex& parent = {}) const override { return !parent.isValid() && !m_rows.isEmpty(); }

    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Drops are copies: a move would make the dragging view remove its rows.
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    QStringList mimeTypes() const override
    {
        return {QLatin1String(FilePane::MimeType), QStringLiteral("text/uri-list")};
    }
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    FilePane::DropKind Classify(const QMimeData* data, FilePane** source, QList<int>* rows, QStringList* files) const;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    int Insert(FilePaneRow row);
    void InsertBatch(QList<FilePaneRow> rows);
    void Clear();
    void SetText(int row, const QString& text);
    // Rows before sortedUpTo, and those from it on, are each in order already.
    void Resort(int sortedUpTo = 0);

    QList<FilePaneRow> m_rows;
    QList<QIcon> m_icons;
    bool m_sorted = false;
    int m_key = FilePane::NameColumn;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    bool m_byValue = false;
    quint64 m_generation = 0;  // changes whenever rows move, appear or vanish

private:
    QString KeyText(const FilePaneRow& row) const { return m_key == FilePane::NameColumn ? row.text() : row.subItem(m_key); }
    bool Less(const FilePaneRow& a, const FilePaneRow& b) const
    {
        if (m_byValue && m_key == FilePane::SizeColumn) return a.size < b.size;
        if (m_byValue && m_key == FilePane::DateColumn) return a.date() < b.date();
        return CompareNoCase(KeyText(a), KeyText(b)) < 0;
    }
    bool Before(const FilePaneRow& a, const FilePaneRow& b) const
    {
        return m_order == Qt::AscendingOrder ? Less(a, b) : Less(b, a);
    }

    FilePane* m_pane;
};

QString FilePaneRow::subItem(int n) const
{
    switch (n) {
    case FilePane::SizeColumn: return shownSize >= 0 ? QString::number(shownSize) : QString();
    case FilePane::DateColumn: return date().isValid() ? QLocale().toString(date(), QLocale::ShortFormat) : QString();
    case FilePane::KindColumn: return QString(QChar(kindLetter));
    default: return {};
    }
}

QVariant FilePaneModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) return {};
    const FilePaneRow& row = m_rows.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return index.column() == FilePane::NameColumn ? row.text() : row.subItem(index.column());
    if (role == Qt::DecorationRole && index.column() == FilePane::NameColumn && row.smallIcon >= 1
        && row.smallIcon <= m_icons.size())
        return m_icons.at(row.smallIcon - 1);
    return {};
}

QVariant FilePaneModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case FilePane::NameColumn: return QStringLiteral("Name");
    case FilePane::SizeColumn: return QStringLiteral("Size");
    case FilePane::DateColumn: return QStringLiteral("Date");
    default: return QString();
    }
}

Qt::ItemFlags FilePaneModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (index.column() == FilePane::NameColumn) flags |= Qt::ItemIsEditable;
    return flags;
}

bool FilePaneModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != FilePane::NameColumn || role != Qt::EditRole) return false;
    return m_pane->CommitLabelEdit(index.row(), value.toString());
}

QMimeData* FilePaneModel::mimeData(const QModelIndexList& indexes) const
{
    QList<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid()) rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty()) return nullptr;

    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << qint64(QCoreApplication::applicationPid()) << quint64(quintptr(m_pane)) << rows;
    QStringList names;
    names.reserve(rows.size());
    for (int row : std::as_const(rows)) names.append(m_rows.at(row).text());

    auto* data = new QMimeData;
    data->setData(QLatin1String(FilePane::MimeType), payload);
    // Plain text too: a pane takes a drop only when the data offers text.
    data->setText(names.join(QLatin1Char('\n')));
    return data;
}

// The live pane of this process whose rows the data names, with the rows;
// null for data from elsewhere.
static FilePane* SourcePane(const QMimeData* data, QList<int>* rows)
{
    if (!data || !data->hasFormat(QLatin1String(FilePane::MimeType))) return nullptr;
    QDataStream in(data->data(QLatin1String(FilePane::MimeType)));
    qint64 pid = 0;
    quint64 pane = 0;
    QList<int> named;
    in >> pid >> pane >> named;
    if (in.status() != QDataStream::Ok || pid != QCoreApplication::applicationPid()) return nullptr;
    auto* source = reinterpret_cast<FilePane*>(quintptr(pane));
    if (!LivePanes().contains(source)) return nullptr;  // rows of a pane gone mean nothing
    if (rows) *rows = named;
    return source;
}

FilePane::DropKind FilePaneModel::Classify(const QMimeData* data, FilePane** source, QList<int>* rows,
                                           QStringList* files) const
{
    FilePane* from = SourcePane(data, rows);
    const QStringList named = from || !data || !data->hasUrls() ? QStringList() : FilePane::LocalFiles(data->urls());
    if (source) *source = from;
    if (files) *files = named;
    return FilePane::ClassifyDrop(from != nullptr, from == m_pane || m_pane->m_dragging, named, m_pane->m_acceptFiles);
}

bool FilePaneModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex&) const
{
    return Classify(data, nullptr, nullptr, nullptr) != FilePane::DropKind::Refused;
}

bool FilePaneModel::dropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex&)
{
    FilePane* source = nullptr;
    QList<int> rows;
    QStringList files;
    const FilePane::DropKind kind = Classify(data, &source, &rows, &files);
    if (kind == FilePane::DropKind::Refused) return false;

    // Reported once the drag is over, so the handler may run a whole transfer.
    const QPointer<FilePane> from(source);
    FilePane* target = m_pane;
    QMetaObject::invokeMethod(
        target,
        [target, from, kind, rows, files] {
            if (kind == FilePane::DropKind::Files) Q_EMIT target->filesDropped(files);
            else if (from) Q_EMIT target->rowsDropped(from.data(), rows);
        },
        Qt::QueuedConnection);
    return true;
}

int FilePaneModel::Insert(FilePaneRow row)
{
    int at = int(m_rows.size());
    if (m_sorted) {
        const auto before = [this](const FilePaneRow& a, const FilePaneRow& b) { return Before(a, b); };
        at = int(std::upper_bound(m_rows.cbegin(), m_rows.cend(), row, before) - m_rows.cbegin());
    }
    beginInsertRows({}, at, at);
    m_rows.insert(at, std::move(row));
    ++m_generation;
    endInsertRows();
    return at;
}

namespace {

// Puts rows[order[i]] at i for every i, cycle by cycle: no second list of a
// big listing.
void PermuteInPlace(FilePaneRow* rows, const std::vector<int>& order)
{
    const int count = int(order.size());
    std::vector<bool> placed(size_t(count), false);
    for (int i = 0; i < count; ++i) {
        if (placed[size_t(i)] || order[size_t(i)] == i) continue;
        FilePaneRow first = std::move(rows[i]);
        int at = i;
        while (order[size_t(at)] != i) {
            rows[at] = std::move(rows[order[size_t(at)]]);
            placed[size_t(at)] = true;
            at = order[size_t(at)];
        }
        rows[at] = std::move(first);
        placed[size_t(at)] = true;
    }
}

}  // namespace

void FilePaneModel::InsertBatch(QList<FilePaneRow> rows)
{
    if (rows.isEmpty()) return;
    const auto before = [this](const FilePaneRow& a, const FilePaneRow& b) { return Before(a, b); };
    // Servers mostly list in name order already: one pass tells.
    if (m_sorted && !std::is_sorted(rows.cbegin(), rows.cend(), before)) {
        std::vector<int> order(size_t(rows.size()), 0);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return before(rows.at(a), rows.at(b)); });
        PermuteInPlace(rows.data(), order);
    }
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    if (m_rows.isEmpty()) m_rows = std::move(rows);  // the list itself, not a copy of it
    else m_rows.append(std::move(rows));
    ++m_generation;
    endInsertRows();
    // Equal keys keep their arrival order, as single inserts do.
    if (m_sorted && first > 0) Resort(first);
}

void FilePaneModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    ++m_generation;
    endResetModel();
}

void FilePaneModel::SetText(int row, const QString& text)
{
    // The entry takes the new name; the bytes the server listed were the old one's.
    ListingEntry& entry = m_rows[row].entry;
    entry.name = text;
    entry.setRawName(QByteArray());
    const QModelIndex at = index(row, FilePane::NameColumn);
    Q_EMIT dataChanged(at, at);
    if (m_sorted && m_key == FilePane::NameColumn) Resort();
}

void FilePaneModel::Resort(int sortedUpTo)
{
    const int count = int(m_rows.size());
    std::vector<int> order(size_t(count), 0);
    std::iota(order.begin(), order.end(), 0);
    const auto before = [this](int a, int b) { return Before(m_rows.at(a), m_rows.at(b)); };
    if (sortedUpTo > 0 && sortedUpTo < count)
        std::inplace_merge(order.begin(), order.begin() + sortedUpTo, order.end(), before);
    else
        std::stable_sort(order.begin(), order.end(), before);
    if (std::is_sorted(order.begin(), order.end())) return;  // already in order

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPos(size_t(count), 0);
    for (int i = 0; i < count; ++i) newPos[size_t(order[size_t(i)])] = i;
    PermuteInPlace(m_rows.data(), order);
    ++m_generation;
    // Selection and current item follow their rows.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) to.append(this->index(newPos[size_t(index.row())], index.column()));
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// Lets labelEditStarting handlers refuse an edit before the editor opens.
class FilePaneDelegate : public QStyledItemDelegate {
public:
    explicit FilePaneDelegate(FilePane* pane) : QStyledItemDelegate(pane), m_pane(pane) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        bool cancel = false;
        Q_EMIT m_pane->labelEditStarting(index.row(), cancel);
        return cancel ? nullptr : QStyledItemDelegate::createEditor(parent, option, index);
    }

    // Every item of the icon and list views fills its grid cell, so a name
    // shows as far as the cell allows (wrapped or elided there), whatever
    // the first row, which the uniform item size is taken from, is called.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return m_cell.isValid() ? m_cell : QStyledItemDelegate::sizeHint(option, index);
    }
    void SetCell(const QSize& cell) { m_cell = cell; }

private:
    FilePane* m_pane;
    QSize m_cell;
};

// The list and tree views of a pane: bound keys go to the pane, and a
// running drag closes the pane to drops.
template <class Base>
class FilePaneView : public Base {
public:
    explicit FilePaneView(FilePane* pane) : m_pane(pane) {}

    // edit() reports success even when the delegate made no editor.
    bool OpenEditor(const QModelIndex& index)
    {
        return this->edit(index, QAbstractItemView::AllEditTriggers, nullptr) && this->indexWidget(index);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (this->state() != QAbstractItemView::EditingState) {
            const int key = event->key() == Qt::Key_Enter ? int(Qt::Key_Return) : event->key();
            if (key == Qt::Key_Return || key == Qt::Key_Backspace || key == Qt::Key_F5 || key == Qt::Key_Delete
                || key == Qt::Key_F2) {
                event->accept();
                Q_EMIT m_pane->keyPressed(key);
                return;
            }
        }
        Base::keyPressEvent(event);
    }

    // A drop here is always a copy: a program that offered a move would
    // otherwise delete its files once they were "moved" here.
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (AsCopy(event)) Base::dragEnterEvent(event);
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (!AsCopy(event)) return;
        Base::dragMoveEvent(event);
        if (event->isAccepted()) event->setDropAction(Qt::CopyAction);
    }
    void dropEvent(QDropEvent* event) override
    {
        if (AsCopy(event)) Base::dropEvent(event);
    }

    void startDrag(Qt::DropActions actions) override
    {
        m_pane->m_dragging = true;
        Q_EMIT m_pane->dragStarted();
        Base::startDrag(actions);  // returns when the drop is done
        m_pane->m_dragging = false;
        Q_EMIT m_pane->dragFinished();
    }

private:
    static bool AsCopy(QDropEvent* event)
    {
        if (!(event->possibleActions() & Qt::CopyAction)) {
            event->ignore();
            return false;
        }
        event->setDropAction(Qt::CopyAction);
        return true;
    }

    FilePane* m_pane;
};

FilePane::FilePane(QWidget* parent)
    : QWidget(parent),
      m_model(new FilePaneModel(this)),
      m_selection(new QItemSelectionModel(m_model, this)),
      m_stack(new QStackedWidget(this)),
      m_list(new FilePaneView<QListView>(this)),
      m_details(new FilePaneView<QTreeView>(this))
{
    LivePanes().insert(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_list), static_cast<QAbstractItemView*>(m_details)}) {
        view->setModel(m_model);
        QItemSelectionModel* own = view->selectionModel();
        view->setSelectionModel(m_selection);  // one selection whatever the view
        delete own;
        view->setItemDelegate(new FilePaneDelegate(this));  // a delegate serves one view only
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setDragEnabled(true);
        view->setAcceptDrops(true);
        view->setDropIndicatorShown(false);
        view->setDragDropMode(QAbstractItemView::DragDrop);
        view->setDefaultDropAction(Qt::CopyAction);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
            Q_EMIT itemClicked(index.row());
        });
        connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
            Q_EMIT itemDoubleClicked(index.row());
        });
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
            Q_EMIT contextMenuRequested(view->viewport()->mapToGlobal(pos));
        });
        m_stack->addWidget(view);
    }
    connect(m_selection, &QItemSelectionModel::selectionChanged, this, [this] { Q_EMIT selectionChanged(); });

    // Big lists stay cheap: every row and cell has the first one's size.
    m_list->setUniformItemSizes(true);
    m_list->setLayoutMode(QListView::SinglePass);
    m_details->setUniformRowHeights(true);
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setAllColumnsShowFocus(true);
    QHeaderView* header = m_details->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(0);
    header->resizeSection(NameColumn, 235);
    header->resizeSection(SizeColumn, 141);
    header->resizeSection(DateColumn, 141);
    header->setSectionResizeMode(KindColumn, QHeaderView::Fixed);
    header->resizeSection(KindColumn, 0);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        ApplyColumnClick(column);
        Q_EMIT columnClicked(column);
    });

    ApplyListMode(List);
    m_stack->setCurrentWidget(m_details);
}

FilePane::~FilePane() { LivePanes().remove(this); }

FilePane::DropKind FilePane::ClassifyDrop(bool bRows, bool bOwnRows, const QStringList& files, bool bAcceptFiles)
{
    if (bRows) return bOwnRows ? DropKind::Refused : DropKind::Rows;
    return bAcceptFiles && !files.isEmpty() ? DropKind::Files : DropKind::Refused;
}

QStringList FilePane::LocalFiles(const QList<QUrl>& urls)
{
    QStringList files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) return {};
        files.append(url.toLocalFile());
    }
    return files;
}

bool FilePane::IsValidRow(int nRow) const { return nRow >= 0 && nRow < m_model->m_rows.size(); }

void FilePane::AddRows(QList<FilePaneRow> rows) { m_model->InsertBatch(std::move(rows)); }
void FilePane::Clear() { m_model->Clear(); }
int FilePane::Count() const { return int(m_model->m_rows.size()); }
QString FilePane::Text(int nRow) const { return IsValidRow(nRow) ? m_model->m_rows.at(nRow).text() : QString(); }
int FilePane::SmallIcon(int nRow) const { return IsValidRow(nRow) ? m_model->m_rows.at(nRow).smallIcon : 0; }

FilePaneRow FilePane::Row(int nRow) const { return IsValidRow(nRow) ? m_model->m_rows.at(nRow) : FilePaneRow{}; }

int FilePane::Kind(int nRow) const { return IsValidRow(nRow) ? m_model->m_rows.at(nRow).kind : ListingEntry::File; }

QList<FilePaneRow> FilePane::SelectedEntries() const
{
    QList<FilePaneRow> rows;
    for (int nRow : SelectedRows()) rows.append(m_model->m_rows.at(nRow));
    return rows;
}

bool FilePane::Selected(int nRow) const
{
    return IsValidRow(nRow) && m_selection->isSelected(m_model->index(nRow, NameColumn));
}

void FilePane::SetSelected(int nRow, bool bSelected)
{
    if (!IsValidRow(nRow)) return;
    const auto command = bSelected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect;
    m_selection->select(m_model->index(nRow, NameColumn), command | QItemSelectionModel::Rows);
}

void FilePane::ClearSelection() { m_selection->clearSelection(); }

QList<int> FilePane::SelectedRows() const
{
    QList<int> rows;
    const QItemSelection selection = m_selection->selection();
    for (const QItemSelectionRange& range : selection)
        for (int row = range.top(); row <= range.bottom(); ++row) rows.append(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int FilePane::SelectedItem() const
{
    const int current = CurrentItem();
    if (current >= 0 && Selected(current)) return current;
    const QList<int> rows = SelectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

int FilePane::CurrentItem() const
{
    const QModelIndex current = m_selection->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void FilePane::SetCurrentItem(int nRow)
{
    if (IsValidRow(nRow)) m_selection->setCurrentIndex(m_model->index(nRow, NameColumn), QItemSelectionModel::NoUpdate);
}

void FilePane::SetSorted(bool bSorted)
{
    m_model->m_sorted = bSorted;
    if (bSorted) m_model->Resort();
    UpdateSortIndicator();
}

bool FilePane::Sorted() const { return m_model->m_sorted; }

void FilePane::SetSortKey(int nColumn)
{
    m_model->m_key = nColumn;
    if (m_model->m_sorted) m_model->Resort();
    UpdateSortIndicator();
}

int FilePane::SortKey() const { return m_model->m_key; }

void FilePane::SetSortOrder(Qt::SortOrder order)
{
    m_model->m_order = order;
    if (m_model->m_sorted) m_model->Resort();
    UpdateSortIndicator();
}

Qt::SortOrder FilePane::SortOrder() const { return m_model->m_order; }

void FilePane::SetSortByValue(bool bByValue)
{
    m_model->m_byValue = bByValue;
    if (m_model->m_sorted) m_model->Resort();
}

bool FilePane::SortByValue() const { return m_model->m_byValue; }

void FilePane::ApplyColumnClick(int nColumn)
{
    m_model->m_order = m_model->m_order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_model->m_key = nColumn;
    m_model->m_sorted = true;
    m_model->Resort();
    UpdateSortIndicator();
}

void FilePane::UpdateSortIndicator()
{
    QHeaderView* header = m_details->header();
    header->setSortIndicatorShown(m_model->m_sorted);
    header->setSortIndicator(m_model->m_key, m_model->m_order);
}

void FilePane::ApplyListMode(int nView)
{
    const QFontMetrics metrics = m_list->fontMetrics();
    QSize grid;
    if (nView == LargeIcons) {
        m_list->setViewMode(QListView::IconMode);
        m_list->setIconSize(QSize(32, 32));
        m_list->setFlow(QListView::LeftToRight);
        // Names wrap over up to two lines below the picture, then elide.
        grid = QSize(metrics.averageCharWidth() * 18, 32 + 2 * metrics.height() + 10);
        m_list->setWordWrap(true);
    } else {
        m_list->setViewMode(QListView::ListMode);
        m_list->setIconSize(QSize(16, 16));
        m_list->setFlow(nView == SmallIcons ? QListView::LeftToRight : QListView::TopToBottom);
        // A fixed cell keeps the layout of big lists cheap; longer names are elided.
        grid = QSize(metrics.averageCharWidth() * 28 + 24, qMax(metrics.height(), 16) + 4);
        m_list->setWordWrap(false);
    }
    m_list->setTextElideMode(Qt::ElideMiddle);  // a name's end (its extension) stays in view
    m_list->setGridSize(grid);
    static_cast<FilePaneDelegate*>(m_list->itemDelegate())->SetCell(grid - QSize(4, 2));
    m_list->setWrapping(true);
    m_list->setMovement(QListView::Static);
    m_list->setResizeMode(QListView::Adjust);
}

void FilePane::SetView(int nView)
{
    if (nView < LargeIcons || nView > Details) return;
    const bool hadFocus = ActiveView()->hasFocus();
    m_view = nView;
    if (nView != Details) ApplyListMode(nView);
    QAbstractItemView* view = ActiveView();
    m_stack->setCurrentWidget(view);
    if (hadFocus) view->setFocus();
    if (m_selection->currentIndex().isValid()) view->scrollTo(m_selection->currentIndex());
}

int FilePane::View() const { return m_view; }

void FilePane::SetAccessibleName(const QString& sName)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{this, m_list, m_details}) widget->setAccessibleName(sName);
}

void FilePane::SetImageList(const QList<QIcon>& icons)
{
    m_model->m_icons = icons;
    if (Count() > 0)
        Q_EMIT m_model->dataChanged(m_model->index(0, NameColumn), m_model->index(Count() - 1, NameColumn),
                                    {Qt::DecorationRole});
}

bool FilePane::StartLabelEdit(int nRow)
{
    if (!IsValidRow(nRow)) return false;
    const QModelIndex index = m_model->index(nRow, NameColumn);
    m_selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QAbstractItemView* view = ActiveView();
    view->scrollTo(index);
    view->setFocus();
    if (m_view == Details) return static_cast<FilePaneView<QTreeView>*>(m_details)->OpenEditor(index);
    return static_cast<FilePaneView<QListView>*>(m_list)->OpenEditor(index);
}

void FilePane::SetLabelEditByClick(bool bEnabled)
{
    const auto triggers = bEnabled ? QAbstractItemView::SelectedClicked : QAbstractItemView::NoEditTriggers;
    m_list->setEditTriggers(triggers);
    m_details->setEditTriggers(triggers);
}

bool FilePane::CommitLabelEdit(int nRow, const QString& sNewText)
{
    if (!IsValidRow(nRow)) return false;
    const QString oldText = m_model->m_rows.at(nRow).text();
    if (sNewText == oldText) return false;  // nothing to rename
    // The handler runs once the editor has closed: it may ask questions or
    // reload the whole list. Until it agrees the row keeps its old text.
    const QPersistentModelIndex at(m_model->index(nRow, NameColumn));
    QMetaObject::invokeMethod(
        this,
        [this, at, oldText, sNewText] {
            if (!at.isValid() || Text(at.row()) != oldText) return;
            QString newText = sNewText;
            bool cancel = false;
            const quint64 generation = m_model->m_generation;
            Q_EMIT labelEdited(at.row(), oldText, newText, cancel);
            // A handler that reloaded the list has already shown the outcome.
            if (!cancel && generation == m_model->m_generation && at.isValid()) m_model->SetText(at.row(), newText);
        },
        Qt::QueuedConnection);
    return false;
}

QAbstractItemModel* FilePane::Model() const { return m_model; }
QItemSelectionModel* FilePane::SelectionModel() const { return m_selection; }
QAbstractItemView* FilePane::ActiveView() const
{
    return m_view == Details ? static_cast<QAbstractItemView*>(m_details) : m_list;
}
