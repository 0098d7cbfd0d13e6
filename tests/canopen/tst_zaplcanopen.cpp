// zapl canopen against the SLCAN simulator with a CANopen node (id 5) on its bus. The rows share
// the node and run in order: a value written in one row is read in the next.
#include "../zapl/zapltest.h"
#include "canopennode.h"
#include "slcanserver.h"

using zapltest::row;

class TstZaplCanopen : public QObject
{
    Q_OBJECT
    SlcanServer server { {} };
    CanOpenNode node { 5 };

private slots:
    void initTestCase()
    {
        if (!server.start())
            QSKIP("no pseudo-terminal available");
        node.attachTo(server.bus());
    }
    void cleanupTestCase() { server.stop(); }
    void master_data();
    void master()
    {
#if defined(__SANITIZE_THREAD__)
        if (QByteArray(QTest::currentDataTag()) == "lss fastscan")
            QSKIP("the fast scan tells a bit by a node's silence within a step; ThreadSanitizer slows the "
                  "simulator's answers past any step zapl allows");
#endif
        zapltest::check({ { QStringLiteral("pty"), server.path() } }, QProcessEnvironment::systemEnvironment(),
            [this](const QString &what, QProcess &process) {
                if (what == QLatin1String("unplug"))
                    server.unplug();
                else
                    zapltest::interrupt(what, process);
            });
    }
};

void TstZaplCanopen::master_data()
{
    zapltest::addColumns();
    const QString c = QStringLiteral("--link slcan:{pty} canopen ");
    row("sdo write, negative value", c + "sdo write 5 0x2000 0 -5", 0, "=written (4 bytes)\n", "");
    row("sdo read", c + "sdo read 5 0x2000 0", 0, "=-5 (0xfffffffb, 4 bytes)\n", "");
    row("sdo read, segmented", c + "sdo read 5 0x1008 0", 0, "\"ZAPL CANopen node\"", "");
    row("sdo abort explained", c + "sdo read 5 0x5000 0", 5, "",
        "=zapl canopen sdo: node 5 aborted the transfer: 0x06020000 Object does not exist in the object dictionary\n");
    row("sdo json", c + "sdo read 5 0x2000 0 --format json", 0,
        "={\"node\":5,\"index\":\"0x2000\",\"sub\":0,\"operation\":\"read\",\"result\":\"done\",\"value\":-5,"
        "\"size\":4,\"data\":null,\"text\":null,\"abort_code\":null,\"abort_text\":null}\n",
        "");
    row("node id checked", c + "sdo read 128 0x2000 0", 2, "", "node id: '128' is out of range 1..127");
    row("nine PDO bytes", c + "pdo 0x205 001122334455667788", 2, "", "at most 8 bytes");
    row("monitor takes no node argument", c + "monitor 5", 2, "", "usage: monitor [--seconds N] [--node ID]");
    row("no CANopen on the virtual link", "canopen sdo read 5 0x1008 0", 2, "", "offers no CANopen master");
    row("one adapter per link string", "--link kvaser:1 canopen sync", 2, "", "'1' is out of range 0..0");
    row("heartbeat on", c + "sdo write 5 0x1017 0 100 --size 2", 0, "*", "");
    row("monitor decodes heartbeats", c + "monitor --seconds 1", 0,
        "/705 \\[1\\] 7f  +heartbeat node 5 pre-operational\\n", "");
    row("monitor json", c + "monitor --seconds 1 --node 5 --format json", 0, "\"service\":\"heartbeat\",\"node\":5",
        "");
    row("monitor ends with Ctrl-C", c + "monitor", 0, "heartbeat node 5", "=zapl canopen monitor: until Ctrl-C\n", {},
        "interrupt:heartbeat");
    row("heartbeat off", c + "sdo write 5 0x1017 0 0 --size 2", 0, "*", "");
    row("lss fastscan", c + "lss fastscan", 0,
        "/^vendor 0x[0-9a-f]{8}\nproduct 0x[0-9a-f]{8}\nrevision 0x[0-9a-f]{8}\nserial 0x00c0ffee\n$", "*");
    row("adapter vanishes under monitor", c + "monitor", 3, "*", "/the link slcan:\\S+ is gone", {},
        "unplug:until Ctrl-C");
}

QTEST_GUILESS_MAIN(TstZaplCanopen)
#include "tst_zaplcanopen.moc"
