#include "ui/XPCmdButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {

// Mouse buttons and modifier keys as the events report them: buttons 1 left,
// 2 right, 4 middle; shift 1, control 2, alt 4.
int ButtonCode(Qt::MouseButtons buttons)
{
    int n = 0;
    if (buttons & Qt::LeftButton) n |= 1;
    if (buttons & Qt::RightButton) n |= 2;
    if (buttons & Qt::MiddleButton) n |= 4;
    return n;
}

int ShiftCode(Qt::KeyboardModifiers modifiers)
{
    int n = 0;
    if (modifiers & Qt::ShiftModifier) n |= 1;
    if (modifiers & Qt::ControlModifier) n |= 2;
    if (modifiers & Qt::AltModifier) n |= 4;
    return n;
}

QRgb Blend(QRgb a, QRgb b, double t)
{
    const auto mix = [t](int x, int y) { return int(x + (y - x) * t + 0.5); };
    return qRgb(mix(qRed(a), qRed(b)), mix(qGreen(a), qGreen(b)), mix(qBlue(a), qBlue(b)));
}

// Face rows 1..19 of a cell from colour stops (row, colour), linear between.
void Face(QImage& skin, int x0, const QList<std::pair<int, QRgb>>& stops)
{
    for (int y = 1; y <= XPCmdButton::kCellHeight - 2; ++y) {
        QRgb colour = stops.first().second;
        for (int i = 0; i + 1 < stops.size(); ++i) {
            const auto& [y1, c1] = stops[i];
            const auto& [y2, c2] = stops[i + 1];
            if (y >= y1 && y <= y2) colour = Blend(c1, c2, y2 == y1 ? 0.0 : double(y - y1) / (y2 - y1));
        }
        if (y > stops.last().first) colour = stops.last().second;
        for (int x = 1; x <= XPCmdButton::kCellWidth - 2; ++x) skin.setPixel(x0 + x, y, colour);
    }
}

// The one-pixel dark frame with its corners rounded off in three shades.
void RoundFrame(QImage& skin, int x0)
{
    const int w = XPCmdButton::kCellWidth, h = XPCmdButton::kCellHeight;
    const QRgb frame = qRgb(0x00, 0x3c, 0x74);
    for (int x = 0; x < w; ++x) {
        skin.setPixel(x0 + x, 0, frame);
        skin.setPixel(x0 + x, h - 1, frame);
    }
    for (int y = 0; y < h; ++y) {
        skin.setPixel(x0, y, frame);
        skin.setPixel(x0 + w - 1, y, frame);
    }
    const QRgb outer = qRgb(0xdd, 0xd7, 0xc5), middle = qRgb(0x65, 0x86, 0x9f), inner = qRgb(0x22, 0x55, 0x83);
    for (const auto& [cx, cy, dx, dy] : {std::tuple{0, 0, 1, 1}, {w - 1, 0, -1, 1}, {0, h - 1, 1, -1}, {w - 1, h - 1, -1, -1}}) {
        skin.setPixel(x0 + cx, cy, outer);
        skin.setPixel(x0 + cx + dx, cy, middle);
        skin.setPixel(x0 + cx, cy + dy, middle);
        skin.setPixel(x0 + cx + dx, cy + dy, inner);
    }
}

// A two-pixel band inside the frame: top rows, side columns, bottom rows.
void Band(QImage& skin, int x0, QRgb top1, QRgb top2, QRgb side1, QRgb side2, QRgb bottom1, QRgb bottom2)
{
    const int w = XPCmdButton::kCellWidth, h = XPCmdButton::kCellHeight;
    for (int y = 1; y <= h - 2; ++y) {
        skin.setPixel(x0 + 1, y, side1);
        skin.setPixel(x0 + w - 2, y, side1);
        skin.setPixel(x0 + 2, y, side2);
        skin.setPixel(x0 + w - 3, y, side2);
    }
    for (int x = 1; x <= w - 2; ++x) {
        skin.setPixel(x0 + x, 1, top1);
        skin.setPixel(x0 + x, 2, top2);
        skin.setPixel(x0 + x, h - 3, bottom1);
        skin.setPixel(x0 + x, h - 2, bottom2);
    }
}

