#include "console.h"
#include "zapl.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int wakeFds[2] = { -1, -1 }; // the self-pipe: the handler writes, the event loop reads

extern "C" void onControlSignal(int)
{
    // A second Ctrl-C ends a command that does not come back from a blocking call.
    if (zapl::interruptCount().fetch_add(1) > 0)
        _exit(zapl::ExitInterrupted);
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}
} // namespace

namespace zapl {

void installInterruptHandler()
{
    if (::pipe(wakeFds) != 0)
        return;
    for (int fd : wakeFds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    auto *notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, Interrupt::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, Interrupt::instance(), [] {
        char bytes[16];
        while (::read(wakeFds[0], bytes, sizeof bytes) > 0) { }
        notifyInterrupt();
    });
    struct sigaction action = {};
    action.sa_handler = onControlSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read of standard input returns, so that the command sees the request.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool isTerminal(std::FILE *stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

} // namespace zapl
