#pragma once

#include <QList>
#include <QMap>
#include <QMultiMap>
#include <QPair>
#include <QString>
#include <QStringList>

// Port classification without any I/O: the Qt layer turns QSerialPortInfo into PortRecord and
// asks these functions, so every rule can be exercised with arbitrary identifiers.
namespace ch {
namespace discovery {

struct PortRecord
{
    QString portName;
    QString systemLocation;
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool hasVendorIdentifier = false;
    quint16 vendorIdentifier = 0;
    bool hasProductIdentifier = false;
    quint16 productIdentifier = 0;
};

using UsbIdMap = QMultiMap<quint16, quint16>; // vendor -> product, several products per vendor
using UsbId = QPair<quint16, quint16>;

enum class SerialVerdict {
    Listed, // a serial port that may carry ZAPL directly
    DescriptionBlacklisted, // no vendor identifier and a blacklisted word in the description
    Blacklisted, // (vendor, product) on the blacklist
    OwnOrCanAdapter, // the maker's USB devices and CAN adapters with a virtual COM port
};

// "VID_xxxx&PID_yyyy": a part that is not hexadecimal reads as 0.
UsbId parseUsbIdentifier(const QString &text);
// Keys of the group "integrated_USB" of an INI file; empty when the file or group is missing.
QList<UsbId> readIdentifierFile(const QString &path);

// "QMap((vendor, product)(vendor, product))" in decimal, the same with every Qt version.
QString formatUsbIdMap(const UsbIdMap &map);

class PortClassifier
{
public:
    // The built-in lists plus the whitelist entries of `identifierFile`.
    explicit PortClassifier(const QString &identifierFile = QString());

    SerialVerdict classifySerial(const PortRecord &port) const;
    bool isUsbDevice(const PortRecord &port) const;

    void addBlackVendor(quint16 vendor, quint16 product);
    void addBlackDescription(const QString &word);

    const UsbIdMap &whitelist() const { return m_whitelist; }
    const UsbIdMap &blacklist() const { return m_blacklist; }
    const QStringList &descriptionBlacklist() const { return m_descriptionBlacklist; }

private:
    UsbIdMap m_blacklist;
    QStringList m_descriptionBlacklist;
    UsbIdMap m_whitelist;
};

} // namespace discovery
} // namespace ch
