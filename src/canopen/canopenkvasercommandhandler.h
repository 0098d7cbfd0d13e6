#pragma once

#include "canopenservicehandler.h"

class VendorLibraryUse;

// CANopen master on a Kvaser adapter (canlib library), channel 0.
class COMMANDHANDLER_EXPORT CANopenKvaserCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    explicit CANopenKvaserCommandHandler(QObject *parent = nullptr);
    ~CANopenKvaserCommandHandler() override;

    void setDataRate(int kbit) override;
    bool openDevice(QVariant bitRate) override;
    bool closeDevice() override;

protected:
    bool sendFrame(const CanMessage &frame) override;
    bool takeFrame(CanMessage &frame) override;

private:
    void shutChannel();

    int m_handle = -1;
    VendorLibraryUse *m_library;
};
