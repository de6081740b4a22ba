#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

// Keeps a window's controls at the same proportions of their containers when
// the window is resized. PrepareClass records each control's left, top,
// width and height as fractions of its parent's size; ResizeControls puts
// every control back at those fractions of the parent's current size.
//
// Controls are the widgets placed on the window, and those placed on plain
// containers (QWidget, QFrame, QGroupBox) inside it. The inner parts of
// compound widgets (a combo box's editor, a list's scroll bars) and widgets
// that a layout manages are left to their owners.
class clsResizer {
public:
    void PrepareClass(QWidget* xForm);
    // The control keeps its place and size whatever the window does.
    void AddControlToIgnore(QWidget* xControl);
    void ResizeControls();

    qsizetype RecordedCount() const { return m_ratios.size(); }

private:
    struct Ratios {
        QPointer<QWidget> control;
        double left, top, width, height;
    };
    void Record(QWidget* xContainer);

    QPointer<QWidget> m_xForm;
    QList<Ratios> m_ratios;  // parents before the controls inside them
    QList<QPointer<QWidget>> m_ignored;
};
