#include "canopensocketcommandhandler.h"
#include "cansocketcommandhandler.h"
#include "command.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QTcpServer>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace {
double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

QString privateVirtualBus()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QStringLiteral("tcp://127.0.0.1:%1/can0").arg(probe.serverPort());
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("commandhandler.debug=false\nqt.canbus*.info=false"));
    const int uploads = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 200;
    const int requests = argc > 2 ? QString::fromLatin1(argv[2]).toInt() : 2000;
    const QString bus = privateVirtualBus();
    QProcess simulator;
    simulator.start(QStringLiteral(CH_ZAPL_BINARY),
        { "simulate", "qtcan", "--interface", bus, "--modules", "1", "--canopen-node", "5" });
    if (!simulator.waitForReadyRead(10000)) {
        std::printf("the simulator did not start\n");
        return 1;
    }
    const QVariantList device { 1000, bus, QStringLiteral("virtualcan") };

    // SDO: zapl's host-style polling, a zero-interval timer that takes one frame per call.
    CANopenSocketCommandHandler master;
    master.setSDOTimeout(1000);
    if (!master.openDevice(device)) {
        std::printf("cannot open %s\n", qPrintable(bus));
        return 1;
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &master, &CANopenHandlerInterface::checkForCanMessage);
    poll.start(0);
    QByteArray kilobyte(1000, '\0');
    for (int i = 0; i < kilobyte.size(); ++i)
        kilobyte[i] = char(i);
    unsigned int info = 0;
    if (master.SDOWrite(5, 0x2001, 0, unsigned(kilobyte.size()), kilobyte, info) != 1) {
        std::printf("segmented download failed\n");
        return 1;
    }
    int good = 0;
    QElapsedTimer wall;
    wall.start();
    double cpu0 = threadCpuMs();
    for (int i = 0; i < uploads; ++i) {
        QVariant value;
        good += master.SDORead(5, 0x2001, 0, value, info) == 1 && value.toByteArray() == kilobyte;
    }
    double wallMs = wall.nsecsElapsed() / 1e6;
    double cpuMs = threadCpuMs() - cpu0;
    std::printf("SDO segmented upload of 1000 bytes over virtualcan: %d/%d good, %.1f ms each, %.1f kB/s "
                "(host thread CPU %.1f ms each)\n",
        good, uploads, wallMs / uploads, 1000.0 * uploads / wallMs, cpuMs / uploads);
    poll.stop();
    master.closeDevice();

    // ZAPL: one GAP after the other.
    CANSocketCommandHandler zapl;
    zapl.setReplyID(2);
    zapl.filterAddId(2);
    if (!zapl.openDevice(device))
        return 1;
    Command gap(1, 6, 1, 0, 0), reply;
    good = 0;
    wall.restart();
    cpu0 = threadCpuMs();
    for (int i = 0; i < requests; ++i) {
        zapl.doDirectRequest(&gap, &reply);
        good += reply.isValid();
    }
    wallMs = wall.nsecsElapsed() / 1e6;
    cpuMs = threadCpuMs() - cpu0;
    std::printf("ZAPL requests over virtualcan: %d/%d replies, %.0f requests/s, %.1f us CPU (host thread) each\n", good,
        requests, requests / (wallMs / 1e3), cpuMs * 1e3 / requests);
    zapl.closeDevice();
    simulator.terminate();
    simulator.waitForFinished(5000);
    return 0;
}
