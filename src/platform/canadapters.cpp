#include "canadapters_p.h"

namespace ch {
namespace platform {

CanFamily canAdapterFamily(const QString &deviceIdentifier)
{
    const auto starts
        = [&](const char *prefix) { return deviceIdentifier.startsWith(QLatin1String(prefix), Qt::CaseInsensitive); };
    const auto has
        = [&](const char *part) { return deviceIdentifier.contains(QLatin1String(part), Qt::CaseInsensitive); };
    if (starts("VID_0AB4&PID_"))
        return CanFamily::Esd;
    if (starts("VID_08D8&PID_"))
        return CanFamily::Ixxat;
    if (starts("VID_0BFD&PID_"))
        return CanFamily::Kvaser;
    if (has("VID_0C72&PID_000C") || has("VID_0C72&PID_000D"))
        return CanFamily::Peak;
    return CanFamily::None;
}

QString canFamilyName(CanFamily family)
{
    switch (family) {
    case CanFamily::Esd:
        return QStringLiteral("esd");
    case CanFamily::Ixxat:
        return QStringLiteral("IXXAT");
    case CanFamily::Kvaser:
        return QStringLiteral("Kvaser");
    case CanFamily::Peak:
        return QStringLiteral("PEAK");
    case CanFamily::None:
        break;
    }
    return QString();
}

void applyDeviceKey(CanAdapterRecord *record, const QString &keyPath, const QString &value)
{
    if (keyPath.contains(QLatin1String("Device Parameters/PortName"))) {
        record->specificParameters.append(value);
        record->key = keyPath;
    }
    if (keyPath.contains(QLatin1String("Device Parameters/CiIndex"))
        || keyPath.contains(QLatin1String("Device Parameters/BaseNet"))) {
        record->specificParameters.append(value);
        record->key = keyPath;
    }
    if (keyPath.contains(QLatin1String("FriendlyName")))
        record->friendlyName = value;
    if (keyPath.contains(QLatin1String("DeviceDesc")))
        record->description = value;
    if (keyPath.contains(QLatin1String("Service")))
        record->service = value;
}

QString formatCanAdapterRecord(const CanAdapterRecord &record)
{
    const QString nl = QStringLiteral("\r\n");
    return QStringLiteral("CAN-Device: \t") + canFamilyName(record.family) + nl + QStringLiteral("ID:\t\t")
        + record.identifier + nl + QStringLiteral("deviceInstanceID: \t") + record.instanceId + nl
        + QStringLiteral("Description: \t") + record.description + nl + QStringLiteral("Service: \t") + record.service
        + nl + QStringLiteral("key:  \t\t") + record.key + nl + QStringLiteral("friendly name: \t")
        + record.friendlyName + nl + QStringLiteral("specificParameters: \t")
        + record.specificParameters.join(QStringLiteral(", ")) + nl;
}

} // namespace platform
} // namespace ch