QImage MakeSkin()
{
    const int w = XPCmdButton::kCellWidth, h = XPCmdButton::kCellHeight;
    QImage skin(5 * w, h, QImage::Format_RGB32);
    const QList<std::pair<int, QRgb>> rest = {{1, qRgb(0xff, 0xff, 0xff)},
                                              {10, qRgb(0xf3, 0xf3, 0xef)},
                                              {16, qRgb(0xf0, 0xf0, 0xea)},
                                              {17, qRgb(0xec, 0xeb, 0xe6)},
                                              {18, qRgb(0xe2, 0xdf, 0xd6)},
                                              {19, qRgb(0xd6, 0xd0, 0xc5)}};
    for (int cell : {0, 3, 4}) Face(skin, cell * w, rest);
    Face(skin, w, {{1, qRgb(0xd1, 0xcc, 0xc1)}, {10, qRgb(0xe2, 0xe1, 0xda)}, {19, qRgb(0xf2, 0xf1, 0xee)}});

    // Hover and highlighted rest: the rest face with a coloured band inside
    // the frame. The band goes on before the frame so that the frame's
    // rounded corners stay shaded in these cells too.
    Band(skin, 3 * w, qRgb(0xff, 0xf0, 0xcf), qRgb(0xfd, 0xd8, 0x89), qRgb(0xfc, 0xca, 0x69), qRgb(0xfb, 0xca, 0x6a),
         qRgb(0xf8, 0xb3, 0x30), qRgb(0xe5, 0x97, 0x00));
    Band(skin, 4 * w, qRgb(0xce, 0xe7, 0xff), qRgb(0xbc, 0xd4, 0xf6), qRgb(0xa0, 0xbe, 0xec), qRgb(0xa0, 0xbe, 0xec),
         qRgb(0x89, 0xad, 0xe4), qRgb(0x69, 0x82, 0xee));
    for (int cell : {0, 1, 3, 4}) RoundFrame(skin, cell * w);

    // Disabled: a square light frame with white corner pixels, a flat face.
    const int x2 = 2 * w;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool bEdge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            skin.setPixel(x2 + x, y, bEdge ? qRgb(0xc9, 0xc7, 0xba) : qRgb(0xf5, 0xf4, 0xea));
        }
    for (const auto& [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) skin.setPixel(x2 + x, y, qRgb(255, 255, 255));
    return skin;
}

}  // namespace

const QImage& XPCmdButton::Skin()
{
    static const QImage skin = MakeSkin();
    return skin;
}

XPCmdButton::XPCmdButton(QWidget* parent, const QString& sInstanceName) : QAbstractButton(parent)
{
    setObjectName(sInstanceName);
    m_sDefaultCaption = DefaultCaption();
    setText(m_sDefaultCaption);  // also sets up the access key of an "&" caption
    setMouseTracking(true);      // moves without a button show the hover look
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QObject::objectNameChanged, this, &XPCmdButton::FollowObjectName);
    // Qt's own click handling (release over the button, Space, the access
    // key) is the one source of Click.
    connect(this, &QAbstractButton::clicked, this, &XPCmdButton::Click);
    DrawRestState();
}

QString XPCmdButton::DefaultCaption() const
{
    return objectName().isEmpty() ? QStringLiteral("XPCmdButton") : objectName();
}

// A button named after it was created shows its new name, unless someone
// has given it a caption of its own in the meantime.
void XPCmdButton::FollowObjectName()
{
    if (text() != m_sDefaultCaption) return;
    m_sDefaultCaption = DefaultCaption();
    SetCaption(m_sDefaultCaption);
}

void XPCmdButton::SetState(int nState)
{
    m_nState = nState;
    DrawRestState();
}

void XPCmdButton::SetCaption(const QString& sCaption)
{
    setText(sCaption);
    updateGeometry();
    update();
}

void XPCmdButton::DrawSkin(int nCell)
{
    if (m_nCell == nCell) return;
    m_nCell = nCell;
    update();
}

void XPCmdButton::DrawRestState()
{
    if (m_nState == 1) m_nRestCell = kRestHighlighted;
    else if (m_nState == 0) m_nRestCell = kRest;
    DrawSkin(isEnabled() ? m_nRestCell : kDisabled);
}

// Nine pieces of the cell: the corners as they are, the edges and the
// middle stretched over the rest. Below 6 pixels either way there is no
// room for edges, and the cell is stretched whole.
void XPCmdButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QImage& skin = Skin();
    const int x0 = m_nCell * kCellWidth;
    const int w = width(), h = height();
    const auto piece = [&](int sx, int sy, int sw, int sh, int tx, int ty, int tw, int th) {
        if (tw > 0 && th > 0) p.drawImage(QRect(tx, ty, tw, th), skin, QRect(x0 + sx, sy, sw, sh));
    };
    if (w < 6 || h < 6) {
        piece(0, 0, kCellWidth, kCellHeight, 0, 0, w, h);
    } else {
        piece(0, 0, 3, 3, 0, 0, 3, 3);
        piece(15, 0, 3, 3, w - 3, 0, 3, 3);
        piece(15, 18, 3, 3, w - 3, h - 3, 3, 3);
        piece(0, 18, 3, 3, 0, h - 3, 3, 3);
        piece(3, 0, 12, 3, 3, 0, w - 6, 3);
        piece(15, 3, 3, 15, w - 3, 3, 3, h - 6);
        piece(0, 3, 3, 15, 0, 3, 3, h - 6);
        piece(3, 18, 12, 3, 3, h - 3, w - 6, 3);
        piece(3, 3, 12, 15, 3, 3, w - 6, h - 6);
    }

    p.setFont(font());
    p.setPen(isEnabled() ? QColor(Qt::black) : QColor(161, 161, 146));
    p.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

