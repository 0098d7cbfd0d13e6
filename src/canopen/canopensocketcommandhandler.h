#pragma once

#include "canopenservicehandler.h"

#include <QString>

class QtCanAdapter;

/// CANopen master through Qt SerialBus, named "CANopen Socket": a SocketCAN interface by
/// default, or an interface of any other installed QCanBus plugin.
///
/// openDevice() takes a list [bit rate in kbit/s, interface] or [bit rate, interface, plugin]
/// (plugin "socketcan" when left out or empty), or the bit rate alone, which keeps the interface
/// and plugin of the previous open. Where the rate cannot be applied the device opens at the
/// interface's own rate and one line says so. setDataRate() applies a rate to the open device.
/// SYNC has no data byte; a frame the filter rejects does not replace lastReceivedFrame(). A
/// device that drops while open is reported through handleDetachedDevice(), and services fail
/// at once until the host opens again.
///
/// Threads: the QCanBusDevice is a child of the handler and lives in its thread; frames reach it
/// only while that thread's event loop runs (the services' nested waits run it).
///
/// On Linux the default plugin is "socketcan". Windows has no SocketCAN: the same handler serves
/// the Windows plugins by name.
class COMMANDHANDLER_EXPORT CANopenSocketCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    /// A closed handler on the "socketcan" plugin without an interface, at 1000 kbit/s.
    explicit CANopenSocketCommandHandler(QObject *parent = nullptr);
    /// Disconnects and deletes the device.
    ~CANopenSocketCommandHandler() override;

    /// Brings the device up as the argument says (see the class); false, with the reason in
    /// openError(), for an argument of another form, a missing plugin or interface, or a device
    /// that does not connect.
    bool openDevice(QVariant device) override;
    /// openDevice() with [data rate, interface, plugin] of the last open.
    bool reopenDevice() override;
    /// The interface of the last openDevice() that named one.
    QString interfaceName() const;
    /// The plugin of the last openDevice() that named one ("socketcan" at first).
    QString pluginName() const;
    /// Why the last openDevice() failed, in one line; empty after a success.
    QString openError() const;

private:
    QtCanAdapter &qtCan() const;
};
