// Round-trip time of doDirectRequest over a pseudo-terminal against the simulator, next to a
// bare write-9/read-9 echo over the same kind of pseudo-terminal, and the CPU time the
// calling thread spends per request on each reading strategy.
#include "serialcommandhandler.h"
#include "serialserver.h"
#include "simpty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {
struct Figures
{
    double wallUsPerRequest = 0;
    double cpuUsPerRequest = 0;
    int failures = 0;
};

double threadCpuUs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

bool readExactly(int fd, char *buf, int size, int timeoutMs)
{
    int got = 0;
    while (got < size) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        const ssize_t n = ::read(fd, buf + got, size_t(size - got));
        if (n <= 0)
            return false;
        got += int(n);
    }
    return true;
}

Figures rawEcho(int rounds)
{
    SimPty pty;
    std::atomic<bool> stop { false };
    std::thread echo([&] {
        QByteArray pending;
        while (!stop) {
            pending += pty.read(10);
            while (pending.size() >= 9) {
                pty.write(pending.left(9));
                pending.remove(0, 9);
            }
        }
    });
    Figures f;
    const int fd = ::open(QFile::encodeName(pty.path()).constData(), O_RDWR | O_NOCTTY);
    termios tio {};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    const char request[9] = { 1, 6, 0, 0, 0, 0, 0, 0, 7 };
    char reply[9];
    QElapsedTimer clock;
    const double cpu0 = threadCpuUs();
    clock.start();
    for (int i = 0; i < rounds; ++i)
        if (::write(fd, request, 9) != 9 || !readExactly(fd, reply, 9, 500))
            ++f.failures;
    f.wallUsPerRequest = clock.nsecsElapsed() / 1e3 / rounds;
    f.cpuUsPerRequest = (threadCpuUs() - cpu0) / rounds;
    ::close(fd);
    stop = true;
    echo.join();
    return f;
}

Figures handlerRoundTrip(int rounds, bool usb)
{
    SerialServer server({ 1 });
    server.start();
    SerialCommandHandler handler;
    handler.setObjectName(usb ? QStringLiteral("USB construct No: 1") : QStringLiteral("Serial construct No: 1"));
    Figures f;
    if (!handler.openDevice(server.path()) || !handler.setDataRate(115200)) {
        f.failures = rounds;
        return f;
    }
    Command store(1, 5, 0, 0, 4711);
    Command reply;
    handler.doDirectRequest(&store, &reply);
    const int before = server.requestCount();
    Command request(1, 6, 0, 0, 0);
    QElapsedTimer clock;
    const double cpu0 = threadCpuUs();
    clock.start();
    for (int i = 0; i < rounds; ++i) {
        handler.doDirectRequest(&request, &reply);
        if (!reply.isValid() || reply.value() != 4711)
            ++f.failures;
    }
    f.wallUsPerRequest = clock.nsecsElapsed() / 1e3 / rounds;
    f.cpuUsPerRequest = (threadCpuUs() - cpu0) / rounds;
    // Every request must have reached the module, or the figures are not round trips.
    f.failures += rounds - (server.requestCount() - before);
    return f;
}

void print(const char *name, const Figures &f, double base)
{
    std::printf("%-28s %9.1f us/request  %8.1f us CPU/request  ratio %5.2f  failures %d\n", name, f.wallUsPerRequest,
        f.cpuUsPerRequest, base > 0 ? f.wallUsPerRequest / base : 0.0, f.failures);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 1000;
    std::printf("%d round trips each\n", rounds);
    const Figures raw = rawEcho(rounds);
    print("raw write-9/read-9 echo", raw, raw.wallUsPerRequest);
    print("doDirectRequest plain", handlerRoundTrip(rounds, false), raw.wallUsPerRequest);
    print("doDirectRequest USB", handlerRoundTrip(rounds, true), raw.wallUsPerRequest);
    return 0;
}
