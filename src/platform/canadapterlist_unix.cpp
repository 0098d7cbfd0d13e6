#include "canadapterlist_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <utility>

namespace ch {
namespace platform {
namespace {
// One line of a sysfs attribute; empty when the entry is missing, unreadable or not a file.
QString attribute(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(256)).section(QLatin1Char('\n'), 0, 0).trimmed();
}

QStringList subdirectories(const QString &path)
{
    return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// Serial ports and network interfaces (SocketCAN) that the device's interfaces provide.
void collectInterfaces(const QString &devicePath, const QString &deviceName, CanAdapterRecord *record)
{
    const QStringList children = subdirectories(devicePath);
    for (const QString &child : children) {
        if (!child.startsWith(deviceName + QLatin1Char(':')))
            continue;
        const QString iface = devicePath + QLatin1Char('/') + child;
        if (record->service.isEmpty()) {
            const QString driver = QFileInfo(iface + QStringLiteral("/driver")).symLinkTarget();
            if (!driver.isEmpty())
                record->service = QFileInfo(driver).fileName();
        }
        QStringList ports = subdirectories(iface + QStringLiteral("/tty"));
        for (const QString &entry : subdirectories(iface)) {
            if (entry.startsWith(QLatin1String("tty")) && entry != QLatin1String("tty"))
                ports.append(entry);
        }
        for (const QString &port : std::as_const(ports))
            record->specificParameters.append(QStringLiteral("PortName=") + port);
        for (const QString &net : subdirectories(iface + QStringLiteral("/net")))
            record->specificParameters.append(QStringLiteral("Net=") + net);
    }
}
} // namespace

QString defaultCanDeviceRoot()
{
    return QStringLiteral("/sys/bus/usb/devices");
}

QList<CanAdapterRecord> listCanAdapters(const QString &root)
{
    // Same grouping as the registry: device identifier first, then its instances.
    QMap<QString, QList<CanAdapterRecord>> byIdentifier;
    const QStringList devices = subdirectories(root);
    for (const QString &name : devices) {
        if (name.contains(QLatin1Char(':'))) // an interface, not a device
            continue;
        const QString path = root + QLatin1Char('/') + name;
        const QString vendor = attribute(path + QStringLiteral("/idVendor"));
        const QString product = attribute(path + QStringLiteral("/idProduct"));
        if (vendor.isEmpty() || product.isEmpty())
            continue;
        CanAdapterRecord record;
        record.identifier = QStringLiteral("VID_") + vendor + QStringLiteral("&PID_") + product;
        record.family = canAdapterFamily(record.identifier);
        if (record.family == CanFamily::None)
            continue;
        record.instanceId = name;
        record.key = path;
        record.description = attribute(path + QStringLiteral("/product"));
        const QString maker = attribute(path + QStringLiteral("/manufacturer"));
        record.friendlyName = (maker + QLatin1Char(' ') + record.description).trimmed();
        collectInterfaces(path, name, &record);
        byIdentifier[record.identifier].append(record);
    }
    QList<CanAdapterRecord> records;
    for (const auto &group : std::as_const(byIdentifier))
        records += group;
    return records;
}

} // namespace platform
} // namespace ch
