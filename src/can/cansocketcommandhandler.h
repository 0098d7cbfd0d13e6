#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

#include <QString>
#include <QVariant>

class QtCanAdapter;

// ZAPL over CAN through Qt SerialBus: a SocketCAN interface (can0, vcan0, slcand, gs_usb...) by
// default, or an interface of any other installed QCanBus plugin (virtualcan, peakcan,
// passthrucan, tinycan...), which reports its connection as "CAN_OTHER".
//
// openDevice takes
//   - a list [bit rate in kbit/s, interface] or [bit rate, interface, plugin], for example
//     QVariantList{500, "can0"} or QVariantList{500, "can0", "virtualcan"}; the plugin is
//     "socketcan" when left out or empty;
//   - or the bit rate alone, which keeps the interface and plugin of the previous open.
// Where the rate cannot be applied (an interface the system configured, no privileges, a
// virtual bus) the device opens at the interface's own rate and one line says so; dataRate()
// then shows the rate read back, where there is one. A device that drops while open (the bus
// server gone, the interface down) is reported through handleDetachedDevice and faultsMessage.
class COMMANDHANDLER_EXPORT CANSocketCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANSocketCommandHandler(QObject *parent = nullptr);
    ~CANSocketCommandHandler() override;

    // Of the last openDevice that named them.
    QString interfaceName() const;
    QString pluginName() const;
    // Why the last openDevice failed, in one line; empty after a success.
    QString openError() const;

protected:
    bool openAdapter(const QVariant &device, int bitRate, const CanTrace &trace) override;
    QVariant reopenArgument() const override;

private:
    QtCanAdapter &qtCan() const;
};
