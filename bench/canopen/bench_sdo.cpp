#include "canopennode.h"
#include "canopenslcancommandhandler.h"
#include "slcanserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

// bench_sdo [RUNS]: kB/s of segmented SDO uploads and downloads of 1000 bytes, the owner polling
// as zapl does.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    constexpr int kBytes = 1000;
    SlcanServer server({});
    if (!server.start()) {
        std::printf("no pseudo-terminal\n");
        return 1;
    }
    CanOpenNode node(5);
    node.attachTo(server.bus());
    QByteArray data(kBytes, '\0');
    for (int i = 0; i < kBytes; ++i)
        data[i] = char(i * 7);
    node.setEntry(0x2100, 0, data, true, 0);

    CANopenSlCanCommandHandler h;
    h.setComPortName(server.path());
    if (!h.openDevice(QVariant(1000))) {
        std::printf("cannot open the simulated adapter\n");
        return 1;
    }
    // zapl's polling: at once after a frame was taken and while a transfer waits, else after 1 ms.
    QTimer poll;
    poll.setSingleShot(true);
    bool took = false;
    QObject::connect(&h, &CANopenHandlerInterface::receivedCanMessage, &poll, [&took] { took = true; });
    QObject::connect(&poll, &QTimer::timeout, &h, [&] {
        took = false;
        h.checkForCanMessage();
        poll.start(took || h.isBusy() ? 0 : 1);
    });
    poll.start(0);

    std::vector<double> up, down;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        unsigned int info = 0;
        QVariant value;
        QElapsedTimer clock;
        clock.start();
        const unsigned char read = h.SDORead(5, 0x2100, 0, value, info);
        up.push_back(kBytes / (clock.nsecsElapsed() / 1e9) / 1000);
        clock.restart();
        const unsigned char written = h.SDOWrite(5, 0x2100, 0, unsigned(kBytes), data, info);
        down.push_back(kBytes / (clock.nsecsElapsed() / 1e9) / 1000);
        failures += (read != 1 || value.toByteArray() != data) + (written != 1);
    }
    for (auto *series : { &up, &down })
        std::sort(series->begin(), series->end());
    std::printf("SDO segmented, %d bytes, %d runs, SLCAN simulator, zapl's polling\n", kBytes, runs);
    std::printf("upload:   median %.1f kB/s, min %.1f, max %.1f\n", up[up.size() / 2], up.front(), up.back());
    std::printf("download: median %.1f kB/s, min %.1f, max %.1f\n", down[down.size() / 2], down.front(), down.back());
    std::printf("failed transfers: %d\n", failures);
    return failures ? 1 : 0;
}
