#pragma once

#include "canopenservicehandler.h"

class VendorLibraryUse;

// CANopen master on the first IXXAT adapter with a CAN socket (vciapi library). The adapter
// objects are process-wide: one IXXAT connection exists at a time.
class COMMANDHANDLER_EXPORT CANopenIxxatCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    explicit CANopenIxxatCommandHandler(QObject *parent = nullptr);
    ~CANopenIxxatCommandHandler() override;

    void setDataRate(int kbit) override;
    bool openDevice(QVariant bitRate) override;
    bool closeDevice() override;

protected:
    bool sendFrame(const CanMessage &frame) override;
    bool takeFrame(CanMessage &frame) override;

private:
    VendorLibraryUse *m_library;
};
