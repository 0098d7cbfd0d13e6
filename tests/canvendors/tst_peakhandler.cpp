#include "canpeakcommandhandler.h"
#include "fakecontrol.h"

#include <QtTest>

class PeakHandlerTest : public QObject
{
    Q_OBJECT
    FakeControl fake { "libpcanbasic.so" };
    LogCapture log { false };

private slots:
    void cleanup() { log.remove(); }

    void init()
    {
        QVERIFY(fake.isValid());
        fake.reset();
        log.install();
    }

    void request_round_trip_sends_zero_spare_byte()
    {
        CANPeakCommandHandler handler;
        BusSpy spy(fake.bus());
        QVERIFY(handler.openDevice(500));
        QCOMPARE(fake.lastArg("CAN_Initialize", 0), 0x51LL);
        QCOMPARE(fake.lastArg("CAN_Initialize", 1), 0x001CLL);
        QCOMPARE(fake.lastArg("CAN_FilterMessages", 2), 0x7FFLL);
        const Command reply = setAndGet(handler, 4, -7);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.value(), -7);
        QCOMPARE(spy.last.data[7], quint8(0));
        QCOMPARE(fake.lastArg("CAN_Write", 3), 8LL);
    }

    void bit_rate_table_codes_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("code");
        for (auto row : { std::pair<int, int> { 1000, 0x0014 }, { 800, 0x0016 }, { 500, 0x001C }, { 250, 0x011C },
                 { 125, 0x031C }, { 100, 0x432F }, { 50, 0x472F }, { 20, 0x532F }, { 10, 0x672F }, { 42, 0x0014 } })
            QTest::addRow("%d", row.first) << row.first << row.second;
    }
    void bit_rate_table_codes()
    {
        QFETCH(int, rate);
        QFETCH(int, code);
        CANPeakCommandHandler handler;
        QVERIFY(handler.setDataRate(rate));
        QCOMPARE(fake.callCount("CAN_Initialize"), 0); // applied by the next open
        QVERIFY(handler.openDevice(rate));
        QCOMPARE(fake.lastArg("CAN_Initialize", 1), (long long)code);
    }

    void net_id_selects_the_channel_and_net_three_keeps_it()
    {
        CANPeakCommandHandler handler;
        handler.setNetID(3);
        QVERIFY(!handler.openDevice(1000)); // no channel chosen yet
        QCOMPARE(fake.lastArg("CAN_Initialize", 0), 0xFFFFLL);
        handler.setNetID(2);
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(fake.lastArg("CAN_Initialize", 0), 0x52LL);
        QVERIFY(handler.closeDevice());
        handler.setNetID(3);
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(fake.lastArg("CAN_Initialize", 0), 0x52LL);
    }

    void caution_counts_as_success()
    {
        fake.setCaution(true);
        CANPeakCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        QVERIFY(handler.isDeviceOpen());
    }

    void initialise_failure_leaves_device_closed()
    {
        fake.failOpen(true);
        CANPeakCommandHandler handler;
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(!handler.isDeviceOpen());
        QCOMPARE(fake.callCount("CAN_FilterMessages"), 0);
    }

    void open_reads_back_nominal_bus_speed()
    {
        fake.setReportedBitrate(250000);
        CANPeakCommandHandler handler;
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(handler.dataRate(), 250);
        QCOMPARE(fake.lastArg("CAN_SetValue", 1), 7LL); // bus-off auto reset last
        QCOMPARE(fake.lastArg("CAN_SetValue", 2), 1LL);
    }

    void closing_a_closed_handler_returns_false()
    {
        CANPeakCommandHandler handler;
        QVERIFY(!handler.closeDevice());
        QVERIFY(handler.openDevice(1000));
        QVERIFY(handler.closeDevice());
        QCOMPARE(fake.callCount("CAN_Uninitialize"), 1);
        QVERIFY(!handler.closeDevice());
    }

    void bus_warning_status_is_reset_before_writing()
    {
        for (unsigned int status : { 0x4u, 0x8u, 0x10u }) {
            fake.reset();
            CANPeakCommandHandler handler;
            QVERIFY(handler.openDevice(1000));
            fake.setBusStatus(status);
            Command get(1, 6, 0, 0, 0);
            handler.doDirectRequestWithoutAnswer(&get);
            QCOMPARE(fake.callCount("CAN_Reset"), status == 0x10u ? 0 : 1);
            QCOMPARE(fake.callCount("CAN_Write"), 1);
        }
    }

    void debug_lines_and_object_name_carry_fixed_texts()
    {
        CANPeakCommandHandler handler;
        handler.setDebugEnabled(true);
        QVERIFY(handler.openDevice(1000));
        QVERIFY(log.contains(QStringLiteral("CANPeakCommandHandler::openDevice() InitStatus: No error")));
        fake.refuseSend(true);
        Command get(1, 6, 0, 0, 0);
        handler.doDirectRequestWithoutAnswer(&get);
        QVERIFY(log.contains(QStringLiteral("Message send error: Fake status 0x80")));
        handler.setPortName(QStringLiteral("PCAN 1"));
        QCOMPARE(handler.objectName(), QStringLiteral("PCAN 1/CAN PEAK"));
        QCOMPARE(handler.deviceName(), QStringLiteral("PCAN 1/CAN PEAK"));
    }
};

QTEST_GUILESS_MAIN(PeakHandlerTest)
#include "tst_peakhandler.moc"
