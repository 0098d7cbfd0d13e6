#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

#include <QString>

/// ZAPL over a serial-line CAN adapter, named "CAN SLCAN", through an SLCANInterface that is a
/// child of the handler. openDevice() opens the port, sets the bit rate (10, 20, 50, 100, 125,
/// 250, 500, 800 or 1000 kbit/s; any other fails the open and leaves the port open) and opens
/// the channel. Received lines are parsed only while the event loop runs: the reply wait lets
/// it run before each take. An adapter that goes away is reported through
/// CommandHandlerInterface::handleDetachedDevice() and a "Port Lost" fault, and later requests
/// fail at once until the host opens again.
///
/// The port is a COM port on Windows; on Linux any serial device path, such as /dev/ttyACM0 or
/// a pseudo-terminal of the simulator.
class COMMANDHANDLER_EXPORT CANSlCanCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    /// A closed handler without a port name.
    explicit CANSlCanCommandHandler(QObject *parent = nullptr);
    /// Closes the port.
    ~CANSlCanCommandHandler() override;

    /// The port the next openDevice() opens; ignored while the device is open.
    void setComPortName(const QString &name);
    /// The port name set by setComPortName().
    QString comPortName() const;
    /// Wait for the adapter's acknowledge after each frame (applied when the port opens).
    void setAckNakUsage(bool use);
};
