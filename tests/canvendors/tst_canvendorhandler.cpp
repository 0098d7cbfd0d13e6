// One vendor's ZAPL handler through the real loader against that vendor's fake library, with
// ZAPL modules on the fake's bus. Built once per vendor (CH_VENDOR_*).
#include "canesdcommandhandler.h"
#include "canixxatcommandhandler.h"
#include "cankvasercommandhandler.h"
#include "canpeakcommandhandler.h"
#include "fakecontrol.h"

#include <QtTest>
#include <array>

struct Vendor
{
    const char *fake;
    quint8 spareByte; // data byte 7 of a request
};
#if defined(CH_VENDOR_KVASER)
using Handler = CANKvaserCommandHandler;
static const Vendor kV { "libcanlib.so.1", 3 };
#elif defined(CH_VENDOR_PEAK)
using Handler = CANPeakCommandHandler;
static const Vendor kV { "libpcanbasic.so", 0 };
#elif defined(CH_VENDOR_ESD)
using Handler = CANEsdCommandHandler;
static const Vendor kV { "libntcan.so.4", 3 };
#else
using Handler = CANIxxatCommandHandler;
static const Vendor kV { "libvciapi.so", 3 };
#endif

class TestCanVendorHandler : public QObject
{
    Q_OBJECT
    std::unique_ptr<FakeControl> fake;
    LogCapture log { false };

    // The code the library received for the last rate applied, in the column of this vendor.
    long long appliedRateCode()
    {
#if defined(CH_VENDOR_KVASER)
        return fake->lastArg("canSetBusParams", 1);
#elif defined(CH_VENDOR_PEAK)
        return fake->lastArg("CAN_Initialize", 1);
#elif defined(CH_VENDOR_ESD)
        return fake->lastArg("canSetBaudrate", 1);
#else
        return fake->lastArg("InitLine", 2) << 8 | fake->lastArg("InitLine", 3);
#endif
    }

private slots:
#if defined(CH_VENDOR_ESD)
    // Before any FakeControl holds it: the library stays loaded until the last handler is gone.
    void initTestCase()
    {
        QVERIFY(!FakeControl::isLoaded(kV.fake));
        auto *first = new Handler;
        auto *second = new Handler;
        QVERIFY(FakeControl::isLoaded(kV.fake));
        QVERIFY(first->openDevice(1000));
        delete first;
        QVERIFY(second->openDevice(1000));
        QVERIFY(second->closeDevice());
        QVERIFY(FakeControl::isLoaded(kV.fake));
        delete second;
        QVERIFY(!FakeControl::isLoaded(kV.fake));
    }
#endif

    void init()
    {
        fake = std::make_unique<FakeControl>(kV.fake);
        QVERIFY2(fake->isValid(), kV.fake);
        log.install();
    }
    void cleanup()
    {
        log.remove();
        fake.reset();
    }

