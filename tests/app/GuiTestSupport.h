#pragma once
// What the GUI tests share: one QApplication for the test process (on the offscreen platform,
// set by the test runner), waiting for queued work, and checking that labels show their whole text.

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace folvane::test {

inline QApplication &GuiApp()
{
    static int argc = 1;
    static char name[] = "folvane-gui-tests";
    static char *argv[] = {name, nullptr};
    static QApplication *app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs the event loop until `done` holds or `ms` pass; answers whether it held.
inline bool WaitUntil(const std::function<bool()> &done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

inline void Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// While it lives, hands every dialog of type D that is shown to `act`, from the event loop once
// the dialog is on screen (in its own event loop, for a modal one). A test acts on a dialog when
// it is there rather than after a time.
template <typename D> class OnDialogShown final : public QObject {
public:
    explicit OnDialogShown(std::function<void(D &)> act) : act_(std::move(act)) { qApp->installEventFilter(this); }
    ~OnDialogShown() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            if (auto *dialog = qobject_cast<D *>(watched))
                QTimer::singleShot(0, this, [this, shown = QPointer<D>(dialog)] {
                    if (shown)
                        act_(*shown);
                });
        return false;
    }

private:
    std::function<void(D &)> act_;
};

// The labels under `root` whose text does not fit their width (one line each).
inline std::vector<std::string> ClippedLabels(const QWidget &root)
{
    std::vector<std::string> clipped;
    for (const QLabel *label : root.findChildren<QLabel *>()) {
        if (label->text().isEmpty() || label->wordWrap())
            continue;
        const int need = label->fontMetrics().horizontalAdvance(label->text().remove(QLatin1Char('&')));
        const int room = label->contentsRect().width();
        if (need > room || label->fontMetrics().height() > label->contentsRect().height() + 1)
            clipped.push_back(label->objectName().toStdString() + ": " + label->text().toStdString());
    }
    return clipped;
}

} // namespace folvane::test
