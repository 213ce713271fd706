#pragma once
// TWorkRunner: runs one piece of work at a time on a worker thread while the UI thread goes on
// processing its events, so the progress window keeps painting and the dialogs the work asks for
// (through the UI services) can be shown.
//
// Meanwhile the window it guards takes no input: mouse buttons, keys, typed text, the wheel,
// context menus and its shortcuts are refused, not queued; the progress window and dialogs take
// theirs. The wait ends only when the worker itself has finished: an event loop quitting, the
// application being asked to quit or a dialog opened and closed meanwhile do not end it, so the UI
// thread never waits in join() for a worker that is waiting on the UI thread.

#include <QObject>

#include <functional>

class QWidget;

namespace folvane {

class TWorkRunner final : public QObject {
    Q_OBJECT
public:
    // `window` is the window whose input is refused while work runs; it must outlive the runner.
    explicit TWorkRunner(QWidget *window);
    ~TWorkRunner() override;

    bool Busy() const { return busy_; }

    // On the UI thread: runs `work` on a worker thread and returns once it has finished, having
    // processed the UI thread's events meanwhile; rethrows what the work threw. Work that is
    // already running is not joined by more: the call throws std::logic_error.
    void Run(const std::function<void()> &work);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window_;
    bool busy_ = false;
};

} // namespace folvane
