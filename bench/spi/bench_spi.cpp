// Figures for the SPI bridge, against the FTDI fakes:
//   LD_LIBRARY_PATH=<build>/fakes/ftd2xx:<build>/fakes/ft4222 <build>/bin/bench_spi
// Prints live packets per second through the reader thread, register-read round trips, and
// the splitter's parse rate on its own.
#include "ft4222hcommandhandler.h"
#include "ft4222hpacketsplitter_p.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLibrary>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QLibrary fake(QStringLiteral("ft4222"));
    if (!fake.load()) {
        std::fprintf(stderr, "libft4222.so (fake) not found on LD_LIBRARY_PATH\n");
        return 1;
    }
    reinterpret_cast<void (*)(int)>(fake.resolve("fake_setLiveRate"))(0);

    FT4222HCommandHandler handler;
    if (!handler.openDevice(QVariant())) {
        std::fprintf(stderr, "open failed\n");
        return 1;
    }

    // Register-read round trip: frame, acknowledge, reply packet through the reader.
    std::vector<double> us;
    for (int i = 0; i < 2000; ++i) {
        Command request(1, 148, quint16(i % 16), 0, 0), reply;
        QElapsedTimer t;
        t.start();
        handler.doDirectRequest(&request, &reply);
        if (reply.isValid())
            us.push_back(double(t.nsecsElapsed()) / 1000.0);
    }
    std::sort(us.begin(), us.end());
    if (!us.empty())
        std::printf("register read round trip: n=%zu median %.1f us, p99 %.1f us, max %.1f us\n", us.size(),
            us[us.size() / 2], us[us.size() * 99 / 100], us.back());

    // Reader throughput: live packets as fast as the fake produces them.
    std::atomic<long> packets { 0 };
    QObject::connect(
        &handler, &FT4222HCommandHandler::liveDataAvailable, &handler,
        [&packets](uchar, uchar, int) { packets.fetch_add(1, std::memory_order_relaxed); }, Qt::DirectConnection);
    handler.startDebugger();
    QElapsedTimer t;
    t.start();
    const long before = packets.load();
    while (t.elapsed() < 2000)
        QThread::msleep(10);
    const long counted = packets.load() - before;
    std::printf("reader: %.0f live packets/s over %.2f s\n", double(counted) * 1000.0 / double(t.elapsed()),
        double(t.elapsed()) / 1000.0);
    handler.stopDebugger();
    handler.closeDevice();

    // The splitter alone.
    std::vector<quint8> stream;
    for (int i = 0; i < 100000; ++i) {
        const quint8 p[7] = { 0x50, quint8(0x60 | (i & 3)), quint8(i), 0, 0, quint8(i >> 8), quint8(i) };
        stream.insert(stream.end(), p, p + 7);
    }
    FT4222HPacketSplitter splitter;
    long parsed = 0;
    QElapsedTimer s;
    s.start();
    for (size_t i = 0; i < stream.size(); i += 7) {
        splitter.append(&stream[i], 7);
        splitter.split([&parsed](const FT4222HPacketSplitter::Packet &) { ++parsed; }, [](qint8, int) {});
    }
    std::printf("splitter: %ld packets in %.2f ms (%.1f M packets/s)\n", parsed, double(s.nsecsElapsed()) / 1e6,
        double(parsed) / (double(s.nsecsElapsed()) / 1e9) / 1e6);
    return 0;
}
