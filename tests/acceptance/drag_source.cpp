// A desktop file manager's drag for the window tests: a small window that,
// when pressed, drags the files named on its command line (text/uri-list),
// offering copy or move with move proposed as file managers do. It prints
// the action the drop took (0 refused, 1 copy, 2 move) once the drag ends.
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include <cstdio>

class DragSource : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        QList<QUrl> urls;
        for (const QString& file : QApplication::arguments().mid(1)) urls.append(QUrl::fromLocalFile(file));
        auto* data = new QMimeData;
        data->setUrls(urls);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        std::printf("%d\n", int(drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction)));
        std::fflush(stdout);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    DragSource source(QStringLiteral("Files to drop"));
    source.setWindowTitle(QStringLiteral("Drag source"));
    source.setAccessibleName(QStringLiteral("Files to drop"));
    source.resize(160, 80);
    source.show();
    return app.exec();
}
