#pragma once

#include "ui/clsResizer.h"

#include <QDialog>
#include <QIcon>
#include <QList>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

// The site manager, "Connection Information": a modal dialog in which the
// user picks a saved site, edits its connection data, saves or deletes
// sites, and leaves with Connect or Cancel.
//
// The caller creates a fresh window for each ShowForm call and destroys it
// afterwards; creating it restores its stored geometry, destroying it stores
// the geometry again (unless minimised).
class frmConnectionInfo final : public QDialog {
    Q_OBJECT
public:
    // Placeholder e-mail address sent as the anonymous password.
    static constexpr char kAnonymousPassword[] = "kelvo@example.com";

    explicit frmConnectionInfo(QWidget* parent = nullptr);
    ~frmConnectionInfo() override;

    // Shows the given values, runs the dialog modally and, after Connect,
    // hands back the boxes' texts with surrounding blanks removed and whether
    // Anonymous is selected: returns true. After Cancel, Esc or the close box
    // returns false and leaves the arguments as they were. An empty sPort
    // shows as "21".
    // bUseTls: the "Use TLS (FTPS)" choice, in and out like the others.
    bool ShowForm(QString& sAddress, QString& sPort, QString& sUserName, QString& sPassword, bool& bIsAnonymous,
                  bool& bUseTls);

    // Esc and the close box end here: the same as Cancel.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildTree();
    void SelectOption(QRadioButton* option);
    void ClearOption(QRadioButton* option);
    void ApplyLoginBoxes(bool bEnabled);

    void Connect();
    void NewSite();
    void SaveSite();
    void DeleteSite();
    void NodeClick(QTreeWidgetItem* item);

    bool m_bCancelled = true;
    clsResizer m_resizer;
    QList<QIcon> ImageList1;  // 0: the root, 1: a site
    QTreeWidgetItem* m_xLastClicked = nullptr;  // the entry last acted on; reset by BuildTree

    QMenuBar* menuBar = nullptr;
    QAction* cmdConnect = nullptr;
    QAction* cmdNewSite = nullptr;
    QAction* cmdDeleteSite = nullptr;
    QAction* cmdSaveSite = nullptr;
    QWidget* panel = nullptr;  // the controls, placed by geometry and rescaled by the resizer
    QTreeWidget* TView1 = nullptr;
    QLabel* siteNameLabel = nullptr;
    QLineEdit* txtSiteName = nullptr;
    QLabel* lblHost = nullptr;
    QLineEdit* txtHost = nullptr;
    QLabel* lblUserName = nullptr;
    QLineEdit* txtUserName = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* txtPassword = nullptr;
    QCheckBox* chkUseTls = nullptr;
    QGroupBox* fraLoginType = nullptr;
    QRadioButton* optAnonymous = nullptr;
    QRadioButton* optNormal = nullptr;
    QLabel* lblPort = nullptr;
    QLineEdit* txtPort = nullptr;
    QPushButton* cmdConnect1 = nullptr;
    QPushButton* cmdCancel = nullptr;
};