    void request_round_trip_over_the_fake_bus()
    {
        Handler handler;
        BusSpy spy(fake->bus());
        handler.setReplyID(2);
        QVERIFY(handler.openDevice(1000));
        const Command reply = setAndGet(handler, 4, -1234);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.value(), -1234);
        QCOMPARE(spy.last.length, quint8(8));
        QCOMPARE(spy.last.data[7], kV.spareByte);
        QVERIFY(handler.closeDevice());
    }

    void bit_rate_table_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<long long>("code");
        // kbit/s, then the Kvaser, PEAK, esd and IXXAT (BTR0 << 8 | BTR1) codes; 42 is unlisted.
        for (const auto &row : { std::array<int, 5> { 1000, -1, 0x0014, 0, 0x0014 }, { 800, 0, 0x0016, 0, 0x0014 },
                 { 500, -2, 0x001C, 2, 0x001C }, { 250, -3, 0x011C, 4, 0x011C }, { 125, -4, 0x031C, 6, 0x031C },
                 { 100, -5, 0x432F, 7, 0x041C }, { 50, -7, 0x472F, 9, 0x091C }, { 20, 0, 0x532F, 11, 0x181C },
                 { 10, -9, 0x672F, 13, 0x311C }, { 42, 0, 0x0014, 0, 0x0014 } }) {
#if defined(CH_VENDOR_KVASER)
            const int code = row[1];
#elif defined(CH_VENDOR_PEAK)
            const int code = row[2];
#elif defined(CH_VENDOR_ESD)
            const int code = row[3];
#else
            const int code = row[4];
#endif
            QTest::addRow("%d", row[0]) << row[0] << (long long)code;
        }
    }
    void bit_rate_table()
    {
        QFETCH(int, rate);
        QFETCH(long long, code);
        Handler handler;
        QVERIFY(handler.openDevice(1000));
#if defined(CH_VENDOR_PEAK)
        QVERIFY(handler.closeDevice());
        QVERIFY(handler.setDataRate(rate)); // applied by the next open
        QCOMPARE(handler.dataRate(), rate);
        QVERIFY(handler.reopenDevice());
#else
        handler.setDataRate(rate);
        QCOMPARE(handler.dataRate(), rate);
#endif
        QCOMPARE(appliedRateCode(), code);
    }

    void failed_open_leaves_it_closed_and_the_next_open_works()
    {
        Handler handler;
        handler.setDebugEnabled(true);
#if defined(CH_VENDOR_IXXAT)
        fake->setNoDevice(true);
#else
        fake->failOpen(true);
#endif
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(!handler.isDeviceOpen());
        QVERIFY(!ask(handler, 1, 6).isValid());
#if defined(CH_VENDOR_KVASER)
        QVERIFY(log.contains(QStringLiteral("canOpenChannel -> failed! handle= -3")));
        QVERIFY(log.contains(QStringLiteral("Failed to open channel\nhandle: 0xFFFFFFFD")));
        QCOMPARE(fake->callCount("canOpenChannel"), 2); // both access modes were tried
        fake->failOpen(false);
#elif defined(CH_VENDOR_PEAK)
        QCOMPARE(fake->callCount("CAN_FilterMessages"), 0);
        fake->failOpen(false);
#elif defined(CH_VENDOR_ESD)
        QVERIFY(log.contains(QStringLiteral("CANEsdCommandHandler::openDevice() canOpen: 287")));
        QVERIFY(handler.closeDevice());
        QVERIFY(log.contains(QStringLiteral("CANEsdCommandHandler::closeDevice()  !this->open")));
        QCOMPARE(fake->callCount("canClose"), 0);
        fake->failOpen(false);
#else
        QVERIFY(log.contains(QStringLiteral("CANIxxatCommandHandler::openDevice() Failed to initialize Ixxat CAN")));
        QCOMPARE(fake->liveObjects(), 0);
        fake->setNoDevice(false);
#endif
        QVERIFY(handler.reopenDevice());
        QVERIFY(ask(handler, 1, 6).isValid());
    }

    void reopen_and_destruction_give_the_channel_back()
    {
        {
            Handler handler;
            QVERIFY(handler.openDevice(250));
            QVERIFY(handler.reopenDevice());
            QCOMPARE(handler.dataRate(), 250);
            QVERIFY(ask(handler, 1, 6).isValid());
        }
#if defined(CH_VENDOR_KVASER)
        QCOMPARE(fake->callCount("canClose"), 2);
#elif defined(CH_VENDOR_PEAK)
        QCOMPARE(fake->callCount("CAN_Uninitialize"), 2);
#elif defined(CH_VENDOR_ESD)
        QCOMPARE(fake->callCount("canClose"), 2);
#else
        QCOMPARE(fake->liveObjects(), 0);
#endif
    }

    void version_text_keeps_every_byte()
    {
        // A type-0 version reply is eight characters, a zero byte among them.
        Handler handler;
        QVERIFY(handler.openDevice(1000));
        handler.setMaxTimeoutMS(50);
        fake->refuseSend(true); // the request is lost; only the injected frame answers
        injectFrame(fake->bus(), 2, 8, QByteArray("12\0004V100", 8));
        const QString text = handler.getModuleAndFirmwareVersion(9);
        QCOMPARE(text.size(), 8);
        QCOMPARE(text, QString::fromLatin1("12\0004V100", 8));
    }

    void closing_one_handler_keeps_the_library_for_the_other()
    {
        Handler first;
        Handler second;
#if defined(CH_VENDOR_KVASER)
        QVERIFY(first.openDevice(QVariantList { 1000, 0 }));
        QVERIFY(second.openDevice(QVariantList { 1000, 1 }));
#elif defined(CH_VENDOR_PEAK)
        QVERIFY(first.openDevice(1000));
        second.setNetID(2);
        QVERIFY(second.openDevice(1000));
#else
        QVERIFY(first.openDevice(1000));
        QVERIFY(second.openDevice(1000));
#endif
        QVERIFY(first.closeDevice());
#if defined(CH_VENDOR_IXXAT)
        // One IXXAT connection per process: closing either releases it for both.
        second.setMaxTimeoutMS(20);
        QVERIFY(!ask(second, 1, 6).isValid());
        QCOMPARE(fake->liveObjects(), 0);
#else
        QVERIFY(ask(second, 1, 6).isValid());
#endif
    }

