// A module scan: find every module on a serial line with DeviceFinder.
//
//   zapl simulate serial --modules 1,3,7 &
//   module_scan /dev/pts/3
//
// The scan runs in a thread of its own and never touches the handler. For each address it asks
// the host, by a signal that carries a pointer to a string, for the handler's answer, and reads
// the string once the emission returns. So both request signals must be connected directly (a
// handler living in the scan thread) or, as here, blocking-queued into the thread that owns the
// handler, which meanwhile runs its event loop. A queued connection would answer too late, into a
// string that no longer exists.
#include <devicefinder.h>
#include <serialcommandhandler.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: module_scan PORT\n");
        return 2;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("commandhandler*.debug=false"));

    SerialCommandHandler handler;
    handler.setObjectName(QStringLiteral("Serial construct No: 1"));
    // An empty address costs the reply time-out (500 ms unless set) plus the scan's own 110 ms;
    // a time-out shorter than the modules' reply time loses modules, so this keeps the default.
    if (!handler.openDevice(QString::fromLocal8Bit(argv[1])) || !handler.setDataRate(115200)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }

    DeviceFinder finder;
    finder.setIdFrom(1);
    finder.setIdTo(8);
    finder.setReplyID(2); // the host's own address: never asked

    // Run in this (the handler's) thread while the scan thread waits for them.
    QObject::connect(
        &finder, &DeviceFinder::handleGetModuleAndFirmwareVersion, &handler,
        [&handler](QString *text, quint8 address) { *text = handler.getModuleAndFirmwareVersion(address); },
        Qt::BlockingQueuedConnection);
    QObject::connect(
        &finder, &DeviceFinder::handleGetFirmwareVersion, &handler,
        [&handler](QString *text, quint8 address) { *text = handler.getFirmwareVersion(address); },
        Qt::BlockingQueuedConnection);

    // The reports arrive queued, in this thread, in the order the scan sent them.
    int found = 0;
    // `module` is the module's name; the firmware text usually names the module as well.
    QObject::connect(
        &finder, &DeviceFinder::foundModule, &handler, [](quint8 address, const QString &, const QString &firmware) {
            std::printf("module %d: %s\n", address, qPrintable(firmware));
        });
    QObject::connect(&finder, &DeviceFinder::modulesFound, &handler, [&found](int count) { found = count; });
    QObject::connect(&finder, &QThread::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    finder.start();
    app.exec();
    finder.wait();
    std::printf("%d modules found\n", found);
    return found > 0 ? 0 : 1;
}
