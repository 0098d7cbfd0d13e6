#pragma once

#include "canopenservicehandler.h"

// The library's message record; a host that includes the vendor's header passes its own.
struct tagTPCANMsg;

/// CANopen master on a PEAK adapter (PCAN-Basic library), named "CANopen PEAK"; channel 1 is the
/// first USB channel. The bit rate is applied when openDevice() initialises the channel. A
/// missing library shows a critical message box "Error at loading library" (only with a
/// QApplication, on its thread), whose text names PCANBasic.dll on every platform. SYNC carries
/// one byte, 0x01.
///
/// The library is PCANBasic.dll on Windows, libpcanbasic.so on Linux.
class COMMANDHANDLER_EXPORT CANopenPeakCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    /// A closed handler on channel 1 at 1000 kbit/s.
    explicit CANopenPeakCommandHandler(QObject *parent = nullptr);
    /// Writes the channel's bus status (when a channel was chosen) and gives the channel back.
    ~CANopenPeakCommandHandler() override;

    /// Does nothing: the rate takes effect only through openDevice().
    void setDataRate(int kbit) override;
    /// Initialises PCAN channel 0x50 + setChannelID() at the bit rate `bitRate` holds (kbit/s);
    /// a caution status counts as success.
    bool openDevice(QVariant bitRate) override;
    /// Gives the channel back; whether it was open.
    bool closeDevice() override;
    /// The channel the next openDevice() opens: 1 to 8 are the USB channels.
    void setChannelID(int channel) { m_channelId = channel; }
    /// PCAN-Basic bit-rate code for a rate in kbit/s (the code of 1000 for unlisted rates).
    static unsigned short baudrateFromBitrate(int kbit);
    /// Applies the sent-frame reporting rules to a frame in the library's record (null: nothing).
    void emitSentCanMessage(tagTPCANMsg *message);
    /// Applies the received-frame reporting rules to a frame in the library's record (null:
    /// nothing).
    void emitReceivedCanMessage(tagTPCANMsg *message);
    using CANopenServiceHandler::emitReceivedCanMessage;
    using CANopenServiceHandler::emitSentCanMessage;

private:
    int m_channelId = 1;
};
