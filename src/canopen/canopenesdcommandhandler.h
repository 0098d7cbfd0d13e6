#pragma once

#include "canopenservicehandler.h"

class VendorLibraryUse;

// CANopen master on an esd adapter (ntcan library), net 0.
class COMMANDHANDLER_EXPORT CANopenEsdCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    explicit CANopenEsdCommandHandler(QObject *parent = nullptr);
    ~CANopenEsdCommandHandler() override;

    void setDataRate(int kbit) override;
    bool openDevice(QVariant bitRate) override;
    bool closeDevice() override;

protected:
    bool sendFrame(const CanMessage &frame) override;
    bool takeFrame(CanMessage &frame) override;

private:
    int m_net = 0;
    qintptr m_handle = 0; // 0 = none
    VendorLibraryUse *m_library;
    bool m_libraryAvailable;
};
