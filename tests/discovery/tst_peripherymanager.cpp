#include "global.h"
#include "hotplugmonitor_p.h"
#include "nativemessage.h"
#include "peripherymanager.h"

#include <QFile>
#include <QtTest>

#include <functional>

namespace {
QStringList captured;

// The debug lines written while `action` runs.
QStringList debugLines(const std::function<void()> &action)
{
    captured.clear();
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
              if (type == QtDebugMsg)
                  captured.append(message);
          });
    action();
    qInstallMessageHandler(previous);
    return captured;
}

// Collects the manager's signals in the order they arrive.
struct Recorder
{
    QStringList order;
    QList<QList<QSerialPortInfo>> usbNew, usbOld, serial;

    explicit Recorder(PeripheryManager *manager, QObject *context)
    {
        QObject::connect(manager, &PeripheryManager::handleUSBInterfaces, context,
            [this](const QList<QSerialPortInfo> &n, const QList<QSerialPortInfo> &o) {
                order << "usb";
                usbNew << n;
                usbOld << o;
            });
        QObject::connect(
            manager, &PeripheryManager::handleSerialInterfaces, context, [this](const QList<QSerialPortInfo> &s) {
                order << "serial";
                serial << s;
            });
        QObject::connect(manager, &PeripheryManager::handleCANInterfaces, context, [this]() { order << "can"; });
        QObject::connect(manager, &PeripheryManager::handleDevNodesChanged, context, [this]() { order << "nodes"; });
    }
};

QStringList names(const QList<QSerialPortInfo> &ports)
{
    QStringList list;
    for (const QSerialPortInfo &p : ports)
        list << p.systemLocation();
    return list;
}

ch::NativeMessage deviceChange(quintptr wParam, qintptr lParam = 0)
{
    ch::NativeMessage msg;
    msg.message = ch::WmDeviceChange;
    msg.wParam = wParam;
    msg.lParam = lParam;
    return msg;
}
} // namespace

class TestPeripheryManager : public QObject
{
    Q_OBJECT
private slots:
    void instance_is_shared_through_the_registry()
    {
        PeripheryManager *manager = PeripheryManager::instance();
        QVERIFY(manager);
        QCOMPARE(manager->objectName(), QStringLiteral("___PeripheryManager___"));
        QCOMPARE(PeripheryManager::instance(), manager);
        QCOMPARE(Global::instance()->getSelf(QStringLiteral("___PeripheryManager___")), manager);
        QVERIFY(!manager->parent());
    }

    void construction_logs_the_three_lists()
    {
        const QStringList lines = debugLines([] { PeripheryManager manager(QStringLiteral("logged")); });
        QCOMPARE(lines.size(), 1);
        const QString &line = lines.first();
        QVERIFY2(line.startsWith("PeripheryManager::PeripheryManager() \n\tWhitelist: QMap("), qPrintable(line));
        QVERIFY(line.contains("(6699, 255)")); // 0x1A2B, 0x00FF from the identifier file
        QVERIFY(line.contains("\n \tBlacklist: QMap((0, 0)(1105, 13328)"));
        QVERIFY(line.endsWith("\n\tDescription blacklist: (Bluetooth, H5321, F5521)"));
    }

