#include "stoponsignal.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// [0] written by the handler, [1] read on the event loop.
int signalFds[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalFds[0], &c, 1);
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

StopOnSignal::StopOnSignal(std::function<void()> stop)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFds) != 0)
        return;  // without it Ctrl-C ends the process at once, as by default
    notifier = std::make_unique<QSocketNotifier>(signalFds[1], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [stop] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(signalFds[1], &c, 1);
        stop();
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

StopOnSignal::~StopOnSignal()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (!notifier)
        return;
    notifier.reset();
    ::close(signalFds[0]);
    ::close(signalFds[1]);
    signalFds[0] = signalFds[1] = -1;
}