#if defined(CH_VENDOR_KVASER)
    void list_argument_opens_channel_and_reports_rate_read_back()
    {
        fake->setReportedBitrate(499000);
        Handler handler;
        QVERIFY(handler.openDevice(QVariantList { 500, 1 }));
        QCOMPARE(fake->lastArg("canOpenChannel", 0), 1LL);
        QCOMPARE(fake->lastArg("canSetBusParams", 1), -2LL);
        QCOMPARE(handler.dataRate(), 499);
        QVERIFY(log.contains(QStringLiteral("CANKvaserCommandHandler::openDevice() canBusOn -> ok")));
        QVERIFY(handler.reopenDevice());
        QCOMPARE(fake->lastArg("canOpenChannel", 0), 1LL);
    }

    void channel_open_falls_back_to_no_init_access()
    {
        fake->failCall("canOpenChannel", 1);
        Handler handler;
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(fake->callCount("canOpenChannel"), 2);
        QCOMPARE(fake->lastArg("canOpenChannel", 1), 0x100LL);
    }

    void failed_bus_on_closes_the_channel()
    {
        fake->failBusOn(true);
        Handler handler;
        QVERIFY(!handler.openDevice(1000));
        QVERIFY(log.contains(QStringLiteral("canBusOn -> failed! status= -1")));
        QCOMPARE(fake->callCount("canClose"), 1);
    }

    void length_code_above_eight_reads_eight_bytes()
    {
        Handler handler;
        QVERIFY(handler.openDevice(1000));
        handler.setMaxTimeoutMS(50);
        fake->failCall("canWrite", 1);
        injectFrame(fake->bus(), 2, 15, QByteArray("\x01\x64\x06\x00\x00\x03\xE8\x07", 8));
        const Command reply = ask(handler, 1, 6);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.value(), 1000);
        QCOMPARE(reply.checksum(), quint8(7));
    }
#elif defined(CH_VENDOR_PEAK)
    void net_id_selects_the_channel_and_net_three_keeps_it()
    {
        Handler handler;
        handler.setNetID(3);
        QVERIFY(!handler.openDevice(1000)); // no channel chosen yet
        QCOMPARE(fake->lastArg("CAN_Initialize", 0), 0xFFFFLL);
        handler.setNetID(2);
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(fake->lastArg("CAN_Initialize", 0), 0x52LL);
        QVERIFY(handler.closeDevice());
        handler.setNetID(3);
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(fake->lastArg("CAN_Initialize", 0), 0x52LL);
    }

    void caution_counts_as_success_and_the_read_back_rate_is_used()
    {
        fake->setCaution(true);
        fake->setReportedBitrate(250000);
        Handler handler;
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(handler.dataRate(), 250);
        QCOMPARE(fake->lastArg("CAN_FilterMessages", 2), 0x7FFLL);
        QCOMPARE(fake->lastArg("CAN_SetValue", 1), 7LL); // bus-off auto reset last
    }

    void closing_a_closed_handler_returns_false()
    {
        Handler handler;
        QVERIFY(!handler.closeDevice());
        QVERIFY(handler.openDevice(1000));
        QVERIFY(handler.closeDevice());
        QCOMPARE(fake->callCount("CAN_Uninitialize"), 1);
        QVERIFY(!handler.closeDevice());
    }

    void bus_warning_status_is_reset_before_writing_data()
    {
        QTest::addColumn<unsigned int>("status");
        QTest::addColumn<int>("resets");
        QTest::newRow("light") << 0x4u << 1;
        QTest::newRow("heavy") << 0x8u << 1;
        QTest::newRow("passive") << 0x10u << 0;
    }
    void bus_warning_status_is_reset_before_writing()
    {
        QFETCH(unsigned int, status);
        QFETCH(int, resets);
        Handler handler;
        QVERIFY(handler.openDevice(1000));
        fake->setBusStatus(status);
        Command get(1, 6, 0, 0, 0);
        handler.doDirectRequestWithoutAnswer(&get);
        QCOMPARE(fake->callCount("CAN_Reset"), resets);
        QCOMPARE(fake->callCount("CAN_Write"), 1);
    }

    void debug_lines_and_object_name_carry_fixed_texts()
    {
        Handler handler;
        handler.setDebugEnabled(true);
        QVERIFY(handler.openDevice(1000));
        QVERIFY(log.contains(QStringLiteral("CANPeakCommandHandler::openDevice() InitStatus: No error")));
        fake->refuseSend(true);
        Command get(1, 6, 0, 0, 0);
        handler.doDirectRequestWithoutAnswer(&get);
        QVERIFY(log.contains(QStringLiteral("Message send error: Fake status 0x80")));
        handler.setPortName(QStringLiteral("PCAN 1"));
        QCOMPARE(handler.objectName(), QStringLiteral("PCAN 1/CAN PEAK"));
        QCOMPARE(handler.deviceName(), QStringLiteral("PCAN 1/CAN PEAK"));
    }
