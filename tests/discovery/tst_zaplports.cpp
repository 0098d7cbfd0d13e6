// zapl ports over a fake copy of /sys/bus/usb/devices: a Kvaser adapter and a serial converter.
#include "../zapl/zapltest.h"
#include "fakesysfs.h"

using zapltest::row;

class TstZaplPorts : public QObject
{
    Q_OBJECT
    FakeSysfs m_sysfs;

private slots:
    void initTestCase()
    {
        QVERIFY(m_sysfs.isValid());
        m_sysfs.kvaserAndConverter();
    }
    void ports_data();
    void ports() { zapltest::check({ { QStringLiteral("sysfs"), m_sysfs.root() } }); }
};

void TstZaplPorts::ports_data()
{
    zapltest::addColumns();
    row("four lists", "ports --sysfs-root {sysfs}", 0,
        "/^Serial ports:\\n.*\\nUSB devices:\\n.*\\nCAN adapters:\\n  Kvaser  VID_0bfd&PID_0004  1-1  Leaf Light  "
        "kvaser_usb  Maker Leaf Light  Net=can0\\nCAN interfaces \\(Qt SerialBus\\):\\n.*  qtcan:virtualcan:can0  ",
        "");
    row("json", "ports --sysfs-root {sysfs} --format json", 0,
        "{\"event\":\"listed\",\"kind\":\"canbus\",\"port\":\"virtualcan:can0\",\"link\":\"qtcan:virtualcan:can0\"",
        "");
    row("unknown option", "ports --bogus", 2, "", "unknown option '--bogus'");
    // Nothing is plugged in meanwhile: no arrival or removal is reported; Ctrl-C ends it normally.
    row("watch until Ctrl-C", "ports --watch --sysfs-root {sysfs}", 0, "/^(?!.*(arrived|removed):)", "watching", {},
        "interrupt:watching for device changes");
}

QTEST_GUILESS_MAIN(TstZaplPorts)
#include "tst_zaplports.moc"
