#include "app/WorkRunner.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <atomic>
#include <exception>
#include <stdexcept>
#include <thread>

namespace folvane {

TWorkRunner::TWorkRunner(QWidget *window) : window_(window)
{
    qApp->installEventFilter(this);
}

TWorkRunner::~TWorkRunner()
{
    qApp->removeEventFilter(this);
}

void TWorkRunner::Run(const std::function<void()> &work)
{
    if (busy_)
        throw std::logic_error("work is already running");
    busy_ = true;
    struct Idle {
        bool &busy;
        ~Idle() { busy = false; } // on every way out: the window must not stay refusing input
    } idle{busy_};

    // The worker's end is told through an atomic, not through an event: whatever else happens to
    // the event loops, the wait below ends on this and only on this. The wake-up only makes the
    // UI thread look again.
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread());
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        finished.store(true, std::memory_order_release);
        dispatcher->wakeUp();
    });
    // Events are processed one batch at a time rather than by an event loop of our own, which a
    // quit from elsewhere would end (and which, once the application is quitting, would not run).
    while (!finished.load(std::memory_order_acquire))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join(); // the worker has nothing left to do but return
    if (failure)
        std::rethrow_exception(failure);
}

bool TWorkRunner::eventFilter(QObject *watched, QEvent *event)
{
    if (!busy_ || !watched->isWidgetType() || static_cast<QWidget *>(watched)->window() != window_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod: // text committed by an input method is typing too
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;
    case QEvent::ShortcutOverride:
        // Accepted here, a key that would be a shortcut of the window (Alt+O) is none.
        event->accept();
        return true;
    default:
        return false;
    }
}

} // namespace folvane
