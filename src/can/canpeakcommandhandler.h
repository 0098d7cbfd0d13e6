#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

#include <QString>
#include <QVariant>

class PeakAdapter;

/// ZAPL over a PEAK adapter, named "CAN PEAK"; net number 1 and 2 select the first two USB
/// channels. The bit rate is applied when openDevice() initialises the channel; a reset clears a
/// bus-light or bus-heavy channel before each write. A missing library shows a critical message
/// box "Error at loading library" (only with a QApplication, on its thread), whose text names
/// PCANBasic.dll on every platform.
///
/// The library is PCANBasic.dll on Windows, libpcanbasic.so on Linux.
class COMMANDHANDLER_EXPORT CANPeakCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    /// A closed handler on net 1.
    explicit CANPeakCommandHandler(QObject *parent = nullptr);
    /// Gives an initialised channel back.
    ~CANPeakCommandHandler() override;

    /// The net the next openDevice() opens: 1 and 2 select the USB channels 0x51 and 0x52; any
    /// other net keeps the channel of the previous open.
    void setNetID(int net) { m_net = net; }
    /// Object and device name become NAME/previous object name.
    void setPortName(const QString &name);
    /// PCAN-Basic bit-rate code for a rate in kbit/s (the code of 1000 for unlisted rates).
    static quint16 baudrateFromBitrate(int kbitPerSecond);

protected:
    /// Chooses the channel of the net, then brings the adapter up.
    bool openAdapter(const QVariant &device, int bitRate, const CanTrace &trace) override;
    /// Whether a channel was open.
    bool closeAdapter(const CanTrace &trace) override;

private:
    int m_net = 1;
};
