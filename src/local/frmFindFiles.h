#pragma once

#include <QDialog>
#include <QList>
#include <QRegularExpression>
#include <QUrl>

#include <functional>
#include <memory>

class QCheckBox;
class QDirIterator;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

// Searches the files below a local folder by name patterns ("*.txt;*.log")
// and lists them with their folder, size and date. The search walks the tree
// a slice at a time from a zero-interval timer, so the window stays usable
// and Stop takes effect at once. Folders that cannot be read are passed over,
// and linked folders are not entered, so a link loop cannot trap the walk.
class frmFindFiles final : public QDialog {
    Q_OBJECT
public:
    // Opens a URL (a found file, or the folder holding it).
    using Opener = std::function<bool(const QUrl&)>;
    static constexpr qsizetype kDefaultResultLimit = 100000;

    explicit frmFindFiles(const QString& sStartFolder, QWidget* parent = nullptr);
    ~frmFindFiles() override;

    // QDesktopServices::openUrl unless replaced.
    void SetOpener(Opener opener) { m_opener = std::move(opener); }
    void SetResultLimit(qsizetype limit) { m_resultLimit = limit; }
    bool IsSearching() const;
    QString StartFolder() const { return m_sStartFolder; }
    // The full path of each listed result, in list order.
    QStringList ResultPaths() const;

    // Whether a file name matches one of the ';'-separated wildcard patterns;
    // letter case counts where the file system's does.
    static bool NameMatches(const QString& sName, const QString& sPatterns);

public Q_SLOTS:
    void StartSearch();
    void StopSearch();
    void OpenResult(QTreeWidgetItem* item);
    void ShowResultFolder();

Q_SIGNALS:
    // After each batch is added to the list.
    void ResultsAdded(qsizetype total);
    // When the walk ends: finished, stopped or at the limit.
    void SearchFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    static QList<QRegularExpression> CompilePatterns(const QString& sPatterns);
    void SearchSlice();
    void EndSearch(const QString& sStatus);
    void UpdateButtons();

    QString m_sStartFolder;
    Opener m_opener;
    qsizetype m_resultLimit = kDefaultResultLimit;
    std::unique_ptr<QDirIterator> m_walk;
    QList<QRegularExpression> m_patterns;
    QTimer* m_timer = nullptr;

    QLineEdit* txtPattern = nullptr;
    QLabel* lblLookIn = nullptr;
    QCheckBox* chkSubfolders = nullptr;
    QPushButton* cmdFind = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdShowFolder = nullptr;
    QPushButton* cmdClose = nullptr;
    QTreeWidget* lstResults = nullptr;
    QLabel* lblStatus = nullptr;
};
