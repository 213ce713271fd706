#pragma once
// Requests to end the program that arrive as signals: SIGTERM (a session ending, `kill`) and
// SIGINT (Ctrl+C in the terminal that started it). The handler only writes a byte; the event loop
// of the thread that owns the object reads it and emits Requested, so everything the request
// leads to runs on that thread as an ordinary event.

#include <QObject>

class QSocketNotifier;

namespace folvane {

class TEndRequests final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers for the whole process; one object at a time. Without the means to
    // install them the default handling stays, which ends the program at once.
    explicit TEndRequests(QObject *parent = nullptr);
    // Restores the default handling.
    ~TEndRequests() override;

signals:
    // A request arrived; several arriving at once may come as one.
    void Requested();

private:
    QSocketNotifier *notifier_ = nullptr;
};

} // namespace folvane
