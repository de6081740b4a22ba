#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "File/Folder Permission Change": nine boxes for read, write and execute of
// owner, group and other, and the mode as an octal number. The boxes and the
// number always agree: a tick sets or clears its bit in the number, a typed
// number ticks the boxes it means. Only octal digits can be typed, and Ok is
// enabled only while the number is a mode.
//
// Ok and Cancel only hide the window: it is loaded once for the run. The
// caller starts it from the selected item's permissions and reads nResult
// after the modal run.
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

    // Shows nMode (permission bits) in the boxes and the number; a negative
    // nMode (not known) leaves both empty.
    void Start(int nMode);

    // Esc and the close box end here: the same as Cancel.
    void reject() override;

private:
    frmRemoteChangeMode();
    void BuildControls();
    void BoxClicked(int nBit, bool bTicked);
    void ShowBoxesOfText();

    QLabel* lblNeumericValue = nullptr;
    QLineEdit* txtNumericValue = nullptr;
    QLabel* lblNotListed = nullptr;
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
    QCheckBox* m_boxes[9] = {};  // in the order of ChangeMode::kBoxBits
};
