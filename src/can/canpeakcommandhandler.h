#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

#include <QString>
#include <QVariant>

class PeakAdapter;

// ZAPL over a PEAK adapter; net number 1 and 2 select the first two USB channels.
class COMMANDHANDLER_EXPORT CANPeakCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANPeakCommandHandler(QObject *parent = nullptr);
    ~CANPeakCommandHandler() override;

    void setNetID(int net) { m_net = net; }
    // Object and device name become NAME/previous object name.
    void setPortName(const QString &name);
    // PCAN-Basic bit-rate code for a rate in kbit/s (the code of 1000 for unlisted rates).
    static quint16 baudrateFromBitrate(int kbitPerSecond);

protected:
    bool openAdapter(const QVariant &device, int bitRate, const CanTrace &trace) override;
    // Whether a channel was open.
    bool closeAdapter(const CanTrace &trace) override;

private:
    int m_net = 1;
};
