#include "ui/clsResizer.h"

#include <QFrame>
#include <QGroupBox>
#include <QLayout>

namespace {

// Plain containers whose children are controls of the window; every other
// widget's children are its own business.
bool IsContainer(const QWidget* w)
{
    const QMetaObject* meta = w->metaObject();
    return meta == &QWidget::staticMetaObject || meta == &QFrame::staticMetaObject
           || meta == &QGroupBox::staticMetaObject;
}

}  // namespace

void clsResizer::PrepareClass(QWidget* xForm)
{
    m_xForm = xForm;
    m_ratios.clear();
    if (xForm) Record(xForm);
}

void clsResizer::Record(QWidget* xContainer)
{
    if (xContainer->layout()) return;  // a layout already places these
    const double width = xContainer->width();
    const double height = xContainer->height();
    const QList<QWidget*> children = xContainer->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : children) {
        if (control->isWindow()) continue;
        if (width > 0 && height > 0) {
            const QRect g = control->geometry();
            m_ratios.append(Ratios{control, g.x() / width, g.y() / height, g.width() / width, g.height() / height});
        }
        if (IsContainer(control)) Record(control);
    }
}

void clsResizer::AddControlToIgnore(QWidget* xControl) { m_ignored.append(xControl); }

void clsResizer::ResizeControls()
{
    if (!m_xForm) return;
    for (const Ratios& r : std::as_const(m_ratios)) {
        QWidget* control = r.control;
        if (!control || m_ignored.contains(control)) continue;
        const QWidget* container = control->parentWidget();
        if (!container) continue;
        const double width = container->width();
        const double height = container->height();
        control->setGeometry(qRound(r.left * width), qRound(r.top * height), qRound(r.width * width),
                             qRound(r.height * height));
    }
}
