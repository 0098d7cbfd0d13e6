#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Identification and text of the CAN adapter listing, shared by the platform listings.
namespace ch {
namespace platform {

enum class CanFamily { None, Esd, Ixxat, Kvaser, Peak };

// Family of a USB device identifier such as "VID_0BFD&PID_0004", in any letter case.
CanFamily canAdapterFamily(const QString &deviceIdentifier);
QString canFamilyName(CanFamily family);

struct CanAdapterRecord
{
    CanFamily family = CanFamily::None;
    QString identifier; // vendor and product string of the USB device
    QString instanceId; // one attached device of that kind
    QString description;
    QString service;
    QString key;
    QString friendlyName;
    QStringList specificParameters;
};

// Keeps the value of one registry key of a device instance, by the key's path.
void applyDeviceKey(CanAdapterRecord *record, const QString &keyPath, const QString &value);

QString formatCanAdapterRecord(const CanAdapterRecord &record);

} // namespace platform
} // namespace ch
