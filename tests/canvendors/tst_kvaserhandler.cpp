#include "cankvasercommandhandler.h"
#include "fakecontrol.h"

#include <QtTest>

class KvaserHandlerTest : public QObject
{
    Q_OBJECT
    FakeControl fake { "libcanlib.so.1" };
    LogCapture log { false };

private slots:
    void cleanup() { log.remove(); }

    void init()
    {
        QVERIFY(fake.isValid());
        fake.reset();
        log.install();
    }

    void request_round_trip_over_the_fake_bus()
    {
        CANKvaserCommandHandler handler;
        BusSpy spy(fake.bus());
        handler.setReplyID(2);
        QVERIFY(handler.openDevice(1000));
        const Command reply = setAndGet(handler, 4, 1234);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.value(), 1234);
        QCOMPARE(spy.last.data[7], quint8(3)); // the spare byte
        QCOMPARE(fake.lastArg("canWrite", 2), 8LL); // dlc 8
        QCOMPARE(fake.lastArg("canWrite", 3), 0LL); // standard identifier
        QVERIFY(handler.closeDevice());
        QCOMPARE(fake.callCount("canBusOff"), 1);
        QCOMPARE(fake.callCount("canClose"), 1);
    }

    void bit_rate_table_codes_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<long long>("code");
        for (auto row : { std::pair<int, long long> { 1000, -1 }, { 800, 0 }, { 500, -2 }, { 250, -3 }, { 125, -4 },
                 { 100, -5 }, { 50, -7 }, { 20, 0 }, { 10, -9 } })
            QTest::addRow("%d", row.first) << row.first << row.second;
    }
    void bit_rate_table_codes()
    {
        QFETCH(int, rate);
        QFETCH(long long, code);
        CANKvaserCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        handler.setDataRate(rate);
        QCOMPARE(handler.dataRate(), rate);
        QCOMPARE(fake.lastArg("canSetBusParams", 1), code);
    }

    void list_argument_opens_channel_and_reports_rate_read_back()
    {
        fake.setReportedBitrate(499000);
        CANKvaserCommandHandler handler;
        QVERIFY(handler.openDevice(QVariantList { 500, 1 }));
        QCOMPARE(fake.lastArg("canOpenChannel", 0), 1LL);
        QCOMPARE(fake.lastArg("canSetBusParams", 1), -2LL);
        QCOMPARE(handler.dataRate(), 499);
        QVERIFY(log.contains(QStringLiteral("CANKvaserCommandHandler::openDevice() canBusOn -> ok")));
    }

    void channel_open_falls_back_to_no_init_access()
    {
        fake.failCall("canOpenChannel", 1);
        CANKvaserCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(fake.callCount("canOpenChannel"), 2);
        QCOMPARE(fake.lastArg("canOpenChannel", 1), 0x100LL);
    }

    void failed_channel_open_reports_without_blocking()
    {
        fake.failOpen(true);
        CANKvaserCommandHandler handler; // debug switch off: these lines are written anyway
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(!handler.isDeviceOpen());
        QVERIFY(log.contains(QStringLiteral("canOpenChannel -> failed! handle= -3")));
        QVERIFY(log.contains(QStringLiteral("Failed to open channel\nhandle: 0xFFFFFFFD")));
        QCOMPARE(fake.callCount("canOpenChannel"), 2);
    }

    void failed_bus_on_closes_the_channel()
    {
        fake.failBusOn(true);
        CANKvaserCommandHandler handler;
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(log.contains(QStringLiteral("canBusOn -> failed! status= -1")));
        QCOMPARE(fake.callCount("canClose"), 1); // the channel is not left open
    }

    void reopen_and_destruction_close_the_open_channel()
    {
        {
            CANKvaserCommandHandler handler;
            QVERIFY(handler.openDevice(QVariantList { 250, 1 }));
            QVERIFY(handler.reopenDevice());
            QCOMPARE(fake.callCount("canClose"), 1);
            QCOMPARE(fake.lastArg("canOpenChannel", 0), 1LL);
            QCOMPARE(fake.lastArg("canSetBusParams", 1), -3LL);
        }
        QCOMPARE(fake.callCount("canClose"), 2);
    }

    void length_code_above_eight_reads_eight_bytes()
    {
        CANKvaserCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        handler.setMaxTimeoutMS(50);
        fake.failCall("canWrite", 1); // the request is lost; only the injected frame answers
        injectFrame(fake.bus(), 2, 15, QByteArray("\x01\x64\x06\x00\x00\x03\xE8\x07", 8));
        const Command reply = ask(handler, 1, 6);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.value(), 1000);
        QCOMPARE(reply.checksum(), quint8(7));
    }

    void closing_one_handler_keeps_the_library_for_the_other()
    {
        CANKvaserCommandHandler first;
        CANKvaserCommandHandler second;
        QVERIFY(first.openDevice(QVariantList { 1000, 0 }));
        QVERIFY(second.openDevice(QVariantList { 1000, 1 }));
        QVERIFY(first.closeDevice());
        QVERIFY(ask(second, 1, 6).isValid());
    }
};

QTEST_GUILESS_MAIN(KvaserHandlerTest)
#include "tst_kvaserhandler.moc"