    void enumeration_emits_usb_serial_nodes_in_order_and_dump_only_emits_nothing()
    {
        PeripheryManager manager(QStringLiteral("order"));
        QObject context;
        Recorder rec(&manager, &context);
        manager.checkActualDevices();
        manager.checkActualDevices();
        QCOMPARE(rec.order, (QStringList { "usb", "serial", "nodes", "usb", "serial", "nodes" }));
        QCOMPARE(rec.usbOld.first().size(), 0);
        QCOMPARE(names(rec.usbNew.at(1)), names(rec.usbNew.at(0)));
        QCOMPARE(names(rec.usbOld.at(1)), names(rec.usbNew.at(0)));
        QCOMPARE(names(rec.serial.at(1)), names(rec.serial.at(0)));
        QCOMPARE(names(manager.oldUsbInterfaces()), names(rec.usbNew.first()));
        // Every listed serial port is one Qt reports, in the order of the port map.
        const QStringList all = names(manager.comMap().values());
        const QStringList listed = names(rec.serial.first());
        // Ports that report no identifiers and no description always count as serial ports.
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
            if (!port.hasVendorIdentifier() && port.description().isEmpty())
                QVERIFY2(listed.contains(port.systemLocation()), qPrintable(port.systemLocation()));
        }
        int last = -1;
        for (const QString &port : listed) {
            QVERIFY(all.indexOf(port) > last);
            last = all.indexOf(port);
        }
        QCOMPARE(manager.comMap().size(), QSerialPortInfo::availablePorts().size()); // no two names share a key
        const QStringList before = names(manager.oldUsbInterfaces());
        rec.order.clear();
        manager.checkActualDevices(true);
        manager.checkActualSerialDevices(true);
        manager.checkActualUSBDevices(true);
        QVERIFY(rec.order.isEmpty());
        QCOMPARE(names(manager.oldUsbInterfaces()), before);
    }

    void three_node_changes_give_three_deferred_enumerations()
    {
        PeripheryManager manager(QStringLiteral("burst"));
        QSignalSpy nodes(&manager, &PeripheryManager::handleDevNodesChanged);
        QSignalSpy usb(&manager, &PeripheryManager::handleUSBInterfaces);
        QSignalSpy serial(&manager, &PeripheryManager::handleSerialInterfaces);
        ch::DeviceBroadcastHeader header;
        header.deviceType = 0x00050005; // only the low 16 bits are reported
        ch::NativeMessage first = deviceChange(ch::DbtDevNodesChanged);
        ch::NativeMessage second = deviceChange(ch::DbtDevNodesChanged, reinterpret_cast<qintptr>(&header));
        QElapsedTimer clock;
        clock.start();
        const QStringList lines = debugLines([&] {
            manager.handleNativeEvent(&first);
            manager.handleNativeEvent(&second);
            manager.handleNativeEvent(&first);
        });
        QCOMPARE(nodes.count(), 0); // deferred, not run in the call
        QVERIFY(nodes.wait(1000));
        QVERIFY2(clock.elapsed() >= 70, qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(nodes.count(), 3, 1000);
        QTest::qWait(150);
        QCOMPARE(nodes.count(), 3);
        QCOMPARE(usb.count(), 3);
        QCOMPARE(serial.count(), 3);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QStringLiteral("PeripheryManager::handleNativeEvent() deviceChanged:  0x0219 7 0"));
        QVERIFY(lines.contains("PeripheryManager::handleNativeEvent() Name: 0x0005 Size: 12"));
    }

    void other_device_change_messages_only_log()
    {
        PeripheryManager manager(QStringLiteral("arrival"));
        QSignalSpy nodes(&manager, &PeripheryManager::handleDevNodesChanged);
        ch::NativeMessage arrival = deviceChange(ch::DbtDeviceArrival, -1);
        ch::NativeMessage removal = deviceChange(ch::DbtDeviceRemoveComplete);
        ch::NativeMessage unrelated = deviceChange(ch::DbtDevNodesChanged);
        unrelated.message = 0x0001;
        const QStringList lines = debugLines([&] {
            for (ch::NativeMessage *msg : { &arrival, &removal, &unrelated, static_cast<ch::NativeMessage *>(nullptr) })
                manager.handleNativeEvent(msg);
        });
        QCOMPARE(lines,
            (QStringList { "PeripheryManager::handleNativeEvent() deviceChanged:  0x0219 32768 -1",
                "PeripheryManager::handleNativeEvent() deviceChanged:  0x0219 32772 0" }));
        QTest::qWait(200);
        QCOMPARE(nodes.count(), 0);
    }

    void destroyed_manager_runs_no_deferred_enumeration()
    {
        auto *manager = new PeripheryManager(QStringLiteral("short-lived"));
        int runs = 0;
        QObject context;
        connect(manager, &PeripheryManager::handleDevNodesChanged, &context, [&runs]() { ++runs; });
        ch::NativeMessage msg = deviceChange(ch::DbtDevNodesChanged);
        manager->handleNativeEvent(&msg);
        delete manager;
        QTest::qWait(200);
        QCOMPARE(runs, 0);
    }

    void hotplug_event_qualifies_data()
    {
        QTest::addColumn<QStringList>("event"); // action, subsystem, device type
        QTest::addColumn<bool>("qualifies");
        QTest::newRow("tty add") << QStringList { "add", "tty", "" } << true;
        QTest::newRow("tty remove") << QStringList { "remove", "tty", "" } << true;
        QTest::newRow("usb device add") << QStringList { "add", "usb", "usb_device" } << true;
        QTest::newRow("usb interface add") << QStringList { "add", "usb", "usb_interface" } << false;
        QTest::newRow("tty change") << QStringList { "change", "tty", "" } << false;
        QTest::newRow("usb bind") << QStringList { "bind", "usb", "usb_device" } << false;
        QTest::newRow("net add") << QStringList { "add", "net", "" } << false;
        QTest::newRow("empty") << QStringList { "", "", "" } << false;
    }
    void hotplug_event_qualifies()
    {
        QFETCH(QStringList, event);
        QFETCH(bool, qualifies);
        QCOMPARE(HotplugMonitor::qualifies(event.at(0), event.at(1), event.at(2)), qualifies);
    }

    // No device can be plugged in during a test: the monitor's events are synthesised and
    // everything from them onward is the real path.
    void hotplug_event_triggers_deferred_enumeration()
    {
        PeripheryManager manager(QStringLiteral("hotplug"));
        QVERIFY(!manager.isHotplugMonitorActive());
        auto *monitor = manager.findChild<HotplugMonitor *>(QStringLiteral("hotplugMonitor"));
        QVERIFY(monitor);
        QSignalSpy nodes(&manager, &PeripheryManager::handleDevNodesChanged);
        emit monitor->deviceEvent(QStringLiteral("add"), QStringLiteral("tty"), QStringLiteral("/dev/ttyUSB0"));
        emit monitor->deviceEvent(QStringLiteral("remove"), QStringLiteral("usb"), QStringLiteral("/dev/bus/usb/1/4"));
        QCOMPARE(nodes.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(nodes.count(), 2, 1000);
    }

    void hotplug_monitor_starts_and_stops()
    {
        PeripheryManager manager(QStringLiteral("monitor"));
        if (!manager.startHotplugMonitor())
            QSKIP("no udev netlink monitor can be opened here");
        QVERIFY(manager.isHotplugMonitorActive());
        QVERIFY(manager.startHotplugMonitor()); // a second start keeps the running monitor
        manager.stopHotplugMonitor();
        QVERIFY(!manager.isHotplugMonitorActive());
        manager.stopHotplugMonitor();
        QVERIFY(manager.startHotplugMonitor());
    }

    // Asks the kernel to announce an existing tty again: a real event through the real monitor.
    void kernel_event_reaches_the_manager()
    {
        PeripheryManager manager(QStringLiteral("kernel"));
        if (!manager.startHotplugMonitor())
            QSKIP("no udev netlink monitor can be opened here");
        QSignalSpy nodes(&manager, &PeripheryManager::handleDevNodesChanged);
        QFile uevent(QStringLiteral("/sys/class/tty/ptmx/uevent"));
        if (!uevent.open(QIODevice::WriteOnly) || uevent.write("add\n") < 0)
            QSKIP("cannot ask the kernel for a uevent here (needs write access to sysfs)");
        uevent.close();
        if (!nodes.wait(2000))
            QSKIP("the kernel delivers no uevents into this namespace");
        QVERIFY(nodes.count() >= 1);
    }
};

QTEST_GUILESS_MAIN(TestPeripheryManager)
#include "tst_peripherymanager.moc"
