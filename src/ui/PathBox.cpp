#include "ui/PathBox.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

class EnterFilter : public QObject {
public:
    EnterFilter(QComboBox* box, std::function<void(const QString&)> go) : QObject(box), m_box(box), m_go(std::move(go)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || watched != m_box || !m_box->lineEdit())
            return QObject::eventFilter(watched, event);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter) return QObject::eventFilter(watched, event);
        m_go(m_box->lineEdit()->text());
        return true;
    }

private:
    QComboBox* m_box;
    std::function<void(const QString&)> m_go;
};

}  // namespace

void TakeTypedPaths(QComboBox* box, std::function<void(const QString&)> go)
{
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    box->installEventFilter(new EnterFilter(box, std::move(go)));
}
