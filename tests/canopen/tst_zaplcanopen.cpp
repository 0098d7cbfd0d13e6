// zapl canopen end to end: the tool against the SLCAN simulator with the node model.
#include "canopennode.h"
#include "slcanserver.h"

#include <QProcess>
#include <QtTest>

class TestZaplCanopen : public QObject
{
    Q_OBJECT
    SlcanServer *server = nullptr;
    CanOpenNode *node = nullptr;

    QString run(const QStringList &args, int *rc)
    {
        QProcess p;
        p.start(QStringLiteral(CH_ZAPL_BINARY), QStringList { "--link", "slcan:" + server->path() } + args);
        if (!p.waitForFinished(10000))
            p.kill();
        *rc = p.exitCode();
        return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    }

private slots:
    void init()
    {
        server = new SlcanServer({});
        if (!server->start())
            QSKIP("no pseudo-terminal available");
        node = new CanOpenNode(5);
        node->attachTo(server->bus());
    }
    void cleanup()
    {
        delete node;
        if (server)
            server->stop();
        delete server;
    }

    void sdo_and_pdo_print_results_and_exit_codes()
    {
        int rc = -1;
        QString text = run({ "canopen", "sdo", "write", "5", "0x2000", "0", "-5" }, &rc);
        QCOMPARE(rc, 0);
        text = run({ "canopen", "sdo", "read", "5", "0x2000", "0" }, &rc);
        QCOMPARE(rc, 0);
        QVERIFY2(text.contains("-5 (0xfffffffb, 4 bytes)"), qPrintable(text));
        text = run({ "canopen", "sdo", "read", "5", "0x1008", "0" }, &rc);
        QVERIFY2(text.contains("\"ZAPL CANopen node\""), qPrintable(text));
        text = run({ "canopen", "sdo", "read", "5", "0x5000", "0" }, &rc);
        QCOMPARE(rc, 1);
        QVERIFY2(text.contains("abort code 0x06020000"), qPrintable(text));
        run({ "canopen", "pdo", "0x205", "001122334455667788" }, &rc); // nine bytes
        QCOMPARE(rc, 2);
    }

    void monitor_decodes_heartbeats_and_lss_finds_identity()
    {
        node->setEntry(0x1017, 0, QByteArray::fromHex("6400"), true, 2); // 100 ms
        int rc = -1;
        QString text = run({ "canopen", "monitor", "1" }, &rc);
        QVERIFY2(text.contains("heartbeat node 5 pre-operational"), qPrintable(text));
        node->setEntry(0x1017, 0, QByteArray::fromHex("0000"), true, 2);
        text = run({ "canopen", "lss", "fastscan" }, &rc);
        QCOMPARE(rc, 0);
        QVERIFY2(text.contains("serial 0x00c0ffee"), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestZaplCanopen)
#include "tst_zaplcanopen.moc"
