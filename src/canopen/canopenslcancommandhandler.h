#pragma once

#include "canopenservicehandler.h"

/// CANopen master on a serial-line CAN adapter, named "CAN slCan", through an SLCANInterface
/// that is a child of the handler. openDevice() opens the port set by setComPortName(), sets the
/// bit rate (SLCANInterface::setBitrate(); any other rate fails the open) and opens the channel.
/// Received lines are parsed only while the owner's event loop runs. An adapter that goes away
/// is reported through handleDetachedDevice(), and services fail at once until the host opens
/// again. SYNC carries one byte, 0x01.
///
/// The port is a COM port on Windows; on Linux any serial device path.
class COMMANDHANDLER_EXPORT CANopenSlCanCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    /// A closed handler without a port name, at 1000 kbit/s.
    explicit CANopenSlCanCommandHandler(QObject *parent = nullptr);
    /// Closes the port.
    ~CANopenSlCanCommandHandler() override;

    /// Does nothing: the rate takes effect only through openDevice().
    void setDataRate(int kbit) override;
    /// Closes the channel and the port; false when the handler was not open.
    bool closeDevice() override;
    /// The port the next openDevice() opens.
    void setComPortName(const QString &name);
    /// Wait for the adapter's acknowledge after each frame (applied when the port opens).
    void setAckNakUsage(bool use);
    /// The adapter's own table decides: the rate passes unchanged.
    static int baudrateFromBitrate(int kbit) { return kbit; }
};
