// zapl ports: serial ports, USB devices, CAN adapters and the CAN interfaces of Qt SerialBus.
#include "console.h"
#include "peripherymanager.h"
#include "zapl.h"

#include <QCanBus>
#include <QCommandLineParser>
#include <QSet>
#include <QTimer>
#include <utility>

namespace {
const QStringList kKeys = { QStringLiteral("event"), QStringLiteral("kind"), QStringLiteral("port"),
    QStringLiteral("link"), QStringLiteral("vid"), QStringLiteral("pid"), QStringLiteral("description") };

// The CAN adapter listing exists only as debug records; collect them while it runs.
QStringList *canRecords = nullptr;
QtMessageHandler previousHandler = nullptr;

void collectCanRecords(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const int at = message.indexOf(QLatin1String("CAN-Device: \t"));
    if (canRecords && type == QtDebugMsg && at >= 0) {
        canRecords->append(message.mid(at));
        return;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

struct Port
{
    QString kind; // serial, usb, can, canbus
    QString port;
    QVariant link;
    QVariant vid;
    QVariant pid;
    QString description;
};

Port fromSerialInfo(const QString &kind, const QSerialPortInfo &info)
{
    Port p { kind, info.systemLocation(), {}, {}, {}, info.description() };
    if (kind == QLatin1String("serial"))
        p.link = QStringLiteral("serial:") + info.systemLocation();
    if (info.hasVendorIdentifier()) {
        p.vid = QStringLiteral("%1").arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'));
        p.pid = QStringLiteral("%1").arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
    }
    return p;
}

// "Kvaser  VID_0BFD&PID_0004  1-1  Leaf  kvaser_usb  Net=can0" from one record.
Port fromCanRecord(const QString &record)
{
    QStringList fields;
    for (const QString &line : record.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QString value = line.section(QLatin1Char('\t'), -1).trimmed();
        if (!value.isEmpty() && !line.startsWith(QLatin1String("key:")))
            fields << value;
    }
    Port p { QStringLiteral("can"), fields.value(2), {}, {}, {}, fields.join(QStringLiteral("  ")) };
    const QString family = fields.value(0).toLower();
    for (const zapl::LinkKind &kind : zapl::links())
        if (kind.kind == family)
            p.link = family;
    return p;
}

// Every interface that an installed Qt SerialBus plugin reports, as the link that opens it.
QList<Port> canBusInterfaces()
{
    QList<Port> list;
    const QStringList plugins = QCanBus::instance()->plugins();
    for (const QString &plugin : plugins) {
        QString error;
        const auto devices = QCanBus::instance()->availableDevices(plugin, &error);
        for (const QCanBusDeviceInfo &device : devices) {
            const QString link = plugin == QLatin1String("socketcan")
                ? QStringLiteral("socketcan:%1").arg(device.name())
                : QStringLiteral("qtcan:%1:%2").arg(plugin, device.name());
            QString description = device.description();
            if (device.isVirtual())
                description += description.isEmpty() ? QStringLiteral("virtual") : QStringLiteral(" (virtual)");
            list.append(
                { QStringLiteral("canbus"), plugin + QLatin1Char(':') + device.name(), link, {}, {}, description });
        }
    }
    return list;
}

class Printer
{
public:
    explicit Printer(zapl::Format format) : m_records(format, kKeys), m_text(format == zapl::Format::Text) { }

    void section(const char *title, const QList<Port> &ports)
    {
        if (m_text)
            zapl::out() << title << ":\n";
        for (const Port &p : ports)
            add(QStringLiteral("listed"), p, QStringLiteral("  ") + line(p));
        if (m_text && ports.isEmpty())
            zapl::out() << "  (none)\n";
    }

    void change(const QString &event, const Port &p)
    {
        add(event, p, event + QStringLiteral(": ") + p.kind + QLatin1Char(' ') + line(p));
    }

private:
    static QString line(const Port &p)
    {
        if (p.kind == QLatin1String("can"))
            return p.description;
        QString text = p.kind == QLatin1String("canbus") ? p.link.toString() : p.port;
        if (p.vid.isValid())
            text += QStringLiteral("  %1:%2").arg(p.vid.toString(), p.pid.toString());
        if (!p.description.isEmpty())
            text += QStringLiteral("  ") + p.description;
        return text;
    }

    void add(const QString &event, const Port &p, const QString &text)
    {
        m_records.add({ event, p.kind, p.port, p.link, p.vid, p.pid, p.description }, text);
    }

    zapl::Records m_records;
    bool m_text;
};

QList<Port> ports(const QString &kind, const QList<QSerialPortInfo> &infos)
{
    QList<Port> list;
    for (const QSerialPortInfo &info : infos)
        list.append(fromSerialInfo(kind, info));
    return list;
}

// What is in `now` but not in `before` arrived; the reverse was removed.
void printChanges(
    Printer &printer, const char *kind, const QList<QSerialPortInfo> &now, const QList<QSerialPortInfo> &before)
{
    QSet<QString> nowNames, beforeNames;
    for (const QSerialPortInfo &p : now)
        nowNames.insert(p.systemLocation());
    for (const QSerialPortInfo &p : before)
        beforeNames.insert(p.systemLocation());
    for (const QSerialPortInfo &p : now)
        if (!beforeNames.contains(p.systemLocation()))
            printer.change(QStringLiteral("arrived"), fromSerialInfo(QLatin1String(kind), p));
    for (const QSerialPortInfo &p : before)
        if (!nowNames.contains(p.systemLocation()))
            printer.change(QStringLiteral("removed"), fromSerialInfo(QLatin1String(kind), p));
}

int runPorts(const zapl::Invocation &call)
{
    if (!call.arguments.isEmpty()) {
        zapl::err() << "zapl ports: unexpected argument '" << call.arguments.first() << "'\n";
        return zapl::ExitBadInput;
    }
    PeripheryManager *manager = PeripheryManager::instance();
    if (call.parser->isSet(QStringLiteral("sysfs-root")))
        manager->setCanDeviceRoot(call.parser->value(QStringLiteral("sysfs-root")));
    QList<QSerialPortInfo> serial;
    QList<QSerialPortInfo> usb;
    QObject::connect(manager, &PeripheryManager::handleSerialInterfaces,
        [&serial](const QList<QSerialPortInfo> &list) { serial = list; });
    QObject::connect(manager, &PeripheryManager::handleUSBInterfaces,
        [&usb](const QList<QSerialPortInfo> &list, const QList<QSerialPortInfo> &) { usb = list; });
    manager->checkActualDevices();

    QStringList records;
    canRecords = &records;
    previousHandler = qInstallMessageHandler(collectCanRecords);
    manager->checkActualCANDevices(true);
    qInstallMessageHandler(previousHandler);
    canRecords = nullptr;
    QList<Port> adapters;
    for (const QString &record : std::as_const(records))
        adapters.append(fromCanRecord(record));

    Printer printer(call.options.format);
    printer.section("Serial ports", ports(QStringLiteral("serial"), serial));
    printer.section("USB devices", ports(QStringLiteral("usb"), usb));
    printer.section("CAN adapters", adapters);
    printer.section("CAN interfaces (Qt SerialBus)", canBusInterfaces());
    if (!call.parser->isSet(QStringLiteral("watch")))
        return zapl::ExitOk;

    QObject::disconnect(manager, nullptr, nullptr, nullptr);
    QObject::connect(manager, &PeripheryManager::handleUSBInterfaces,
        [&printer](const QList<QSerialPortInfo> &now, const QList<QSerialPortInfo> &before) {
            printChanges(printer, "usb", now, before);
        });
    QObject::connect(
        manager, &PeripheryManager::handleSerialInterfaces, [&printer, &serial](const QList<QSerialPortInfo> &now) {
            printChanges(printer, "serial", now, serial);
            serial = now;
        });
    // Without a hot-plug monitor the lists are polled instead.
    QTimer poll;
    constexpr int kPollMs = 1000;
    if (manager->startHotplugMonitor()) {
        zapl::err() << "watching for device changes (hot-plug events); Ctrl-C stops\n";
    } else {
        QObject::connect(&poll, &QTimer::timeout, manager, [manager]() { manager->checkActualDevices(); });
        poll.start(kPollMs);
        zapl::err() << "watching for device changes (polling every " << kPollMs << " ms); Ctrl-C stops\n";
    }
    zapl::err().flush();
    // Watching ends with Ctrl-C; that is its normal end, not an interruption.
    zapl::Interrupt::waitForInterrupt();
    zapl::Interrupt::acknowledge();
    manager->stopHotplugMonitor();
    return zapl::ExitOk;
}
} // namespace

ZAPL_REGISTER(ports)
{
    zapl::Subcommand ports { QStringLiteral("ports"), QString(),
        QStringLiteral("list serial ports, USB devices, CAN adapters and interfaces"),
        QStringLiteral("Lists the serial ports that may carry ZAPL, the USB devices of interest, the CAN\n"
                       "adapters attached, and the interfaces that every installed Qt SerialBus plugin\n"
                       "reports (as the --link that opens them). With --watch it then prints every\n"
                       "arrival and removal until Ctrl-C (exit code 0).\n"
                       "JSON and CSV keys: event (listed, arrived, removed), kind (serial, usb, can,\n"
                       "canbus), port, link, vid, pid, description."),
        { { QStringLiteral("watch"), QStringLiteral("keep running; print arrivals and removals") },
            { QStringLiteral("sysfs-root"),
                QStringLiteral("read the CAN adapters from another copy of /sys/bus/usb/devices"),
                QStringLiteral("DIR") } },
        runPorts };
    ports.formats = true;
    zapl::registerSubcommand(ports);
}
