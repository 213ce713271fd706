#include "app/EndRequests.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace folvane {

#ifdef Q_OS_UNIX
namespace {

int gEndPipe[2] = {-1, -1};

void onEndSignal(int)
{
    const int saved = errno; // a handler must leave errno as it found it
    const char byte = 1;
    // The socket does not block: when it is full, requests are waiting already.
    [[maybe_unused]] const auto written = ::write(gEndPipe[1], &byte, 1);
    errno = saved;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

TEndRequests::TEndRequests(QObject *parent) : QObject(parent)
{
    if (gEndPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, gEndPipe) != 0)
        return;
    notifier_ = new QSocketNotifier(gEndPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[64];
        while (::read(gEndPipe[0], bytes, sizeof bytes) > 0) {
        }
        emit Requested();
    });
    setHandler(onEndSignal);
}

TEndRequests::~TEndRequests()
{
    if (!notifier_)
        return;
    setHandler(SIG_DFL);
    delete notifier_;
    ::close(gEndPipe[0]);
    ::close(gEndPipe[1]);
    gEndPipe[0] = gEndPipe[1] = -1;
}
#else
// Elsewhere the platform's own handling of such requests stays.
TEndRequests::TEndRequests(QObject *parent) : QObject(parent) {}
TEndRequests::~TEndRequests() = default;
#endif

} // namespace folvane
