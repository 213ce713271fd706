#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/QtUiServices.h"
#include "app/uMain.h"
#include "app/uWaitForm.h"

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// A request to end (SIGTERM, SIGINT: a session ending, Ctrl+C) closes the windows the ordinary
// way, so the column layout is saved as on any close. The handler only writes a byte; the event
// loop does the rest.
int gEndPipe[2] = {-1, -1};

void requestEnd(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(gEndPipe[1], &byte, 1);
}

void closeOnEndRequest(QApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gEndPipe) != 0)
        return; // without it, the default handling ends the program as before
    auto *notifier = new QSocketNotifier(gEndPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte;
        [[maybe_unused]] const auto got = ::read(gEndPipe[0], &byte, 1);
        QApplication::closeAllWindows();
    });
    struct sigaction action {};
    action.sa_handler = requestEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
#endif

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
#ifdef Q_OS_UNIX
    closeOnEndRequest(app);
#endif

    folvane::TFMMain window;
    folvane::TWaitForm wait(&window);
    window.SetWaitForm(&wait);
    folvane::QtUiServices services(&window, &wait);
    folvane::SetUi(&services);

    // Centred on the desktop.
    window.move(window.screen()->availableGeometry().center() - window.rect().center());
    window.show();
    // A folder or catalogue named on the command line, once the window is up.
    if (!open.empty())
        QTimer::singleShot(0, &window, [&window, open] { window.OpenAtStart(open); });
    const int result = QApplication::exec();
    folvane::SetUi(nullptr);
    return result;
}
