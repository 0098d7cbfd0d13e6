#include "canadapterlist_p.h"

#include <QSettings>

namespace ch {
namespace platform {

QString defaultCanDeviceRoot()
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum");
}

QList<CanAdapterRecord> listCanAdapters(const QString &root)
{
    QList<CanAdapterRecord> records;
    QSettings registry(root, QSettings::NativeFormat);
    registry.beginGroup(QStringLiteral("USB"));
    const QStringList identifiers = registry.childGroups();
    for (const QString &identifier : identifiers) {
        const CanFamily family = canAdapterFamily(identifier);
        if (family == CanFamily::None)
            continue;
        registry.beginGroup(identifier);
        const QStringList instances = registry.childGroups();
        for (const QString &instance : instances) {
            registry.beginGroup(instance);
            CanAdapterRecord record;
            record.family = family;
            record.identifier = identifier;
            record.instanceId = registry.group();
            const QStringList keys = registry.allKeys();
            for (const QString &key : keys) {
                const QVariant value = registry.value(key);
                const QString text = value.canConvert<QStringList>() && value.toStringList().size() > 1
                    ? value.toStringList().join(QStringLiteral(", "))
                    : value.toString();
                applyDeviceKey(&record, key, text);
            }
            records.append(record);
            registry.endGroup();
        }
        registry.endGroup();
    }
    registry.endGroup();
    return records;
}

} // namespace platform
} // namespace ch
