#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QVariantMap>

// A flat, skinned command button: a rounded frame and face drawn from a
// five-cell skin (rest, pressed, disabled, hover, highlighted rest), the
// caption centred on it. It raises the events of a command button as
// signals, and keeps its four properties (State, Enabled, Caption, Font)
// in a property map of the window that holds it.
//
// Looks: the rest cell (0, or 4 with State 1; 2 when disabled), hover (3)
// while the pointer moves over it, pressed (1) while the left button is
// held, and back to rest on release or when the pointer leaves.
//
// Leaving is seen through Qt's leave events rather than by polling the
// pointer position on a timer, and also through moves outside the button
// while a mouse button is held (the pointer is grabbed then, so no leave
// event arrives until the release). Either way MouseOut is raised once per
// visit and the rest look comes back.
class XPCmdButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(int State READ State WRITE SetState)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    // Enabled and Font are the widget's own properties under the names the
    // property map uses.
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    enum Cell { kRest = 0, kPressed = 1, kDisabled = 2, kHover = 3, kRestHighlighted = 4 };
    static constexpr int kCellWidth = 18;
    static constexpr int kCellHeight = 21;

    // sInstanceName becomes the object name and the first caption, as for a
    // button newly placed on a window; without one the caption is
    // "XPCmdButton". An object name given later (as generated form code
    // does) becomes the caption too, as long as the caption is still the
    // default one.
    explicit XPCmdButton(QWidget* parent = nullptr, const QString& sInstanceName = QString());

    int State() const { return m_nState; }
    void SetState(int nState);  // 0 plain rest look, 1 highlighted; others keep the rest cell
    QString Caption() const { return text(); }
    void SetCaption(const QString& sCaption);
    // Enabled and Font are the widget's own; enabling redraws the rest look.

    // The cell now shown.
    int CurrentCell() const { return m_nCell; }
    // The 90 x 21 skin, five cells of 18 x 21.
    static const QImage& Skin();

    // The saved properties: "State", "Enabled", "Caption", "Font"; missing
    // keys take the defaults (0, true, the instance name, the parent's font).
    void WriteProperties(QVariantMap& bag) const;
    void ReadProperties(const QVariantMap& bag);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // Click: a left click released over the button, Space or Enter, or the
    // access key (the "&" letter of the caption with Alt).
    void Click();
    // Keys: the Qt key code (the same as the Windows key code for letters
    // and digits), the character typed (Latin-1) and the modifiers as
    // shift 1, control 2, alt 4.
    void KeyDown(int nKeyCode, int nShift);
    void KeyPress(int nKeyAscii);
    void KeyUp(int nKeyCode, int nShift);
    // Raised once when the pointer leaves the button after moving over it.
    void MouseOut();
    // Mouse: buttons as left 1, right 2, middle 4 (for MouseDown and MouseUp
    // the button that changed, for MouseMove the buttons held), modifiers as
    // for the keys, and the position in pixels.
    void MouseDown(int nButton, int nShift, float x, float y);
    void MouseMove(int nButton, int nShift, float x, float y);
    void MouseUp(int nButton, int nShift, float x, float y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void DrawSkin(int nCell);
    void DrawRestState();
    void PointerLeft();
    QString DefaultCaption() const;
    void FollowObjectName();

    int m_nState = 0;
    int m_nRestCell = kRest;
    int m_nCell = kRest;
    bool m_bPointerInside = false;
    QString m_sDefaultCaption;  // the caption given from the object name
};
