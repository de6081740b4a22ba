#pragma once

#include "ui/clsResizer.h"

#include <QDialog>

class QGroupBox;
class QLabel;

// "Kelvo - About Us": the product's name, description and version, a short
// notice, and the contact address, which opens the user's mail program.
class frmAbout final : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* owner = nullptr);
    ~frmAbout() override;  // stores the geometry unless minimised

    // Loads the window, shows it modally over owner and unloads it.
    static void ShowModal(QWidget* owner);
    // The contact address, a build setting.
    static QString ContactAddress();

    // What a click on the contact label does: the mail program when there
    // is a connection, otherwise a message that says why not.
    void ContactClicked();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();

    QWidget* panel = nullptr;
    QLabel* imgLogo = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblWarning = nullptr;
    QLabel* lblContactInfo = nullptr;
    clsResizer m_resizer;
};