void XPCmdButton::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (pos.x() < 0 || pos.y() < 0 || pos.x() > width() || pos.y() > height()) {
        // Outside while the pointer is grabbed by a held button.
        PointerLeft();
    } else {
        m_bPointerInside = true;
        Q_EMIT MouseMove(ButtonCode(event->buttons()), ShiftCode(event->modifiers()), float(pos.x()), float(pos.y()));
        DrawSkin(event->buttons() == Qt::LeftButton ? kPressed : kHover);
    }
    QAbstractButton::mouseMoveEvent(event);
}

void XPCmdButton::mousePressEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    m_bPointerInside = true;
    Q_EMIT MouseDown(ButtonCode(event->button()), ShiftCode(event->modifiers()), float(pos.x()), float(pos.y()));
    DrawSkin(kPressed);
    QAbstractButton::mousePressEvent(event);
}

void XPCmdButton::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    Q_EMIT MouseUp(ButtonCode(event->button()), ShiftCode(event->modifiers()), float(pos.x()), float(pos.y()));
    DrawRestState();
    QAbstractButton::mouseReleaseEvent(event);  // may raise Click
}

// The leave event takes the place of polling the pointer position: Qt sends
// it as soon as the pointer is off the button (and, with a button held, on
// the release outside), so MouseOut is raised without a timer.
void XPCmdButton::leaveEvent(QEvent* event)
{
    PointerLeft();
    QAbstractButton::leaveEvent(event);
}

void XPCmdButton::PointerLeft()
{
    if (!m_bPointerInside) return;
    m_bPointerInside = false;
    Q_EMIT MouseOut();
    DrawRestState();
}

// Keys are reported and draw nothing; Space (Qt's own handling) and Enter
// press the button.
void XPCmdButton::keyPressEvent(QKeyEvent* event)
{
    Q_EMIT KeyDown(event->key(), ShiftCode(event->modifiers()));
    const QString sText = event->text();
    if (!sText.isEmpty() && sText.at(0).unicode() < 256) Q_EMIT KeyPress(sText.at(0).unicode());
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
        click();
        return;
    }
    const int nCell = m_nCell;
    QAbstractButton::keyPressEvent(event);
    DrawSkin(nCell);
}

void XPCmdButton::keyReleaseEvent(QKeyEvent* event)
{
    Q_EMIT KeyUp(event->key(), ShiftCode(event->modifiers()));
    const int nCell = m_nCell;
    QAbstractButton::keyReleaseEvent(event);
    DrawSkin(nCell);
}

void XPCmdButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        // Disabled, the button shows its disabled look at once. A hover that
        // was going on still ends with MouseOut: Qt sends leave events to
        // disabled widgets too, only the mouse and key events stop.
        DrawRestState();
    } else if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QAbstractButton::changeEvent(event);
}

QSize XPCmdButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    const QSize textSize = metrics.size(Qt::TextShowMnemonic, text());
    return {qMax(75, textSize.width() + 16), qMax(23, textSize.height() + 8)};
}

QSize XPCmdButton::minimumSizeHint() const { return sizeHint(); }

void XPCmdButton::WriteProperties(QVariantMap& bag) const
{
    bag.insert(QStringLiteral("State"), m_nState);
    bag.insert(QStringLiteral("Enabled"), isEnabled());
    bag.insert(QStringLiteral("Caption"), text());
    bag.insert(QStringLiteral("Font"), font());
}

void XPCmdButton::ReadProperties(const QVariantMap& bag)
{
    m_nState = bag.value(QStringLiteral("State"), 0).toInt();
    setEnabled(bag.value(QStringLiteral("Enabled"), true).toBool());
    SetCaption(bag.value(QStringLiteral("Caption"), DefaultCaption()).toString());
    const QFont ambient = parentWidget() ? parentWidget()->font() : QFont();
    setFont(bag.value(QStringLiteral("Font"), ambient).value<QFont>());
    DrawRestState();
}
