// A CANopen SDO read from node 5 through a serial-line CAN adapter (SLCAN).
//
//   zapl simulate slcan --canopen-node 5 &
//   canopen_sdo_read /dev/pts/4
//
// The CANopen handlers never read the adapter by themselves: the host calls checkForCanMessage()
// again and again in the handler's thread, also while a service waits for its reply. A service
// waits in a nested event loop, so a timer of that thread keeps firing meanwhile; without the
// polling every SDO transfer ends in its time-out.
#include <canopenslcancommandhandler.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: canopen_sdo_read PORT\n");
        return 2;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("commandhandler*.debug=false"));

    CANopenSlCanCommandHandler master;
    master.setComPortName(QString::fromLocal8Bit(argv[1]));
    if (!master.openDevice(500)) { // bit rate in kbit/s
        std::fprintf(stderr, "cannot open the adapter on %s\n", argv[1]);
        return 1;
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &master, &CANopenHandlerInterface::checkForCanMessage);
    poll.start(1);

    // Result 1 is done; 4 is an abort by the node (its abort code in `info`), 6 a time-out.
    // After a read, `info` holds the number of bytes.
    QVariant value;
    unsigned int info = 0;
    unsigned char result = master.SDORead(5, 0x1000, 0, value, info); // device type: expedited
    if (result != 1) {
        std::printf("SDO read of 0x1000 failed: result %d, info 0x%08x\n", result, info);
        return 1;
    }
    std::printf("device type: 0x%08x\n", value.toUInt());
    result = master.SDORead(5, 0x1008, 0, value, info); // device name: segmented, the text as bytes
    if (result != 1) {
        std::printf("SDO read of 0x1008 failed: result %d, info 0x%08x\n", result, info);
        return 1;
    }
    std::printf("device name: %s (%u bytes)\n", value.toByteArray().constData(), info);
    master.closeDevice();
    return 0;
}
