#include "canadapterlist_p.h"
#include "canadapters_p.h"
#include "fakesysfs.h"
#include "peripherymanager.h"

#include <QtTest>

using namespace ch::platform;
Q_DECLARE_METATYPE(CanFamily)

namespace {
QStringList captured;

QStringList identifiers(const QList<CanAdapterRecord> &records)
{
    QStringList ids;
    for (const CanAdapterRecord &r : records)
        ids << r.identifier + QLatin1Char(' ') + r.instanceId;
    return ids;
}
} // namespace

class TestCanAdapters : public QObject
{
    Q_OBJECT
    FakeSysfs sysfs;
    QString m_root;

private slots:
    void initTestCase()
    {
        QVERIFY(sysfs.isValid());
        m_root = sysfs.root();
        sysfs.kvaserAndConverter();
        sysfs.interface(sysfs.device("2-1", "0c72", "000c", "PCAN-USB"), "peak_usb", "net/can1");
        sysfs.device("2-2", "0c72", "000e", "other PEAK product");
        sysfs.interface(sysfs.device("4-1", "0AB4", "0010", "CAN-USB/2"), "cdc_acm", "tty/ttyACM0");
        sysfs.device("1-3", "0bfd", "0004", "second Leaf");
        sysfs.device("usb1", "1d6b", "0002", "root hub");
        // Entries that cannot be read as attributes.
        QDir().mkpath(m_root + "/3-1/idVendor");
        FakeSysfs::write(m_root + "/3-1/idProduct", "0004");
        QDir().mkpath(m_root + "/3-2");
        QFile::link(m_root + "/absent", m_root + "/3-2/idVendor");
        FakeSysfs::write(m_root + "/3-2/idProduct", "0004");
        QDir().mkpath(m_root + "/3-3");
        FakeSysfs::write(m_root + "/3-3/idVendor", "0bfd");
        // An interface listed at the top level, as sysfs does.
        QDir().mkpath(m_root + "/1-1:1.0");
    }

    void family_follows_identifier_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<CanFamily>("family");
        QTest::newRow("esd") << "VID_0AB4&PID_0010" << CanFamily::Esd;
        QTest::newRow("IXXAT") << "VID_08D8&PID_0008" << CanFamily::Ixxat;
        QTest::newRow("Kvaser") << "VID_0BFD&PID_0004" << CanFamily::Kvaser;
        QTest::newRow("Kvaser lower case") << "vid_0bfd&pid_0117" << CanFamily::Kvaser;
        QTest::newRow("PEAK 000C") << "VID_0C72&PID_000C" << CanFamily::Peak;
        QTest::newRow("PEAK 000d, lower case") << "vid_0c72&pid_000d" << CanFamily::Peak;
        QTest::newRow("PEAK other product") << "VID_0C72&PID_000E" << CanFamily::None;
        QTest::newRow("PEAK with revision suffix") << "VID_0C72&PID_000C&REV_0100" << CanFamily::Peak;
        QTest::newRow("Kvaser prefix not at start") << "X_VID_0BFD&PID_0004" << CanFamily::None;
        QTest::newRow("converter") << "VID_0403&PID_6001" << CanFamily::None;
        QTest::newRow("empty") << "" << CanFamily::None;
    }
    void family_follows_identifier()
    {
        QFETCH(QString, identifier);
        QFETCH(CanFamily, family);
        QCOMPARE(canAdapterFamily(identifier), family);
    }

    void registry_keys_fill_the_record()
    {
        CanAdapterRecord record;
        applyDeviceKey(&record, "Device Parameters/PortName", "COM7");
        applyDeviceKey(&record, "Device Parameters/BaseNet", "3");
        applyDeviceKey(&record, "device parameters/CiIndex", "9"); // case matters
        applyDeviceKey(&record, "FriendlyName", "CAN adapter (COM7)");
        applyDeviceKey(&record, "DeviceDesc", "CAN adapter");
        applyDeviceKey(&record, "Service", "usbser");
        applyDeviceKey(&record, "Driver", "{4d36e978}");
        QCOMPARE(record.specificParameters, (QStringList { "COM7", "3" }));
        QCOMPARE(record.key, QStringLiteral("Device Parameters/BaseNet"));
        QCOMPARE(record.friendlyName, QStringLiteral("CAN adapter (COM7)"));
        QCOMPARE(record.description, QStringLiteral("CAN adapter"));
        QCOMPARE(record.service, QStringLiteral("usbser"));
    }

    void sysfs_listing_finds_adapters_by_identifier()
    {
        const QList<CanAdapterRecord> records = ch::platform::listCanAdapters(m_root);
        QCOMPARE(identifiers(records),
            (QStringList {
                "VID_0AB4&PID_0010 4-1", "VID_0bfd&PID_0004 1-1", "VID_0bfd&PID_0004 1-3", "VID_0c72&PID_000c 2-1" }));
        QCOMPARE(records.at(0).family, CanFamily::Esd);
        QCOMPARE(records.at(0).specificParameters, QStringList { "PortName=ttyACM0" });
        QCOMPARE(records.at(0).service, QStringLiteral("cdc_acm"));
        const CanAdapterRecord &leaf = records.at(1);
        QCOMPARE(leaf.family, CanFamily::Kvaser);
        QCOMPARE(leaf.description, QStringLiteral("Leaf Light"));
        QCOMPARE(leaf.friendlyName, QStringLiteral("Maker Leaf Light"));
        QCOMPARE(leaf.service, QStringLiteral("kvaser_usb"));
        QCOMPARE(leaf.specificParameters, QStringList { "Net=can0" });
        QCOMPARE(records.at(2).service, QString());
        QCOMPARE(records.at(3).family, CanFamily::Peak);
    }

    void missing_root_lists_nothing()
    {
        QCOMPARE(ch::platform::listCanAdapters(sysfs.base() + "/nowhere").size(), 0);
        QCOMPARE(ch::platform::listCanAdapters(QString()).size(), 0);
    }

    void dump_logs_one_record_per_adapter()
    {
        PeripheryManager manager(QStringLiteral("can-dump"));
        manager.setCanDeviceRoot(m_root);
        captured.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &message) { captured.append(message); });
        manager.checkActualCANDevices(false);
        const QStringList quiet = captured;
        manager.checkActualCANDevices(true);
        qInstallMessageHandler(previous);
        QVERIFY(quiet.isEmpty());
        QCOMPARE(captured.size(), 5);
        QVERIFY(captured.at(0).startsWith("PeripheryManager::checkActualCANDevices() Actual CAN devices:"));
        const QString kvaser = captured.at(2);
        QVERIFY2(kvaser.contains("CAN-Device: \tKvaser\r\nID:\t\tVID_0bfd&PID_0004\r\ndeviceInstanceID: \t1-1\r\n"),
            qPrintable(kvaser));
        for (const char *label : { "Description: \tLeaf Light", "Service: \tkvaser_usb", "key:  \t\t",
                 "friendly name: \tMaker Leaf Light", "specificParameters: \tNet=can0\r\n" })
            QVERIFY2(kvaser.contains(QLatin1String(label)), label);
    }
};

QTEST_GUILESS_MAIN(TestCanAdapters)
#include "tst_canadapters.moc"
