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

// The one process-wide list keeper of attached interfaces: serial ports that may carry ZAPL
// directly and the USB devices of interest. It never opens a port.
class COMMANDHANDLER_EXPORT PeripheryManager : public QObject
{
    Q_OBJECT
public:
    static PeripheryManager *instance();

    explicit PeripheryManager(const QString &name);
    ~PeripheryManager() override;

    QMap<QString, QSerialPortInfo> comMap();
    void checkActualSerialDevices(bool dumpOnly);
    void checkActualUSBDevices(bool dumpOnly);
    void checkActualCANDevices(bool dumpOnly);

    void addBlackVendor(quint16 vendor, quint16 product);
    void addBlackDescripition(const QString &description);

    QList<QSerialPortInfo> oldUsbInterfaces() const;

    // Linux hot-plug: a udev monitor on serial and USB devices whose events start the same
    // deferred re-enumeration as a device-change message. Off until the host starts it; false
    // when no monitor can be opened (always on Windows, where native messages serve).
    bool startHotplugMonitor();
    void stopHotplugMonitor();
    bool isHotplugMonitorActive() const;

    // Where checkActualCANDevices(true) looks: the registry path on Windows, the directory of
    // USB devices in sysfs elsewhere ("/sys/bus/usb/devices" by default).
    void setCanDeviceRoot(const QString &root);
    QString canDeviceRoot() const;

signals:
    void handleSerialInterfaces(QList<QSerialPortInfo> serialInterfaces);
    void handleUSBInterfaces(QList<QSerialPortInfo> newList, QList<QSerialPortInfo> oldlist);
    void handleCANInterfaces(QList<QSerialPortInfo> canInterfaces);
    void handleDevNodesChanged();

public slots:
    void checkActualDevices(bool dumpOnly = false);
    // `message` is a Windows MSG, or a ch::NativeMessage (nativemessage.h) of the same layout.
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
