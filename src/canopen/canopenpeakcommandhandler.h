#pragma once

#include "canopenservicehandler.h"

// The library's message record; a host that includes the vendor's header passes its own.
struct tagTPCANMsg;

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
    // Apply the reporting rules to a frame in the library's record.
    void emitSentCanMessage(tagTPCANMsg *message);
    void emitReceivedCanMessage(tagTPCANMsg *message);
    using CANopenServiceHandler::emitReceivedCanMessage;
    using CANopenServiceHandler::emitSentCanMessage;

private:
    int m_channelId = 1;
};
