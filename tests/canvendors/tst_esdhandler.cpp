#include "canesdcommandhandler.h"
#include "fakecontrol.h"

#include <QtTest>

class EsdHandlerTest : public QObject
{
    Q_OBJECT
    LogCapture log { false };

private slots:
    void init() { log.install(); }
    void cleanup() { log.remove(); }

    // Runs first, before any FakeControl holds the library.
    void library_stays_loaded_until_last_handler_is_destroyed()
    {
        QVERIFY(!FakeControl::isLoaded("libntcan.so.4"));
        auto *first = new CANEsdCommandHandler;
        auto *second = new CANEsdCommandHandler;
        QVERIFY(FakeControl::isLoaded("libntcan.so.4"));
        first->setNetID(0);
        QVERIFY(first->openDevice(1000));
        delete first;
        QVERIFY(FakeControl::isLoaded("libntcan.so.4"));
        second->setNetID(0);
        QVERIFY(second->openDevice(1000));
        QVERIFY(second->closeDevice());
        QVERIFY(FakeControl::isLoaded("libntcan.so.4"));
        delete second;
        QVERIFY(!FakeControl::isLoaded("libntcan.so.4"));
    }

    void request_round_trip_over_the_fake_bus()
    {
        FakeControl fake("libntcan.so.4");
        CANEsdCommandHandler handler;
        BusSpy spy(fake.bus());
        handler.setNetID(0);
        QVERIFY(handler.openDevice(250));
        QCOMPARE(fake.lastArg("canSetBaudrate", 1), 4LL);
        QCOMPARE(fake.lastArg("canOpen", 3), 255LL);
        const Command reply = setAndGet(handler, 2, 77);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.value(), 77);
        QCOMPARE(spy.last.data[7], quint8(3));
        QVERIFY(handler.closeDevice());
        QCOMPARE(fake.callCount("canClose"), 1);
    }

    void registers_identifiers_one_to_2047_not_zero()
    {
        FakeControl fake("libntcan.so.4");
        CANEsdCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(fake.callCount("canIdAdd"), 2047);
        QCOMPARE(fake.lastArg("canIdAdd", 1), 2047LL);
        handler.setMaxTimeoutMS(30);
        // No module sits at 9, so only injected frames answer; identifier 0 must not reach the handler.
        const QByteArray answer("\x01\x64\x06\x00\x00\x00\x05\x00", 8);
        injectFrame(fake.bus(), 0, 8, answer);
        QVERIFY(!ask(handler, 9, 6).isValid());
        handler.resetTimeOutedDevices();
        injectFrame(fake.bus(), 2047, 8, answer);
        QCOMPARE(ask(handler, 9, 6).value(), 5);
    }

    void bit_rate_table_indices_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<long long>("index");
        for (auto row : { std::pair<int, long long> { 1000, 0 }, { 800, 0 }, { 500, 2 }, { 250, 4 }, { 125, 6 },
                 { 100, 7 }, { 50, 9 }, { 20, 11 }, { 10, 13 } })
            QTest::addRow("%d", row.first) << row.first << row.second;
    }
    void bit_rate_table_indices()
    {
        QFETCH(int, rate);
        QFETCH(long long, index);
        FakeControl fake("libntcan.so.4");
        CANEsdCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        fake.failBusOn(true); // the library refuses: the handler still reports success
        QVERIFY(handler.setDataRate(rate));
        QCOMPARE(fake.lastArg("canSetBaudrate", 1), index);
        QCOMPARE(handler.dataRate(), rate);
    }

    void failed_open_clears_handle()
    {
        FakeControl fake("libntcan.so.4");
        fake.failOpen(true);
        CANEsdCommandHandler handler;
        handler.setDebugEnabled(true);
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(!handler.isDeviceOpen());
        QVERIFY(log.contains(QStringLiteral("CANEsdCommandHandler::openDevice() canOpen: 287")));
        QVERIFY(handler.closeDevice());
        QVERIFY(log.contains(QStringLiteral("CANEsdCommandHandler::closeDevice()  !this->open")));
        QCOMPARE(fake.callCount("canClose"), 0);
    }

    void reopen_closes_the_previous_handle()
    {
        FakeControl fake("libntcan.so.4");
        CANEsdCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        QVERIFY(handler.reopenDevice());
        QCOMPARE(fake.callCount("canClose"), 1);
        QCOMPARE(fake.callCount("canOpen"), 2);
    }
};

QTEST_GUILESS_MAIN(EsdHandlerTest)
#include "tst_esdhandler.moc"
