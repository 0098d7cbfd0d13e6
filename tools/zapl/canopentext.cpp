#include "canopentext.h"

#include <QByteArray>
#include <QMap>

namespace zapl {
namespace {
QString nmtStateName(quint8 s)
{
    switch (s & 0x7F) {
    case 0x00:
        return QStringLiteral("boot-up");
    case 0x04:
        return QStringLiteral("stopped");
    case 0x05:
        return QStringLiteral("operational");
    case 0x7F:
        return QStringLiteral("pre-operational");
    default:
        return QStringLiteral("state 0x%1").arg(s, 2, 16, QLatin1Char('0'));
    }
}
} // namespace

CanFrameText describeCanopenFrame(const CanMessage &m)
{
    CanFrameText t;
    const quint32 id = m.id;
    const int node = int(id & 0x7F);
    const int length = qBound(0, int(m.length), 8);
    t.data = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(m.data), length).toHex(' '));
    if (id == 0x000) {
        static const QMap<int, QString> names = { { 0x01, QStringLiteral("start") }, { 0x02, QStringLiteral("stop") },
            { 0x80, QStringLiteral("pre-operational") }, { 0x81, QStringLiteral("reset application") },
            { 0x82, QStringLiteral("reset communication") } };
        t.service = QStringLiteral("NMT");
        t.node = m.data[1] <= 127 ? m.data[1] : 0;
        t.text = QStringLiteral("NMT %1 node %2").arg(names.value(m.data[0], QStringLiteral("?"))).arg(m.data[1]);
    } else if (id == 0x080) {
        t.service = QStringLiteral("SYNC");
        t.text = t.service;
    } else if (id > 0x080 && id < 0x100) {
        t.service = QStringLiteral("EMCY");
        t.node = node;
        t.text = QStringLiteral("EMCY node %1 code 0x%2 register 0x%3")
                     .arg(node)
                     .arg(m.data[0] | m.data[1] << 8, 4, 16, QLatin1Char('0'))
                     .arg(m.data[2], 2, 16, QLatin1Char('0'));
    } else if (id >= 0x181 && id <= 0x57F && node != 0) {
        const int number = int((id - 0x180) >> 8) + 1;
        t.service = QStringLiteral("%1PDO%2").arg((id >> 7) % 2 ? "T" : "R").arg(number);
        t.node = node;
        t.text = QStringLiteral("%1 node %2").arg(t.service).arg(node);
    } else if (id >= 0x581 && id <= 0x5FF) {
        t.service = QStringLiteral("SDO reply");
        t.node = node;
        t.text = QStringLiteral("SDO reply node %1").arg(node);
    } else if (id >= 0x601 && id <= 0x67F) {
        t.service = QStringLiteral("SDO request");
        t.node = node;
        t.text = QStringLiteral("SDO request node %1").arg(node);
    } else if (id >= 0x701 && id <= 0x77F) {
        const bool bootUp = length >= 1 && m.data[0] == 0;
        t.service = bootUp ? QStringLiteral("boot-up") : QStringLiteral("heartbeat");
        t.node = node;
        t.text = bootUp ? QStringLiteral("boot-up node %1").arg(node)
                        : QStringLiteral("heartbeat node %1 %2").arg(node).arg(nmtStateName(m.data[0]));
    } else if (id == 0x7E4 || id == 0x7E5) {
        t.service = id == 0x7E4 ? QStringLiteral("LSS reply") : QStringLiteral("LSS request");
        t.text = QStringLiteral("%1 cs 0x%2").arg(t.service).arg(m.data[0], 2, 16, QLatin1Char('0'));
    } else {
        t.service = QStringLiteral("other");
        t.text = t.service;
    }
    t.line
        = QStringLiteral("%1 [%2] %3  %4").arg(id, 3, 16, QLatin1Char('0')).arg(m.length).arg(t.data, -23).arg(t.text);
    return t;
}

QString sdoAbortText(quint32 code)
{
    static const QMap<quint32, const char *> texts = {
        { 0x05030000, "Toggle bit not alternated" },
        { 0x05040000, "SDO protocol timed out" },
        { 0x05040001, "Client/server command specifier not valid or unknown" },
        { 0x05040002, "Invalid block size" },
        { 0x05040003, "Invalid sequence number" },
        { 0x05040004, "CRC error" },
        { 0x05040005, "Out of memory" },
        { 0x06010000, "Unsupported access to an object" },
        { 0x06010001, "Attempt to read a write only object" },
        { 0x06010002, "Attempt to write a read only object" },
        { 0x06020000, "Object does not exist in the object dictionary" },
        { 0x06040041, "Object cannot be mapped to the PDO" },
        { 0x06040042, "The number and length of the objects to be mapped would exceed PDO length" },
        { 0x06040043, "General parameter incompatibility reason" },
        { 0x06040047, "General internal incompatibility in the device" },
        { 0x06060000, "Access failed due to a hardware error" },
        { 0x06070010, "Data type does not match, length of service parameter does not match" },
        { 0x06070012, "Data type does not match, length of service parameter too high" },
        { 0x06070013, "Data type does not match, length of service parameter too low" },
        { 0x06090011, "Sub-index does not exist" },
        { 0x06090030, "Invalid value for parameter (download only)" },
        { 0x06090031, "Value of parameter written too high (download only)" },
        { 0x06090032, "Value of parameter written too low (download only)" },
        { 0x06090036, "Maximum value is less than minimum value" },
        { 0x060A0023, "Resource not available: SDO connection" },
        { 0x08000000, "General error" },
        { 0x08000020, "Data cannot be transferred or stored to the application" },
        { 0x08000021, "Data cannot be transferred or stored to the application because of local control" },
        { 0x08000022, "Data cannot be transferred or stored to the application because of the present device state" },
        { 0x08000023, "Object dictionary dynamic generation fails or no object dictionary is present" },
        { 0x08000024, "No data available" },
    };
    const auto it = texts.constFind(code);
    return it == texts.constEnd() ? QStringLiteral("unknown abort code") : QLatin1String(it.value());
}

SdoResult sdoResult(unsigned char result)
{
    switch (result) {
    case 1:
        return { QStringLiteral("done"), QStringLiteral("done") };
    case 2:
        return { QStringLiteral("bad-size"), QStringLiteral("the size is not 1 to 4 bytes; nothing was sent") };
    case 3:
    case 4:
        return { QStringLiteral("aborted"), QStringLiteral("the node aborted the transfer") };
    case 6:
        return { QStringLiteral("time-out"), QStringLiteral("no reply from the node in time") };
    default:
        return { QStringLiteral("error"),
            QStringLiteral("a frame was refused by the adapter, or the node's reply made no sense") };
    }
}

} // namespace zapl
