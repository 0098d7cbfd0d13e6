#include "peripherymanager.h"

#include "canadapterlist_p.h"
#include "chlog_p.h"
#include "global.h"
#include "hotplugmonitor_p.h"
#include "nativemessage.h"
#include "portclassifier_p.h"
#include "portkey_p.h"

#include <QFile>
#include <QMutex>
#include <QTimer>

using ch::discovery::PortRecord;
using ch::discovery::SerialVerdict;

PeripheryManager *PeripheryManager::self = nullptr;

namespace {
const char *const kRegistryName = "___PeripheryManager___";
const char *const kIdentifierFile = ":inf/USB_IDs";
// Lets the system finish publishing a device before the ports are listed again.
constexpr int kDeviceChangeDeferralMs = 75;

PortRecord toRecord(const QSerialPortInfo &info)
{
    PortRecord record;
    record.portName = info.portName();
    record.systemLocation = info.systemLocation();
    record.description = info.description();
    record.manufacturer = info.manufacturer();
    record.serialNumber = info.serialNumber();
    record.hasVendorIdentifier = info.hasVendorIdentifier();
    record.vendorIdentifier = info.vendorIdentifier();
    record.hasProductIdentifier = info.hasProductIdentifier();
    record.productIdentifier = info.productIdentifier();
    return record;
}

QString hex(quint16 value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// The labelled fields of one port, each on its own line.
QString portFields(const PortRecord &port, const QString &key, const QString &serialNumber, const QString &vendor,
    const QString &product)
{
    const QString sep = QStringLiteral("\r\n\t");
    return sep + QStringLiteral("Port: ") + port.portName + sep + QStringLiteral("Nr: ") + key + sep
        + QStringLiteral("Location: ") + port.systemLocation + sep + QStringLiteral("Description: ") + port.description
        + sep + QStringLiteral("Manufacturer: ") + port.manufacturer + sep + QStringLiteral("Serial number: ")
        + serialNumber + sep + QStringLiteral("Vendor Identifier: ") + vendor + sep
        + QStringLiteral("Product Identifier: ") + product;
}
} // namespace

PeripheryManager *PeripheryManager::instance()
{
    static QBasicMutex lock;
    QMutexLocker locker(&lock);
    if (self)
        return self;
    const QString name = QLatin1String(kRegistryName);
    if (auto *shared = qobject_cast<PeripheryManager *>(Global::instance()->getSelf(name)))
        return shared;
    self = new PeripheryManager(name);
    Global::instance()->addSelf(self);
    return self;
}

PeripheryManager::PeripheryManager(const QString &name)
    : QObject(nullptr),
      m_classifier(new ch::discovery::PortClassifier(QLatin1String(kIdentifierFile))),
      m_hotplug(new HotplugMonitor(this)),
      m_canDeviceRoot(ch::platform::defaultCanDeviceRoot())
{
    qRegisterMetaType<QSerialPortInfo>("QSerialPortInfo");
    qRegisterMetaType<QList<QSerialPortInfo>>("QList<QSerialPortInfo>");
    setObjectName(name);
    m_hotplug->setObjectName(QStringLiteral("hotplugMonitor"));
    connect(m_hotplug, &HotplugMonitor::deviceEvent, this, &PeripheryManager::hotplugEvent);

    CH_DEBUG << QStringLiteral("\n\tWhitelist: ") + ch::discovery::formatUsbIdMap(m_classifier->whitelist())
            + QStringLiteral("\n \tBlacklist: ") + ch::discovery::formatUsbIdMap(m_classifier->blacklist())
            + QStringLiteral("\n\tDescription blacklist: (")
            + m_classifier->descriptionBlacklist().join(QStringLiteral(", ")) + QLatin1Char(')');
}

PeripheryManager::~PeripheryManager()
{
    if (self == this)
        self = nullptr;
}

QMap<QString, QSerialPortInfo> PeripheryManager::comMap()
{
    QMap<QString, QSerialPortInfo> map;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        map.insert(ch::platform::portSortKey(info.portName()), info);
    return map;
}

void PeripheryManager::checkActualSerialDevices(bool dumpOnly)
{
    QList<QSerialPortInfo> result;
    const QMap<QString, QSerialPortInfo> ports = comMap();
    for (auto it = ports.cbegin(); it != ports.cend(); ++it) {
        const PortRecord port = toRecord(it.value());
        const QString notAvailable = tr("N/A");
        CH_DEBUG << "check for serial devices:"
                 << portFields(port, it.key(), port.serialNumber,
                        port.hasVendorIdentifier ? hex(port.vendorIdentifier, 4) : notAvailable,
                        port.hasProductIdentifier ? hex(port.productIdentifier, 4) : notAvailable);
        switch (m_classifier->classifySerial(port)) {
        case SerialVerdict::Blacklisted:
            CH_DEBUG << "Blacklisted:" << QStringLiteral("Location: ") + port.systemLocation;
            break;
        case SerialVerdict::DescriptionBlacklisted:
        case SerialVerdict::OwnOrCanAdapter:
            break;
        case SerialVerdict::Listed:
            result.append(it.value());
            if (dumpOnly) {
                CH_DEBUG << "Actual serial devices:"
                         << portFields(port, it.key(), port.serialNumber.isEmpty() ? notAvailable : port.serialNumber,
                                port.hasVendorIdentifier ? hex(port.vendorIdentifier, 0) : notAvailable,
                                port.hasProductIdentifier ? hex(port.productIdentifier, 0) : notAvailable);
            }
            break;
        }
    }
    if (dumpOnly)
        return;
    CH_DEBUG << "~~~~~~~~ ++serial++ ~~~~~~~>" << result.size();
    emit handleSerialInterfaces(result);
}

void PeripheryManager::checkActualUSBDevices(bool dumpOnly)
{
    QList<QSerialPortInfo> newList;
    const QMap<QString, QSerialPortInfo> ports = comMap();
    for (auto it = ports.cbegin(); it != ports.cend(); ++it) {
        const PortRecord port = toRecord(it.value());
        const QString vendor = port.hasVendorIdentifier ? hex(port.vendorIdentifier, 0) : tr("N/A");
        const QString product = port.hasProductIdentifier ? hex(port.productIdentifier, 0) : tr("N/A");
        const QString fields = portFields(port, it.key(), port.serialNumber, vendor, product);
        CH_DEBUG << "check for USB devices:" << fields;
        if (m_classifier->isUsbDevice(port)) {
            newList.append(it.value());
            CH_DEBUG << "Actual USB devices:" << fields;
        }
    }
    if (dumpOnly)
        return;
    if (!newList.isEmpty()) {
        CH_DEBUG << "~~~~~~~~ ++usb++ ~~~~~~~>" << newList.size()
                 << QFile::permissions(newList.first().systemLocation());
    }
    emit handleUSBInterfaces(newList, m_oldUsbInterfaces);
    m_oldUsbInterfaces = newList;
}

void PeripheryManager::checkActualCANDevices(bool dumpOnly)
{
    if (!dumpOnly)
        return;
    CH_DEBUG << "Actual CAN devices:"
             << "\r\n";
    const QList<ch::platform::CanAdapterRecord> records = ch::platform::listCanAdapters(m_canDeviceRoot);
    for (const ch::platform::CanAdapterRecord &record : records)
        CH_DEBUG << ch::platform::formatCanAdapterRecord(record);
}

void PeripheryManager::checkActualDevices(bool dumpOnly)
{
    checkActualUSBDevices(dumpOnly);
    checkActualSerialDevices(dumpOnly);
    checkActualCANDevices(dumpOnly);
    if (!dumpOnly)
        emit handleDevNodesChanged();
}

void PeripheryManager::handleNativeEvent(void *message)
{
    if (!message)
        return;
    const auto *msg = static_cast<const ch::NativeMessage *>(message);
    if (msg->message != ch::WmDeviceChange)
        return;
    CH_DEBUG << "deviceChanged: " << QStringLiteral("0x") + hex(static_cast<quint16>(msg->message), 4)
             << static_cast<qulonglong>(msg->wParam) << static_cast<qlonglong>(msg->lParam);
    if (msg->wParam != ch::DbtDevNodesChanged)
        return;
    if (msg->lParam) {
        const auto *header = reinterpret_cast<const ch::DeviceBroadcastHeader *>(msg->lParam);
        CH_DEBUG << "Name:" << QStringLiteral("0x") + hex(static_cast<quint16>(header->deviceType), 4)
                 << "Size:" << header->size;
    }
    scheduleEnumeration();
}

void PeripheryManager::hotplugEvent(const QString &action, const QString &subsystem, const QString &node)
{
    CH_DEBUG << "hot-plug:" << action << subsystem << node;
    scheduleEnumeration();
}

void PeripheryManager::scheduleEnumeration()
{
    // Bound to this object: a manager destroyed meanwhile gets no call.
    QTimer::singleShot(kDeviceChangeDeferralMs, this, [this]() { checkActualDevices(); });
}

void PeripheryManager::addBlackVendor(quint16 vendor, quint16 product)
{
    m_classifier->addBlackVendor(vendor, product);
}

void PeripheryManager::addBlackDescripition(const QString &description)
{
    m_classifier->addBlackDescription(description);
}

QList<QSerialPortInfo> PeripheryManager::oldUsbInterfaces() const
{
    return m_oldUsbInterfaces;
}

bool PeripheryManager::startHotplugMonitor()
{
    return m_hotplug->start();
}

void PeripheryManager::stopHotplugMonitor()
{
    m_hotplug->stop();
}

bool PeripheryManager::isHotplugMonitorActive() const
{
    return m_hotplug->isActive();
}

void PeripheryManager::setCanDeviceRoot(const QString &root)
{
    m_canDeviceRoot = root;
}

QString PeripheryManager::canDeviceRoot() const
{
    return m_canDeviceRoot;
}
