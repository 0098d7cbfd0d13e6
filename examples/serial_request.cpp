// A request over a serial line: write a parameter of module 1 and read it back.
//
//   zapl simulate serial &          # prints its pseudo-terminal, e.g. /dev/pts/3
//   serial_request /dev/pts/3       # a serial port or USB virtual COM port: /dev/ttyUSB0, COM3
//
// Each request blocks the calling thread until the reply or the time-out (500 ms unless set):
// no event loop is needed, and there is no queue: one request at a time, from the handler's thread.
#include <commandhandler_version.h>
#include <serialcommandhandler.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: serial_request PORT\n");
        return 2;
    }
    // The library writes under the categories "commandhandler" and "commandhandler.*": a host
    // silences them without silencing its own lines (QT_LOGGING_RULES does it from outside).
    QLoggingCategory::setFilterRules(QStringLiteral("commandhandler*.debug=false"));
    std::printf("CommandHandler %s\n", COMMANDHANDLER_VERSION_STRING);

    SerialCommandHandler handler;
    // The object name selects how replies are read: "Serial construct No: " and a number for a
    // serial line, "USB construct No: " and a number for a USB virtual COM port.
    handler.setObjectName(QStringLiteral("Serial construct No: 1"));
    if (!handler.openDevice(QString::fromLocal8Bit(argv[1])) || !handler.setDataRate(115200)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    // A module that does not answer is reported here (and by handleDetachedDevice).
    QObject::connect(&handler, &CommandHandlerInterface::faultsMessage, [](const QVariantHash &faults) {
        for (auto it = faults.cbegin(); it != faults.cend(); ++it)
            std::printf("fault: %s, module %d\n", qPrintable(it.key()), it.value().toInt());
    });

    // Address, command, type, motor or bank, value: SAP (5) writes axis parameter 4 of motor 0,
    // GAP (6) reads it back.
    Command write(1, 5, 4, 0, 1000);
    Command read(1, 6, 4, 0, 0);
    Command reply;
    handler.doDirectRequest(&write, &reply);
    if (!reply.isValid()) {
        std::printf("module 1 did not answer\n");
        return 1;
    }
    handler.doDirectRequest(&read, &reply);
    // Status 100 is success; the reply is invalid when no reply came in time.
    std::printf("GAP 4 0 answered: valid %d, status %d, value %d\n", reply.isValid(), reply.status(), reply.value());

    // Module type and firmware, as eight characters such as "1161V207" (empty without an answer).
    std::printf("module 1 is %s\n", qPrintable(handler.getModuleAndFirmwareVersion(1)));
    handler.closeDevice();
    return reply.isValid() && reply.status() == 100 ? 0 : 1;
}
