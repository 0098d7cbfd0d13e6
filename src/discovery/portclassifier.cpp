#include "portclassifier_p.h"

#include "usbidentifiers_p.h"

#include <QSettings>

namespace ch {
namespace discovery {

UsbId parseUsbIdentifier(const QString &text)
{
    QString stripped = text;
    stripped.remove(QLatin1String("VID_"), Qt::CaseInsensitive).remove(QLatin1String("PID_"), Qt::CaseInsensitive);
    const QStringList parts = stripped.split(QLatin1Char('&'));
    // toUShort leaves 0 behind when the text is not hexadecimal or does not fit.
    return UsbId(parts.first().trimmed().toUShort(nullptr, 16), parts.last().trimmed().toUShort(nullptr, 16));
}

QList<UsbId> readIdentifierFile(const QString &path)
{
    QList<UsbId> ids;
    if (path.isEmpty())
        return ids;
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("integrated_USB"));
    const QStringList keys = file.childKeys();
    for (const QString &key : keys)
        ids.append(parseUsbIdentifier(key));
    file.endGroup();
    return ids;
}

QString formatUsbIdMap(const UsbIdMap &map)
{
    QString text = QStringLiteral("QMap(");
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        text += QStringLiteral("(%1, %2)").arg(it.key()).arg(it.value());
    return text + QLatin1Char(')');
}

PortClassifier::PortClassifier(const QString &identifierFile)
{
    const quint16 vid1 = parseUsbIdentifier(QLatin1String(usbids::makerVid1)).first;
    for (int i = 0; i < usbids::makerProductRun; ++i)
        m_whitelist.insert(vid1, static_cast<quint16>(usbids::makerFirstProduct + i));

    for (const QString &device : { usbids::makerDeviceVid1(), usbids::makerDeviceVid3() }) {
        const UsbId id = parseUsbIdentifier(device);
        m_whitelist.insert(id.first, id.second);
        m_blacklist.insert(id.first, id.second);
    }

    for (const UsbId &id : readIdentifierFile(identifierFile))
        m_whitelist.insert(id.first, id.second);

    static const UsbId builtInBlacklist[]
        = { { 0x0000, 0x0000 }, { 0x0451, 0x3410 }, { 0x14F1, 0x2C06 }, { 0x8086, 0x1E3D }, { 0x8086, 0x1C3D },
              { 0x8086, 0x9D3D }, { 0x8086, 0x9DE3 }, { 0x0BDB, 0x1926 }, { 0x0BDB, 0x1911 }, { 0x2341, 0x8057 } };
    for (const UsbId &id : builtInBlacklist)
        m_blacklist.insert(id.first, id.second);

    m_descriptionBlacklist
        = QStringList { QStringLiteral("Bluetooth"), QStringLiteral("H5321"), QStringLiteral("F5521") };
}

SerialVerdict PortClassifier::classifySerial(const PortRecord &port) const
{
    if (!port.hasVendorIdentifier) {
        if (!port.description.isEmpty()) {
            for (const QString &word : m_descriptionBlacklist) {
                if (port.description.contains(word, Qt::CaseInsensitive))
                    return SerialVerdict::DescriptionBlacklisted;
            }
        }
        return SerialVerdict::Listed;
    }
    if (m_blacklist.contains(port.vendorIdentifier, port.productIdentifier))
        return SerialVerdict::Blacklisted;
    const QString vendorText = QStringLiteral("%1").arg(port.vendorIdentifier, 4, 16, QLatin1Char('0'));
    const QStringList prefixes = usbids::serialExclusionPrefixes();
    for (const QString &prefix : prefixes) {
        if (prefix.contains(vendorText, Qt::CaseInsensitive))
            return SerialVerdict::OwnOrCanAdapter;
    }
    return SerialVerdict::Listed;
}

bool PortClassifier::isUsbDevice(const PortRecord &port) const
{
    // A port that reports no vendor cannot be one of the listed USB products; matching it as
    // vendor 0 would let one unparsable identifier-file key turn every built-in port into one.
    if (!port.hasVendorIdentifier)
        return false;
    const quint16 product = port.hasProductIdentifier ? port.productIdentifier : 0;
    return m_whitelist.contains(port.vendorIdentifier, product);
}

void PortClassifier::addBlackVendor(quint16 vendor, quint16 product)
{
    m_whitelist.remove(vendor, product);
    m_blacklist.insert(vendor, product);
}

void PortClassifier::addBlackDescription(const QString &word)
{
    // An empty word is a substring of every description and would hide every port without vendor.
    if (word.isEmpty())
        return;
    m_descriptionBlacklist.append(word);
    m_descriptionBlacklist.removeDuplicates();
}

} // namespace discovery
} // namespace ch
