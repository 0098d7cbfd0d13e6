#pragma once

#include "canopenservicehandler.h"

class VendorLibraryUse;

// CANopen master on a PEAK adapter (PCAN-Basic library); channel 1 is the first USB channel.
class COMMANDHANDLER_EXPORT CANopenPeakCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    explicit CANopenPeakCommandHandler(QObject *parent = nullptr);
    ~CANopenPeakCommandHandler() override;

    // The rate takes effect only through openDevice().
    void setDataRate(int kbit) override;
    bool openDevice(QVariant bitRate) override;
    bool closeDevice() override;
    void setChannelID(int channel) { m_channelId = channel; }
    static unsigned short baudrateFromBitrate(int kbit);

protected:
    bool sendFrame(const CanMessage &frame) override;
    bool takeFrame(CanMessage &frame) override;

private:
    int m_channelId = 1;
    unsigned short m_channel = 0xFF; // 0xFF = none
    VendorLibraryUse *m_library;
};
