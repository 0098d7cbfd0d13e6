#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

#include <QString>
#include <QVariant>

class QtCanAdapter;

/// ZAPL over CAN through Qt SerialBus, named "CAN Socket": a SocketCAN interface (can0, vcan0,
/// slcand, gs_usb...) by default, or an interface of any other installed QCanBus plugin
/// (virtualcan, peakcan, passthrucan, tinycan...), which reports its connection as "CAN_OTHER".
///
/// openDevice() takes
///   - a list [bit rate in kbit/s, interface] or [bit rate, interface, plugin], for example
///     QVariantList{500, "can0"} or QVariantList{500, "can0", "virtualcan"}; the plugin is
///     "socketcan" when left out or empty;
///   - or the bit rate alone, which keeps the interface and plugin of the previous open.
///
/// Where the rate cannot be applied (an interface the system configured, no privileges, a
/// virtual bus) the device opens at the interface's own rate and one line says so; dataRate()
/// then shows the rate read back, where there is one. A device that drops while open (the bus
/// server gone, the interface down) is reported through handleDetachedDevice() and
/// faultsMessage(), and later requests fail at once until the host opens again; bus-off and
/// error frames are reported through faultsMessage().
///
/// Threads: the QCanBusDevice is a child of the handler and lives in its thread; frames reach it
/// only while that thread's event loop runs, so the reply wait lets the loop run before each
/// take. openDevice() waits up to 3000 ms, in a local event loop, for a device that connects in
/// the background.
///
/// On Linux the default plugin is "socketcan". Windows has no SocketCAN: the same handler serves
/// the Windows plugins (peakcan, passthrucan, vectorcan...) by name.
class COMMANDHANDLER_EXPORT CANSocketCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    /// A closed handler on the "socketcan" plugin without an interface.
    explicit CANSocketCommandHandler(QObject *parent = nullptr);
    /// Disconnects and deletes the device.
    ~CANSocketCommandHandler() override;

    /// The interface of the last openDevice() that named one.
    QString interfaceName() const;
    /// The plugin of the last openDevice() that named one ("socketcan" at first).
    QString pluginName() const;
    /// Why the last openDevice() failed, in one line; empty after a success.
    QString openError() const;

protected:
    /// Takes the interface and plugin from the argument, picks the connection type (CAN_Socket
    /// for "socketcan", CAN_OTHER otherwise) and brings the device up; false, with the reason in
    /// openError(), for an argument of another form, a missing plugin or interface, or a device
    /// that does not connect.
    bool openAdapter(const QVariant &device, int bitRate, const CanTrace &trace) override;
    /// The list [data rate, interface, plugin].
    QVariant reopenArgument() const override;

private:
    QtCanAdapter &qtCan() const;
};
