// The base's bookkeeping: naming, statistics, history, filter and the reporting rules.
#include "simbushandler.h"
#include "sysinfoobject.h"

#include <QtTest>

class TestCanopenInterface : public QObject
{
    Q_OBJECT
    SimCanBus bus;

private slots:
    void first_handlers_are_numbered_from_one()
    {
        SimBusHandler a(bus), b(bus);
        QCOMPARE(a.getDeviceName(), QStringLiteral("UNKNOWN_1"));
        QCOMPARE(b.getDeviceName(), QStringLiteral("UNKNOWN_2"));
        QCOMPARE(a.getSDOTimeout(), 500u);
        QCOMPARE(a.getDataRate(), 1000);
    }

    void naming_registers_and_reports_sent_frames()
    {
        SysInfoObject *info = SysInfoObject::instance();
        info->clearRecords();
        {
            SimBusHandler h(bus);
            h.setDeviceName(QStringLiteral("co-test"));
            QVERIFY(info->connections().contains(QStringLiteral("co-test")));
            h.NMTStart(1);
            h.SYNCPulse();
            QTRY_VERIFY(!info->rxReports().isEmpty());
            QCOMPARE(info->rxReports().first().commands, 2);
            h.setDeviceName(QStringLiteral("co-renamed"));
            QVERIFY(!info->connections().contains(QStringLiteral("co-test")));
        }
        QVERIFY(!info->connections().contains(QStringLiteral("co-renamed")));
    }

    void history_disabling_nests()
    {
        SimBusHandler h(bus);
        int logged = 0, counted = 0;
        connect(&h, &CANopenHandlerInterface::logSentCanMessage, this, [&](CanMessage &) { ++logged; });
        connect(&h, &CANopenHandlerInterface::countSentCanMessage, this, [&] { ++counted; });
        h.setHistoryEnabled(false);
        h.setHistoryEnabled(false);
        h.setHistoryEnabled(true);
        h.SYNCPulse();
        QCOMPARE(logged, 0);
        QCOMPARE(counted, 1);
        h.setHistoryEnabled(true);
        h.setHistoryEnabled(true); // surplus
        h.SYNCPulse();
        QCOMPARE(logged, 1);
        h.setHistoryEnabled(false);
        QVERIFY(!h.isHistoryEnabled()); // the surplus enable was not banked
    }

    void filter_ranges_data()
    {
        QTest::addColumn<uint>("id");
        QTest::addColumn<bool>("passes");
        const QList<QPair<uint, bool>> rows = { { 0x000, true }, { 0x001, false }, { 0x07F, false }, { 0x080, true },
            { 0x100, true }, { 0x101, false }, { 0x180, false }, { 0x181, true }, { 0x1FF, true }, { 0x200, false },
            { 0x201, true }, { 0x280, false }, { 0x57F, true }, { 0x580, false }, { 0x581, true }, { 0x5FF, true },
            { 0x600, false }, { 0x67F, true }, { 0x680, false }, { 0x700, false }, { 0x701, true }, { 0x77F, true },
            { 0x780, false }, { 0x7E3, false }, { 0x7E4, true }, { 0x7E5, true }, { 0x7E6, false },
            { 0x1ABCDEF, false } };
        for (const auto &r : rows)
            QTest::newRow(qPrintable(QString::number(r.first, 16))) << r.first << r.second;
    }
    void filter_ranges()
    {
        QFETCH(uint, id);
        QFETCH(bool, passes);
        SimBusHandler h(bus);
        QVERIFY(h.filterPassed(id)); // everything passes while the filter is off
        h.filterEnable(true);
        QCOMPARE(h.filterPassed(id), passes);
    }

    void received_frames_reach_pdo_signal_by_range_data()
    {
        QTest::addColumn<uint>("id");
        QTest::addColumn<bool>("pdo");
        QTest::newRow("0x180") << 0x180u << false;
        QTest::newRow("0x181") << 0x181u << true;
        QTest::newRow("0x57F") << 0x57Fu << true;
        QTest::newRow("0x580") << 0x580u << false;
    }
    void received_frames_reach_pdo_signal_by_range()
    {
        QFETCH(uint, id);
        QFETCH(bool, pdo);
        SimBusHandler h(bus);
        h.stopPolling();
        QStringList order;
        connect(&h, &CANopenHandlerInterface::receivedCanMessage, this, [&](CanMessage &) { order << "rx"; });
        connect(&h, &CANopenHandlerInterface::receivedPDO, this, [&](CanMessage &) { order << "pdo"; });
        connect(&h, &CANopenHandlerInterface::logReceivedCanMessage, this, [&](CanMessage &) { order << "log"; });
        SimCanFrame f;
        f.id = id;
        f.length = 2;
        for (bool history : { true, false }) {
            h.setHistoryEnabled(history);
            order.clear();
            bus.reply(f);
            h.checkForCanMessage();
            QStringList expected { "rx" };
            expected << (pdo ? QStringList { "pdo" } : QStringList())
                     << (history ? QStringList { "log" } : QStringList());
            QCOMPARE(order, expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestCanopenInterface)
#include "tst_canopeninterface.moc"
