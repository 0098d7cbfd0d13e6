#include "canslcancommandhandler.h"
#include "command.h"
#include "slcanparser_p.h"
#include "slcanserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <ctime>

namespace {
double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Frames per second through the parser alone, fed in the 255-byte chunks the port reads.
double parserRate(int frames)
{
    QByteArray stream;
    for (int i = 0; i < 64; ++i)
        stream += QByteArray("t1238") + QByteArray::number(quint64(i), 16).rightJustified(16, '0') + '\r';
    QByteArray text;
    int state = 0, pos = 0, parsed = 0;
    CanMessage frame;
    QElapsedTimer clock;
    clock.start();
    while (parsed < frames) {
        for (int at = 0; at < stream.size(); at += 255) {
            text.append(stream.constData() + at, qMin(255, int(stream.size()) - at));
            while (SlcanLineParser::step(text, state, pos, true, frame) == SlcanLineParser::Event::Frame)
                ++parsed;
        }
    }
    return parsed / (clock.nsecsElapsed() / 1e9);
}

QString pythonRate(int frames)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(CH_SOURCE_DIR "/bench/slcan/python_slcan_rate.py"), QString::number(frames) });
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return QStringLiteral("unavailable (python3-can missing?)");
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int frames = 2000000;
    std::printf("SLCAN parser (ours): %.0f frames/s over %d frames\n", parserRate(frames), frames);
    std::printf(
        "SLCAN line handling (python-can 'loop://'): %s frames/s over 20000 frames\n", qPrintable(pythonRate(20000)));

    SlcanServer server({ 1 });
    server.start();
    CANSlCanCommandHandler handler;
    handler.setComPortName(server.path());
    if (!handler.openDevice(1000)) {
        std::printf("cannot open the simulated adapter\n");
        return 1;
    }
    const int requests = 2000;
    Command gap(1, 6, 1, 0, 0);
    Command reply;
    int ok = 0;
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = threadCpuMs();
    for (int i = 0; i < requests; ++i) {
        handler.doDirectRequest(&gap, &reply);
        ok += reply.isValid();
    }
    const double cpuMs = threadCpuMs() - cpu0;
    const double wallMs = wall.nsecsElapsed() / 1e6;
    std::printf("ZAPL round trip over the SLCAN simulator: %d/%d replies, %.1f us wall and %.1f us CPU (host thread) "
                "per request\n",
        ok, requests, wallMs * 1e3 / requests, cpuMs * 1e3 / requests);
    return 0;
}
