#include "app/frmAbout.h"
#include "ui/Named.h"

#include "app/InternetConnection.h"
#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"
#include "ui/WindowGeometry.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#ifndef KELVO_CONTACT_EMAIL
#define KELVO_CONTACT_EMAIL "support@kelvo.example"
#endif

namespace {

constexpr int kPanelWidth = 420;
constexpr int kPanelHeight = 250;


// The logo: two arrows, one each way, on a rounded blue tile.
QPixmap Logo(int nSize)
{
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, 0, nSize);
    face.setColorAt(0, QColor(0x3a, 0x7b, 0xd5));
    face.setColorAt(1, QColor(0x00, 0x3c, 0x74));
    p.setBrush(face);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1, 1, nSize - 2, nSize - 2), nSize / 6.0, nSize / 6.0);
    p.setPen(QPen(Qt::white, nSize / 12.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const double s = nSize;
    p.drawLine(QPointF(s * 0.25, s * 0.38), QPointF(s * 0.75, s * 0.38));
    p.drawPolyline(QPolygonF({QPointF(s * 0.62, s * 0.26), QPointF(s * 0.75, s * 0.38), QPointF(s * 0.62, s * 0.50)}));
    p.setPen(QPen(QColor(0xfd, 0xd8, 0x89), nSize / 12.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(s * 0.75, s * 0.64), QPointF(s * 0.25, s * 0.64));
    p.drawPolyline(QPolygonF({QPointF(s * 0.38, s * 0.52), QPointF(s * 0.25, s * 0.64), QPointF(s * 0.38, s * 0.76)}));
    return pixmap;
}

}  // namespace

frmAbout::frmAbout(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Kelvo - About Us"));
    BuildControls();
    m_resizer.PrepareClass(panel);
    resize(kPanelWidth, kPanelHeight);  // the designed size, until a stored one applies
    Label1->setText(QStringLiteral("Kelvo - The Easy Way to Transfer Files.") + QStringLiteral("\r\n")
                    + QStringLiteral("File Transfer Client for Windows 9x/NT/2000/ME") + QStringLiteral("\r\n")
                    + QStringLiteral("Version 4.0"));
    lblContactInfo->setText(ContactAddress());
    RestoreGeometryByConvention(this, QLatin1String(Settings::kAboutWindow));
}

frmAbout::~frmAbout() { StoreWindowGeometry(this, QLatin1String(Settings::kAboutWindow), CRegister()); }

void frmAbout::ShowModal(QWidget* owner)
{
    frmAbout about(owner);
    about.exec();
}

QString frmAbout::ContactAddress() { return QStringLiteral(KELVO_CONTACT_EMAIL); }

void frmAbout::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    panel = Named(new QWidget(this), "panel");
    panel->resize(kPanelWidth, kPanelHeight);
    layout->addWidget(panel);
    panel->installEventFilter(this);

    imgLogo = Named(new QLabel(panel), "imgLogo");
    imgLogo->setPixmap(Logo(64));
    imgLogo->setGeometry(16, 16, 64, 64);

    Frame2 = Named(new QGroupBox(panel), "Frame2");
    Frame2->setGeometry(96, 8, 312, 180);
    Label1 = Named(new QLabel(Frame2), "Label1");
    Label1->setTextFormat(Qt::PlainText);
    Label1->setGeometry(12, 12, 290, 64);
    lblWarning = Named(new QLabel(Frame2), "lblWarning");
    lblWarning->setTextFormat(Qt::PlainText);
    lblWarning->setWordWrap(true);
    lblWarning->setText(QStringLiteral("This program is provided as is, without warranty of any kind. "
                                       "Keep copies of files that matter to you before you move them."));
    lblWarning->setGeometry(12, 84, 290, 84);

    lblContactInfo = Named(new QLabel(panel), "lblContactInfo");
    lblContactInfo->setToolTip(QStringLiteral("Click here to  email us"));
    lblContactInfo->setTextFormat(Qt::PlainText);
    lblContactInfo->setCursor(Qt::PointingHandCursor);
    lblContactInfo->setFocusPolicy(Qt::StrongFocus);  // reachable by Tab, activated by Enter or Space
    QPalette link = lblContactInfo->palette();
    link.setColor(QPalette::WindowText, link.color(QPalette::Link));
    lblContactInfo->setPalette(link);
    QFont underlined = lblContactInfo->font();
    underlined.setUnderline(true);
    lblContactInfo->setFont(underlined);
    lblContactInfo->setGeometry(96, 200, 312, 24);
    lblContactInfo->installEventFilter(this);
}

void frmAbout::ContactClicked()
{
    // Opening the mailto: address hands it to the desktop, which needs the
    // connection check of any page that is not a local file.
    InternetConnection::OpenPage(QUrl(QStringLiteral("mailto:") + ContactAddress()));
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    // The layout sizes the panel to the window; its controls follow.
    if (watched == panel && event->type() == QEvent::Resize) m_resizer.ResizeControls();
    if (watched == lblContactInfo) {
        if (event->type() == QEvent::MouseButtonRelease
            && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            ContactClicked();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                ContactClicked();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Escape closes the window when it is released, as with the other keys
// nothing else happens; the press is swallowed so that it does not close
// the dialog early.
void frmAbout::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmAbout::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && !event->isAutoRepeat()) {
        close();
        return;
    }
    QDialog::keyReleaseEvent(event);
}

