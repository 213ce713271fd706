#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/EndRequests.h"
#include "app/QtUiServices.h"
#include "app/SystemForms.h"
#include "app/uMain.h"
#include "app/uWaitForm.h"

namespace {

// Errors that escape an event handler end at the application's handler, which drops them.
class TApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            folvane::IgnoreException();
            return false;
        }
    }
};

// With FOLVANE_REPORT_READY set, the program prints "ready" on a line of its own once its window
// is on screen and set up, so that a test that starts it waits for that rather than for a time.
void reportReadyWhenAsked()
{
    if (qEnvironmentVariableIsEmpty("FOLVANE_REPORT_READY"))
        return;
    QTimer::singleShot(0, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    // The user's date, time and number forms (read with QtCore alone: no application object),
    // then the command line, which may end the run before any window or display is touched.
    folvane::InstallSystemForms();
    std::string open;
    if (const std::optional<int> status = folvane::RunCommandLine(argc, argv, open))
        return *status;

    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));

    folvane::TFMMain window;
    folvane::TWaitForm wait(&window);
    window.SetWaitForm(&wait);
    folvane::QtUiServices services(&window, &wait);
    folvane::SetUi(&services);
    // A request to end (a session ending, Ctrl+C) closes the window the ordinary way, once work
    // running has ended, so the layout is saved as on any close.
    folvane::TEndRequests endRequests;
    QObject::connect(&endRequests, &folvane::TEndRequests::Requested, &window, &folvane::TFMMain::RequestEnd);

    // Centred on the desktop.
    window.move(window.screen()->availableGeometry().center() - window.rect().center());
    window.show();
    reportReadyWhenAsked();
    // A folder or catalogue named on the command line, once the window is up.
    if (!open.empty())
        QTimer::singleShot(0, &window, [&window, open] { window.OpenAtStart(open); });
    const int result = QApplication::exec();
    folvane::SetUi(nullptr);
    return result;
}
