#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so
// that the program can shut down as if the user had closed it. On systems
// without these signals it does nothing.
class UnixSignalWatcher final : public QObject {
    Q_OBJECT
public:
    explicit UnixSignalWatcher(QObject* parent = nullptr);
    ~UnixSignalWatcher() override;

Q_SIGNALS:
    void terminationRequested();

private:
    QSocketNotifier* m_pNotifier = nullptr;
};
