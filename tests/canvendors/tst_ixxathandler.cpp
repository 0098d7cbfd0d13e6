#include "canixxatcommandhandler.h"
#include "command.h"
#include "fakecontrol.h"

#include <QtTest>

class IxxatHandlerTest : public QObject
{
    Q_OBJECT
    FakeControl fake { "libvciapi.so" };
    LogCapture log { false };

private slots:
    void cleanup() { log.remove(); }

    void init()
    {
        QVERIFY(fake.isValid());
        fake.reset();
        log.install();
    }

    void request_round_trip_and_every_object_released()
    {
        {
            CANIxxatCommandHandler handler;
            BusSpy spy(fake.bus());
            QVERIFY(handler.openDevice(125));
            QVERIFY(log.contains(QStringLiteral("CANIxxatCommandHandler::openDevice() Initialized Ixxat CAN")));
            QCOMPARE(fake.lastArg("InitLine", 0), 1LL); // standard frames
            QCOMPARE(fake.lastArg("InitLine", 2), 0x03LL);
            QCOMPARE(fake.lastArg("InitLine", 3), 0x1CLL);
            QCOMPARE(fake.lastArg("OpenSocket", 0), 1LL); // the first CAN socket, not socket 0
            QCOMPARE(fake.lastArg("Initialize", 0), 32LL);
            QCOMPARE(fake.lastArg("CreateChannel", 0), 0LL); // not exclusive
            QCOMPARE(fake.liveObjects(), 4); // channel, control, reader, writer
            Command set(1, 5, 1, 0, 4242);
            Command reply;
            handler.doDirectRequest(&set, &reply);
            QVERIFY(reply.isValid());
            Command get(1, 6, 1, 0, 0);
            handler.doDirectRequest(&get, &reply);
            QVERIFY(reply.isValid());
            QCOMPARE(reply.value(), 4242);
            QCOMPARE(spy.last.data[7], quint8(3));
            QVERIFY(handler.closeDevice());
            QCOMPARE(fake.callCount("ResetLine"), 1);
            QCOMPARE(fake.liveObjects(), 0);
        }
        QCOMPARE(fake.liveObjects(), 0);
    }

    void bit_timing_table_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<long long>("btr0");
        QTest::addColumn<long long>("btr1");
        QTest::newRow("1000") << 1000 << 0x00LL << 0x14LL;
        QTest::newRow("800 unlisted") << 800 << 0x00LL << 0x14LL;
        QTest::newRow("500") << 500 << 0x00LL << 0x1CLL;
        QTest::newRow("250") << 250 << 0x01LL << 0x1CLL;
        QTest::newRow("100") << 100 << 0x04LL << 0x1CLL;
        QTest::newRow("50") << 50 << 0x09LL << 0x1CLL;
        QTest::newRow("20") << 20 << 0x18LL << 0x1CLL;
        QTest::newRow("10") << 10 << 0x31LL << 0x1CLL;
    }
    void bit_timing_table()
    {
        QFETCH(int, rate);
        QFETCH(long long, btr0);
        QFETCH(long long, btr1);
        CANIxxatCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        QVERIFY(handler.setDataRate(rate));
        QCOMPARE(fake.lastArg("InitLine", 2), btr0);
        QCOMPARE(fake.lastArg("InitLine", 3), btr1);
    }

    void bit_rate_failure_still_opens()
    {
        fake.failBusOn(true); // StartLine fails
        CANIxxatCommandHandler handler;
        handler.setDebugEnabled(true);
        QVERIFY(handler.openDevice(500));
        QVERIFY(handler.isDeviceOpen());
        QVERIFY(log.contains(QStringLiteral("CANIxxatCommandHandler::setDataRate() Failed to set bitrate")));
        QVERIFY(log.contains(QStringLiteral("Initialized Ixxat CAN")));
        QVERIFY(!handler.setDataRate(500));
    }

    void no_device_fails_and_releases_everything()
    {
        fake.setNoDevice(true);
        CANIxxatCommandHandler handler;
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(log.contains(QStringLiteral("CANIxxatCommandHandler::openDevice() Failed to initialize Ixxat CAN")));
        QCOMPARE(fake.liveObjects(), 0);
    }

    void failure_at_each_initialisation_step_releases_everything_data()
    {
        QTest::addColumn<QByteArray>("step");
        for (const char *step : { "VciInitialize", "VciGetDeviceManager", "Next", "OpenDevice", "OpenComponent",
                 "GetFeatures", "OpenSocket", "CreateChannel", "Initialize", "Activate" })
            QTest::newRow(step) << QByteArray(step);
    }
    void failure_at_each_initialisation_step_releases_everything()
    {
        QFETCH(QByteArray, step);
        fake.failCall(step.constData(), 1);
        CANIxxatCommandHandler handler;
        QVERIFY(!handler.openDevice(1000));
        QCOMPARE(fake.liveObjects(), 0);
        QVERIFY(handler.openDevice(1000)); // the next attempt succeeds
    }

    void second_handler_shares_the_objects_and_closing_releases_them_for_both()
    {
        CANIxxatCommandHandler first;
        CANIxxatCommandHandler second;
        QVERIFY(first.openDevice(1000));
        QVERIFY(second.openDevice(1000));
        QCOMPARE(fake.callCount("CreateChannel"), 1);
        QVERIFY(first.closeDevice());
        Command get(1, 6, 0, 0, 0);
        second.setMaxTimeoutMS(20);
        Command reply;
        second.doDirectRequest(&get, &reply); // no crash, no frame: the objects are gone
        QVERIFY(!reply.isValid());
        QCOMPARE(fake.liveObjects(), 0);
    }

    void unused_handler_destroyed_leaves_the_open_one_alone()
    {
        CANIxxatCommandHandler user;
        QVERIFY(user.openDevice(1000));
        delete new CANIxxatCommandHandler;
        Command get(1, 6, 0, 0, 0);
        Command reply;
        user.doDirectRequest(&get, &reply);
        QVERIFY(reply.isValid());
    }
};

QTEST_GUILESS_MAIN(IxxatHandlerTest)
#include "tst_ixxathandler.moc"
