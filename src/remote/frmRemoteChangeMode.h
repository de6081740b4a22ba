#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "File/Folder Permission Change": nine boxes for read, write and execute of
// owner, group and other, and the mode as a number. Each box adds its weight
// to the number when ticked and takes it off when unticked, whatever the text
// holds, so a typed value and ticks add up.
//
// Ok and Cancel only hide the window: it is loaded once and keeps its boxes
// and number for the next use in the run. The caller reads nResult after the
// modal run.
class frmRemoteChangeMode final : public QDialog {
    Q_OBJECT
public:
    // The loaded window, loading it (hidden, geometry restored) when needed.
    static frmRemoteChangeMode& Loaded();
    static bool IsLoaded();
    // Stores the geometry (unless minimised) and destroys the window.
    static void Unload();

    ~frmRemoteChangeMode() override;

    // 1 after Ok, 0 after Cancel, Esc or the close box.
    int nResult = 0;

    QString NumericText() const;

    // The leading decimal number of sText (after blanks, with an optional
    // sign); 0 when the text does not start with one.
    static qlonglong LeadingNumber(const QString& sText);

    // Esc and the close box end here: the same as Cancel.
    void reject() override;

private:
    frmRemoteChangeMode();
    void BuildControls();
    void BoxClicked(int nWeight, bool bTicked);

    QLabel* lblNeumericValue = nullptr;
    QLineEdit* txtNumericValue = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* lblOwner = nullptr;
    QLabel* lblGroup = nullptr;
    QLabel* lblOther = nullptr;
    QCheckBox* chkOwnerRead = nullptr;
    QCheckBox* chkOwnerWrite = nullptr;
    QCheckBox* chkOwnerExecute = nullptr;
    QCheckBox* chkGroupRead = nullptr;
    QCheckBox* chkGroupWrite = nullptr;
    QCheckBox* chkGroupExecute = nullptr;
    QCheckBox* chkOtherRead = nullptr;
    QCheckBox* chkOtherWrite = nullptr;
    QCheckBox* chkOtherExecute = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;
};
