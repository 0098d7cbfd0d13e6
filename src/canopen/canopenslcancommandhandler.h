#pragma once

#include "canopenservicehandler.h"

class SLCANInterface;

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
    bool openDevice(QVariant bitRate) override;
    bool closeDevice() override;
    void setComPortName(const QString &name) { m_portName = name; }
    // Wait for the adapter's acknowledge after each frame (applied when the port opens).
    void setAckNakUsage(bool use) { m_useAckNak = use; }
    static int baudrateFromBitrate(int kbit) { return kbit; }

protected:
    bool sendFrame(const CanMessage &frame) override;
    bool takeFrame(CanMessage &frame) override;

private:
    QString m_portName;
    bool m_useAckNak = false;
    SLCANInterface *m_slcan; // child object
};
