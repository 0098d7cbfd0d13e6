#pragma once

#include "canopenservicehandler.h"

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

private:
    int m_channelId = 1;
};