#elif defined(CH_VENDOR_ESD)
    void registers_identifiers_one_to_2047_not_zero()
    {
        Handler handler;
        QVERIFY(handler.openDevice(1000));
        QCOMPARE(fake->callCount("canIdAdd"), 2047);
        QCOMPARE(fake->lastArg("canIdAdd", 1), 2047LL);
        handler.setMaxTimeoutMS(30);
        // No module sits at 9, so only injected frames answer; identifier 0 must not reach it.
        const QByteArray answer("\x01\x64\x06\x00\x00\x00\x05\x00", 8);
        injectFrame(fake->bus(), 0, 8, answer);
        QVERIFY(!ask(handler, 9, 6).isValid());
        handler.resetTimeOutedDevices();
        injectFrame(fake->bus(), 2047, 8, answer);
        QCOMPARE(ask(handler, 9, 6).value(), 5);
    }

    void refused_rate_is_still_reported_as_taken()
    {
        Handler handler;
        QVERIFY(handler.openDevice(1000));
        fake->failBusOn(true); // the library refuses the rate
        QVERIFY(handler.setDataRate(250));
        QCOMPARE(fake->lastArg("canSetBaudrate", 1), 4LL);
    }

    void entry_points_the_library_lacks_are_named_only_when_called()
    {
        // Like the current library, the fake has no canIdRangeAdd or canIdRangeDelete.
        Handler handler;
        QVERIFY(handler.openDevice(1000));
        QVERIFY(!log.contains(QStringLiteral("lacks")));
    }
#else
    void opening_creates_one_channel_with_the_specified_settings()
    {
        Handler handler;
        QVERIFY(handler.openDevice(125));
        QVERIFY(log.contains(QStringLiteral("CANIxxatCommandHandler::openDevice() Initialized Ixxat CAN")));
        QCOMPARE(fake->lastArg("InitLine", 0), 1LL); // standard frames
        QCOMPARE(fake->lastArg("OpenSocket", 0), 1LL); // the first CAN socket, not socket 0
        QCOMPARE(fake->lastArg("Initialize", 0), 32LL);
        QCOMPARE(fake->lastArg("CreateChannel", 0), 0LL); // not exclusive
        QCOMPARE(fake->liveObjects(), 4); // channel, control, reader, writer
        QVERIFY(handler.closeDevice());
        QCOMPARE(fake->callCount("ResetLine"), 1);
        QCOMPARE(fake->liveObjects(), 0);
    }

    void bit_rate_failure_still_opens()
    {
        fake->failBusOn(true); // StartLine fails
        Handler handler;
        handler.setDebugEnabled(true);
        QVERIFY(handler.openDevice(500));
        QVERIFY(handler.isDeviceOpen());
        QVERIFY(log.contains(QStringLiteral("CANIxxatCommandHandler::setDataRate() Failed to set bitrate")));
        QVERIFY(!handler.setDataRate(500));
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
        fake->failCall(step.constData(), 1);
        Handler handler;
        QVERIFY(!handler.openDevice(1000));
        QCOMPARE(fake->liveObjects(), 0);
        QVERIFY(handler.openDevice(1000));
    }

    void unused_handler_destroyed_leaves_the_open_one_alone()
    {
        Handler user;
        QVERIFY(user.openDevice(1000));
        delete new Handler;
        QVERIFY(ask(user, 1, 6).isValid());
    }
#endif
};

QTEST_GUILESS_MAIN(TestCanVendorHandler)
#include "tst_canvendorhandler.moc"
