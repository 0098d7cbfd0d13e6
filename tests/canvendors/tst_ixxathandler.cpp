#include "canixxatcommandhandler.h"
#include "fakecontrol.h"

#include <QtTest>
#include <array>

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
            QCOMPARE(setAndGet(handler, 1, 4242).value(), 4242);
            QCOMPARE(spy.last.data[7], quint8(3));
            QVERIFY(handler.closeDevice());
            QCOMPARE(fake.callCount("ResetLine"), 1);
        }
        QCOMPARE(fake.liveObjects(), 0);
    }

    void bit_timing_table_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<long long>("btr0");
        QTest::addColumn<long long>("btr1");
        for (auto row : { std::array<int, 3> { 1000, 0x00, 0x14 }, { 800, 0x00, 0x14 }, { 500, 0x00, 0x1C },
                 { 250, 0x01, 0x1C }, { 100, 0x04, 0x1C }, { 50, 0x09, 0x1C }, { 20, 0x18, 0x1C }, { 10, 0x31, 0x1C } })
            QTest::addRow("%d", row[0]) << row[0] << (long long)row[1] << (long long)row[2];
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
        second.setMaxTimeoutMS(20);
        QVERIFY(!ask(second, 1, 6).isValid()); // no crash, no frame: the objects are gone
        QCOMPARE(fake.liveObjects(), 0);
    }

    void unused_handler_destroyed_leaves_the_open_one_alone()
    {
        CANIxxatCommandHandler user;
        QVERIFY(user.openDevice(1000));
        delete new CANIxxatCommandHandler;
        QVERIFY(ask(user, 1, 6).isValid());
    }
};

QTEST_GUILESS_MAIN(IxxatHandlerTest)
#include "tst_ixxathandler.moc"
