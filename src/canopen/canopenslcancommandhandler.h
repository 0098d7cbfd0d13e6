#pragma once

#include "canopenservicehandler.h"

// CANopen master on a serial-line CAN adapter.
class COMMANDHANDLER_EXPORT CANopenSlCanCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    explicit CANopenSlCanCommandHandler(QObject *parent = nullptr);
    ~CANopenSlCanCommandHandler() override;

    // The rate takes effect only through openDevice().
    void setDataRate(int kbit) override;
    bool closeDevice() override;
    void setComPortName(const QString &name);
    // Wait for the adapter's acknowledge after each frame (applied when the port opens).
    void setAckNakUsage(bool use);
    // The adapter's own table decides: the rate passes unchanged.
    static int baudrateFromBitrate(int kbit) { return kbit; }
};
