#pragma once

#include "commandhandler_global.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QSerialPortInfo>
#include <QString>
#include <memory>

class HotplugMonitor;
namespace ch {
namespace discovery {
class PortClassifier;
}
} // namespace ch

/// The one process-wide list keeper of attached interfaces: serial ports that may carry ZAPL
/// directly and the USB devices of interest (the maker's, and those of the host's identifier
/// file ":inf/USB_IDs", group "integrated_USB"). It classifies the ports Qt reports with a
/// whitelist, a blacklist and a description blacklist, and hands the lists to the host through
/// signals. It never opens a port. docs/ports.md explains the classification.
///
/// Threads: lives in the thread that first calls instance() (the host's main thread, normally);
/// every operation and signal runs there, and the deferred enumeration after a device change runs
/// there through its event loop.
///
/// Device changes: on Windows the host forwards WM_DEVICECHANGE to handleNativeEvent(). On Linux
/// the host either feeds ch::NativeMessage records to the same slot, or starts the udev monitor
/// (startHotplugMonitor()); both start the same re-enumeration 75 ms later.
class COMMANDHANDLER_EXPORT PeripheryManager : public QObject
{
    Q_OBJECT
public:
    /// The process-wide manager: the one registered with the Velmora library's object registry
    /// under "___PeripheryManager___", so every module of the host shares one; made and
    /// registered on first use. Never destroyed by the library.
    static PeripheryManager *instance();

    /// A manager named `name`, without parent, with the built-in lists and the identifier file's
    /// products; writes the lists as one debug line. Hosts use instance().
    explicit PeripheryManager(const QString &name);
    ~PeripheryManager() override;

    /// The attached serial ports by sort key. On Windows the key is the number after "COM"
    /// padded to three digits (COM3 before COM12); on Linux the name with every number padded
    /// (ttyUSB2 before ttyUSB10).
    QMap<QString, QSerialPortInfo> comMap();
    /// Lists the serial ports that may carry ZAPL: not blacklisted by vendor and product, not the
    /// maker's own USB devices or a CAN adapter's port, and, without a vendor identifier, no
    /// blacklisted word in the description. Emits handleSerialInterfaces() (also with an empty
    /// list) unless `dumpOnly`, which only writes the debug log.
    void checkActualSerialDevices(bool dumpOnly);
    /// Lists the whitelisted USB devices. Unless `dumpOnly`, emits handleUSBInterfaces() with the
    /// new list and the one of the previous run, on every run, and keeps the new one.
    void checkActualUSBDevices(bool dumpOnly);
    /// With `dumpOnly`, writes one debug record per CAN adapter the system knows (esd, IXXAT,
    /// Kvaser, PEAK): from the device registry on Windows, from the USB devices under sysfs on
    /// Linux (see setCanDeviceRoot()). Without `dumpOnly` it does nothing.
    void checkActualCANDevices(bool dumpOnly);

    /// Moves (vendor, product) from the whitelist, if there, to the blacklist.
    void addBlackVendor(quint16 vendor, quint16 product);
    /// Adds a word to the description blacklist (once).
    void addBlackDescripition(const QString &description);

    /// The USB list of the last signalling run; empty at first.
    QList<QSerialPortInfo> oldUsbInterfaces() const;

    /// Linux hot-plug: a udev monitor on serial and USB devices whose events start the same
    /// deferred re-enumeration as a device-change message. Off until the host starts it; false
    /// when no monitor can be opened (always on Windows, where native messages serve).
    bool startHotplugMonitor();
    /// Stops the udev monitor.
    void stopHotplugMonitor();
    /// Whether the udev monitor runs.
    bool isHotplugMonitorActive() const;

    /// Where checkActualCANDevices(true) looks: the registry path on Windows, the directory of
    /// USB devices in sysfs elsewhere ("/sys/bus/usb/devices" by default).
    void setCanDeviceRoot(const QString &root);
    /// The value of setCanDeviceRoot().
    QString canDeviceRoot() const;

signals:
    /// The complete current serial list.
    void handleSerialInterfaces(QList<QSerialPortInfo> serialInterfaces);
    /// The USB devices now and at the previous run; arrivals and removals are the receiver's
    /// comparison.
    void handleUSBInterfaces(QList<QSerialPortInfo> newList, QList<QSerialPortInfo> oldlist);
    /// Declared for hosts; the manager does not emit it.
    void handleCANInterfaces(QList<QSerialPortInfo> canInterfaces);
    /// A signalling enumeration ended.
    void handleDevNodesChanged();

public slots:
    /// Runs the USB, the serial and the CAN listing in this order; unless `dumpOnly`, then emits
    /// handleDevNodesChanged(). `dumpOnly` only writes the debug log and emits nothing.
    void checkActualDevices(bool dumpOnly = false);
    /// `message` is a Windows MSG, or a ch::NativeMessage (nativemessage.h) of the same layout.
    /// A WM_DEVICECHANGE with DBT_DEVNODES_CHANGED schedules checkActualDevices() 75 ms later
    /// (each message its own run); other device changes are only logged, other messages ignored.
    void handleNativeEvent(void *message);

private:
    void hotplugEvent(const QString &action, const QString &subsystem, const QString &node);
    void scheduleEnumeration();

    static PeripheryManager *self;
    std::unique_ptr<ch::discovery::PortClassifier> m_classifier;
    QList<QSerialPortInfo> m_oldUsbInterfaces;
    HotplugMonitor *m_hotplug = nullptr;
    QString m_canDeviceRoot;
};

// Lets the port lists travel through queued connections and signal spies.
Q_DECLARE_METATYPE(QSerialPortInfo)
