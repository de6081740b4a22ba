#pragma once

#include "ftp/ListingEntry.h"

#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QStringList>
#include <QUrl>
#include <QWidget>

class QAbstractItemModel;
class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QStackedWidget;
class QTreeView;
class FilePaneModel;
class FilePaneDelegate;
template <class Base>
class FilePaneView;

// One entry of a pane. The name is what the pane shows and sorts by; the
// size and date values let a pane sort by value when asked to. The entry is
// what the row stands for (its kind, exact date and precision, permissions):
// code decides by it, never by the picture. The size, date and kind columns
// are made into text when shown, so that a large listing keeps no texts of
// its own per row.
struct FilePaneRow {
    ListingEntry entry;    // its name and date (local time; invalid: none) are the row's
    qint64 size = -1;      // -1: no size (a folder)
    qint64 shownSize = -1;  // the size column's number; -1: the column stays empty
    int smallIcon = 0;      // 1-based index into the pane's image list, 0 none
    // How the row acts, a ListingEntry kind: a Folder is entered, a File
    // transferred, a Link entered where the server lets us in. It follows the
    // picture: a link or unreadable entry shown with its extension's picture
    // acts as that file.
    int kind = ListingEntry::File;
    char16_t kindLetter = u'F';  // the kind column: D, F or E

    const QString& text() const { return entry.name; }
    const QDateTime& date() const { return entry.date; }  // shown in the short local format
    // Sub-item n as shown: 1 the size, 2 the date, 3 the kind letter.
    QString subItem(int n) const;
};
Q_DECLARE_TYPEINFO(FilePaneRow, Q_RELOCATABLE_TYPE);

// A flat file list with four views: 0 large icons, 1 small icons, 2 list,
// 3 details (columns Name, Size, Date and the zero-width kind column that
// holds "D", "F" or "E"). All views share one model and one selection.
//
// Rows are addressed by their position in the list. In sorted mode the list
// keeps itself sorted as rows arrive, so positions change on every insert.
class FilePane : public QWidget {
    Q_OBJECT

public:
    enum Column { NameColumn, SizeColumn, DateColumn, KindColumn, ColumnCount };
    enum ViewCode { LargeIcons, SmallIcons, List, Details };
    static constexpr char MimeType[] = "application/x-kelvo-filepane-rows";

    // What a pane makes of data dragged onto it.
    enum class DropKind {
        Refused,
        Rows,   // rows of another pane of this program
        Files,  // local files from another program (text/uri-list)
    };
    // bRows: the data names rows of a live pane of this program (bOwnRows:
    // this very pane's); files: the local files the data names.
    static DropKind ClassifyDrop(bool bRows, bool bOwnRows, const QStringList& files, bool bAcceptFiles);
    // The local files a drop's URLs name; empty when any URL is no local file.
    static QStringList LocalFiles(const QList<QUrl>& urls);

    explicit FilePane(QWidget* parent = nullptr);
    ~FilePane() override;

    // Rows
    void AddRows(QList<FilePaneRow> rows);  // one insertion for the whole batch
    void Clear();
    int Count() const;
    QString Text(int nRow) const;
    int SmallIcon(int nRow) const;
    FilePaneRow Row(int nRow) const;
    int Kind(int nRow) const;  // how the row acts (FilePaneRow::kind); File for no row
    // The selected rows themselves, in list order.
    QList<FilePaneRow> SelectedEntries() const;

    // Selection; rows come back in list order
    bool Selected(int nRow) const;
    void SetSelected(int nRow, bool bSelected);
    void ClearSelection();
    QList<int> SelectedRows() const;
    // The current row when it is selected, else the first selected row, else -1.
    int SelectedItem() const;
    int CurrentItem() const;  // the focused row, selected or not; -1 none
    void SetCurrentItem(int nRow);

    // Sorting compares the key column's texts, case-insensitively; with
    // SetSortByValue(true) the size and date columns compare their values.
    void SetSorted(bool bSorted);
    bool Sorted() const;
    void SetSortKey(int nColumn);
    int SortKey() const;
    void SetSortOrder(Qt::SortOrder order);
    Qt::SortOrder SortOrder() const;
    void SetSortByValue(bool bByValue);
    bool SortByValue() const;
    // What a click on a column header does: an ascending list turns
    // descending on that column, any other turns ascending; sorted mode on.
    void ApplyColumnClick(int nColumn);

    void SetView(int nView);  // codes outside 0..3 are ignored
    int View() const;

    void SetImageList(const QList<QIcon>& icons);
    // The name a screen reader gives the pane and each of its views.
    void SetAccessibleName(const QString& sName);
    // Opens the label editor of a row; false when the row does not exist or
    // a labelEditStarting handler cancelled.
    bool StartLabelEdit(int nRow);
    // Label editing by a click on the selected row's label.
    void SetLabelEditByClick(bool bEnabled);
    // Whether files dragged from other programs may be dropped here
    // (filesDropped); refused by default.
    void SetAcceptFileDrops(bool bAccept) { m_acceptFiles = bAccept; }

    QAbstractItemModel* Model() const;
    QItemSelectionModel* SelectionModel() const;
    QAbstractItemView* ActiveView() const;

Q_SIGNALS:
    void itemClicked(int row);
    void itemDoubleClicked(int row);
    void selectionChanged();
    // Enter (reported as Qt::Key_Return), Backspace, F5, Delete and F2; the
    // pane consumes these keys.
    void keyPressed(int key);
    void contextMenuRequested(const QPoint& globalPos);
    void columnClicked(int column);  // after ApplyColumnClick has run
    void labelEditStarting(int row, bool& cancel);
    // A finished edit with a changed text, delivered after the editor has
    // closed. The handler may change newText or cancel; a cancelled edit
    // leaves the old text. A handler that reloads the list wins: the edit is
    // then not applied.
    void labelEdited(int row, const QString& oldText, QString& newText, bool& cancel);
    void dragStarted();
    void dragFinished();
    // Rows of another pane were dropped here. Delivered after the drag has ended.
    void rowsDropped(FilePane* source, const QList<int>& rows);
    // Local files (full paths) from another program were dropped here, once
    // SetAcceptFileDrops allowed it. Delivered after the drag has ended.
    void filesDropped(const QStringList& files);

private:
    friend class FilePaneModel;
    friend class FilePaneDelegate;
    template <class Base>
    friend class FilePaneView;

    bool CommitLabelEdit(int nRow, const QString& sNewText);
    bool IsValidRow(int nRow) const;
    void ApplyListMode(int nView);
    void UpdateSortIndicator();

    FilePaneModel* m_model;
    QItemSelectionModel* m_selection;
    QStackedWidget* m_stack;
    QListView* m_list;
    QTreeView* m_details;
    int m_view = Details;
    bool m_dragging = false;  // own drags are not dropped back here
    bool m_acceptFiles = false;
};
