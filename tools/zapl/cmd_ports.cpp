#include "zapl.h"

#include "peripherymanager.h"

#include <QCoreApplication>
#include <QSet>
#include <QTimer>
#include <csignal>
#include <utility>

namespace {
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onStopSignal(int)
{
    stopRequested = 1;
}

// The CAN listing exists only as debug records; collect them while it runs.
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

// "Kvaser  VID_0BFD&PID_0004  1-1  Leaf  kvaser_usb  Net=can0" from one record.
QString canLine(const QString &record)
{
    QStringList fields;
    const QStringList lines = record.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString value = line.section(QLatin1Char('\t'), -1).trimmed();
        if (!value.isEmpty() && !line.startsWith(QLatin1String("key:")))
            fields << value;
    }
    return fields.join(QStringLiteral("  "));
}

QString portLine(const QSerialPortInfo &port)
{
    QString line = port.systemLocation();
    if (port.hasVendorIdentifier())
        line += QStringLiteral("  %1:%2")
                    .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                    .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
    if (!port.description().isEmpty())
        line += QStringLiteral("  ") + port.description();
    return line;
}

void printList(const char *title, const QList<QSerialPortInfo> &ports)
{
    zapl::out() << title << ":\n";
    for (const QSerialPortInfo &port : ports)
        zapl::out() << "  " << portLine(port) << "\n";
    if (ports.isEmpty())
        zapl::out() << "  (none)\n";
}

// Prints what is in `now` but not in `before` as arrivals and the reverse as removals.
void printChanges(const char *kind, const QList<QSerialPortInfo> &now, const QList<QSerialPortInfo> &before)
{
    QSet<QString> nowNames, beforeNames;
    for (const QSerialPortInfo &p : now)
        nowNames.insert(p.systemLocation());
    for (const QSerialPortInfo &p : before)
        beforeNames.insert(p.systemLocation());
    for (const QSerialPortInfo &p : now) {
        if (!beforeNames.contains(p.systemLocation()))
            zapl::out() << "arrived: " << kind << " " << portLine(p) << "\n";
    }
    for (const QSerialPortInfo &p : before) {
        if (!nowNames.contains(p.systemLocation()))
            zapl::out() << "removed: " << kind << " " << portLine(p) << "\n";
    }
    zapl::out().flush();
}

int runPorts(const QStringList &args, const zapl::Options &)
{
    bool watch = false;
    QString sysfsRoot;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--watch")) {
            watch = true;
        } else if (args.at(i) == QLatin1String("--sysfs-root") && i + 1 < args.size()) {
            sysfsRoot = args.at(++i);
        } else {
            zapl::err() << "zapl ports: unexpected argument '" << args.at(i) << "'\n";
            return 2;
        }
    }

    PeripheryManager *manager = PeripheryManager::instance();
    if (!sysfsRoot.isEmpty())
        manager->setCanDeviceRoot(sysfsRoot);
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

    printList("Serial ports", serial);
    printList("USB devices", usb);
    zapl::out() << "CAN adapters:\n";
    for (const QString &record : std::as_const(records))
        zapl::out() << "  " << canLine(record) << "\n";
    if (records.isEmpty())
        zapl::out() << "  (none)\n";
    if (!watch)
        return 0;

    QObject::disconnect(manager, nullptr, nullptr, nullptr);
    QObject::connect(manager, &PeripheryManager::handleUSBInterfaces,
        [](const QList<QSerialPortInfo> &now, const QList<QSerialPortInfo> &before) {
            printChanges("usb", now, before);
        });
    QObject::connect(manager, &PeripheryManager::handleSerialInterfaces, [&serial](const QList<QSerialPortInfo> &now) {
        printChanges("serial", now, serial);
        serial = now;
    });
    // Without a hot-plug monitor the lists are polled instead.
    QTimer poll;
    constexpr int kPollMs = 1000;
    if (manager->startHotplugMonitor()) {
        zapl::out() << "watching for device changes (hot-plug events); Ctrl+C stops\n";
    } else {
        QObject::connect(&poll, &QTimer::timeout, manager, [manager]() { manager->checkActualDevices(); });
        poll.start(kPollMs);
        zapl::out() << "watching for device changes (polling every " << kPollMs << " ms); Ctrl+C stops\n";
    }
    zapl::out().flush();

    stopRequested = 0;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, []() {
        if (stopRequested)
            QCoreApplication::quit();
    });
    stopCheck.start(50);
    QCoreApplication::exec();
    manager->stopHotplugMonitor();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return 0;
}
} // namespace

ZAPL_REGISTER(ports)
{
    zapl::registerSubcommand(
        { QStringLiteral("ports"), QStringLiteral("ports [--watch]     list serial ports, USB devices, CAN adapters"),
            QStringLiteral("zapl ports [--watch] [--sysfs-root DIR]\n"
                           "Lists the serial ports that may carry ZAPL, the USB devices of interest and the CAN\n"
                           "adapters attached. With --watch it keeps running and prints every arrival and removal\n"
                           "until interrupted. --sysfs-root reads the CAN adapters from another copy of\n"
                           "/sys/bus/usb/devices."),
            runPorts });
}
