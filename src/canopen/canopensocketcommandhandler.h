#pragma once

#include "canopenservicehandler.h"

#include <QString>

class QtCanAdapter;

// CANopen master through Qt SerialBus: a SocketCAN interface by default, or an interface of any
// other installed QCanBus plugin.
//
// openDevice takes a list [bit rate in kbit/s, interface] or [bit rate, interface, plugin]
// (plugin "socketcan" when left out or empty), or the bit rate alone, which keeps the interface
// and plugin of the previous open. Where the rate cannot be applied the device opens at the
// interface's own rate and one line says so. setDataRate applies a rate to the open device.
class COMMANDHANDLER_EXPORT CANopenSocketCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    explicit CANopenSocketCommandHandler(QObject *parent = nullptr);
    ~CANopenSocketCommandHandler() override;

    bool openDevice(QVariant device) override;
    bool reopenDevice() override;
    // Of the last openDevice that named them.
    QString interfaceName() const;
    QString pluginName() const;
    // Why the last openDevice failed, in one line; empty after a success.
    QString openError() const;

private:
    QtCanAdapter &qtCan() const;
};
