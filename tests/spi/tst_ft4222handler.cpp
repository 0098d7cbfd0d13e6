#include "fakebridge.h"
#include "ft4222hcommandhandler.h"
#include "global.h"
#include "zaplcommand.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <memory>

class TestFt4222Handler : public QObject
{
    Q_OBJECT
private:
    FakeBridge fake;
    std::unique_ptr<FT4222HCommandHandler> handler;

    void openHandler()
    {
        handler.reset(new FT4222HCommandHandler);
        QVERIFY(handler->openDevice(QVariant()));
    }
    Command request(quint8 command, quint16 type, quint8 motor, qint32 value)
    {
        return Command(1, command, type, motor, value);
    }
    static bool readerRegistered() { return Global::instance()->threads().values().contains(QStringLiteral("FT422H")); }

private slots:
    void initTestCase()
    {
        if (!fake.isLoaded())
            QSKIP("libft4222.so fake not on LD_LIBRARY_PATH (run through ctest)");
        LogCapture::install();
    }
    void init()
    {
        fake.reset();
        LogCapture::clear();
    }
    void cleanup() { handler.reset(); }

    void deviceFlagToString_data()
    {
        QTest::addColumn<ulong>("flags");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0ul << "CLOSED, Full-speed";
        QTest::newRow("open") << 1ul << "OPEN, Full-speed";
        QTest::newRow("high speed") << 2ul << "CLOSED, High-speed";
        QTest::newRow("both") << 3ul << "OPEN, High-speed";
        QTest::newRow("other bits ignored") << 0xFCul << "CLOSED, Full-speed";
    }
    void deviceFlagToString()
    {
        QFETCH(ulong, flags);
        QFETCH(QString, text);
        QCOMPARE(FT4222HCommandHandler::deviceFlagToString(flags), text);
    }

    void open_sets_up_bridge_and_close_releases_it()
    {
        openHandler();
        QVERIFY(handler->isDeviceOpen());
        QCOMPARE(LogCapture::count("Initialize Bridge --> OK"), 1);
        QCOMPARE(LogCapture::count("opened handlePortA: FT4222 A"), 1);
        QCOMPARE(LogCapture::count("opened handlePortB: FT4222 B"), 1);
        QCOMPARE(LogCapture::count("LibFT4222: chipVersion: 0x42220400 dllVersion: 0x1040444"), 1);
        QCOMPARE(fake.openHandles(), 2);
        // After a round trip the reader has registered (asking while it registers would race
        // on the registry's implicitly shared copy).
        Command read = request(148, 1, 0, 0), reply;
        handler->doDirectRequest(&read, &reply);
        QVERIFY(reply.isValid());
        QVERIFY(readerRegistered());
        QVERIFY(handler->closeDevice());
        QCOMPARE(LogCapture::count("handlePortA closed."), 1);
        QCOMPARE(LogCapture::count("handlePortB closed."), 1);
        QCOMPARE(fake.openHandles(), 0);
        QVERIFY(!readerRegistered());
    }

    void reopen_after_close_restarts_reader()
    {
        openHandler();
        QVERIFY(handler->closeDevice());
        QVERIFY(handler->openDevice(QVariant()));
        Command req = request(148, 3, 0, 0), reply;
        fake.setRegister(0, 3, 77);
        handler->doDirectRequest(&req, &reply);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.value(), 77);
    }

    void open_without_devices_fails_in_gpio_init()
    {
        fake.setDevices({});
        handler.reset(new FT4222HCommandHandler);
        QVERIFY(!handler->openDevice(QVariant()));
        QVERIFY(LogCapture::count(QStringList { " Devices: ", " 0" }) >= 1);
        QCOMPARE(LogCapture::count("GPIO Init --> FAILED"), 1);
        QCOMPARE(LogCapture::count("Initialize Bridge --> FAILED"), 1);
        QVERIFY(!handler->isDeviceOpen());
    }

    void bridge_with_other_descriptions_is_not_opened()
    {
        fake.setDevices({ "FT4222", "USB Serial Converter B" });
        handler.reset(new FT4222HCommandHandler);
        QVERIFY(!handler->openDevice(QVariant()));
        QCOMPARE(fake.openHandles(), 0);
        QCOMPARE(LogCapture::count("Initialize Bridge --> FAILED"), 1);
    }

    void failed_open_of_port_a_is_reported()
    {
        fake.failNextOpen();
        handler.reset(new FT4222HCommandHandler);
        QVERIFY(!handler->openDevice(QVariant()));
        QCOMPARE(LogCapture::count("Open FT4222_A device failed!"), 1);
        QCOMPARE(LogCapture::count("GPIO Init"), 0);
    }

    void close_of_never_opened_handler_logs_no_port()
    {
        handler.reset(new FT4222HCommandHandler);
        QVERIFY(handler->closeDevice());
        QCOMPARE(LogCapture::count("handlePort"), 0);
        QVERIFY(handler->setDataRate(12345));
        QVERIFY(!handler->reopenDevice());
    }

    void register_write_then_read_round_trip()
    {
        openHandler();
        Command write = request(146, 5, 0, -1234), reply;
        handler->doDirectRequest(&write, &reply);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.status(), quint8(100));
        QCOMPARE(fake.registerValue(0, 5), -1234);

        Command read = request(148, 5, 0, 0);
        Command readReply;
        handler->doDirectRequest(&read, &readReply);
        QVERIFY(readReply.isValid());
        QCOMPARE(readReply.type(), quint16(5));
        QCOMPARE(readReply.value(), -1234);
        QCOMPARE(readReply.status(), quint8(100));
    }

    void motor_number_selects_register_bank()
    {
        fake.setRegister(2, 7, 0x7FFFFFFF);
        fake.setRegister(0, 7, 1);
        openHandler();
        Command read = request(149, 7, 2, 0), reply;
        handler->doDirectRequest(&read, &reply);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.value(), 0x7FFFFFFF);
        QCOMPARE(reply.motorBank(), quint8(2));
        QCOMPARE(quint8(fake.lastWrite().at(1)), quint8(0x42));
    }

    void acknowledge_after_third_write_logs_two_retries()
    {
        openHandler();
        fake.setAcknowledgeOnWrite(3);
        QVERIFY(handler->sendRegisterRWFrame(0x50, 0, 1, 9));
        QCOMPARE(LogCapture::count("retry: 2"), 1);
        QCOMPARE(LogCapture::count("retry: 3"), 1);
        QCOMPARE(LogCapture::count("retry: 4"), 0);
        QCOMPARE(fake.framesTaken(), 3);
        QCOMPARE(fake.registerValue(0, 1), 9);
    }

    void no_acknowledge_gives_up_after_five_writes_data()
    {
        QTest::addColumn<bool>("config");
        QTest::addColumn<QString>("failure");
        QTest::newRow("config frame") << true << "configuration --> failed!";
        QTest::newRow("register frame") << false << "communication --> failed!";
    }
    void no_acknowledge_gives_up_after_five_writes()
    {
        QFETCH(bool, config);
        QFETCH(QString, failure);
        openHandler();
        fake.setAcknowledgeOnWrite(0);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(config ? !handler->sendConfigFrame(0x30, 1, 2) : !handler->sendRegisterRWFrame(0x50, 0, 1, 2));
        QCOMPARE(fake.framesTaken(), 5);
        for (int n = 2; n <= 5; ++n)
            QCOMPARE(LogCapture::count(QStringLiteral("retry: %1").arg(n)), 1);
        QCOMPARE(LogCapture::count("communication timeouted!"), 4); // the fifth write is not waited for
        QCOMPARE(LogCapture::count(failure), 1);
        QVERIFY(timer.elapsed() >= 4 * 100);
    }

    void wrong_command_blocks_address_for_3000_ms()
    {
        openHandler();
        QElapsedTimer timer;
        timer.start();
        Command wrong = request(6, 1, 0, 0), reply;
        reply.setValid(true);
        handler->doDirectRequest(&wrong, &reply);
        QVERIFY(!reply.isValid());
        QCOMPARE(LogCapture::count(QStringList { "Wrong command:", "6", "!" }), 1);
        QCOMPARE(fake.framesTaken(), 0);
        QCOMPARE(handler->timeoutedAddressList(), QList<uchar> { 1 });

        Command read = request(148, 1, 0, 0), readReply;
        handler->doDirectRequest(&read, &readReply);
        QVERIFY(!readReply.isValid());
        QCOMPARE(fake.framesTaken(), 0); // blocked, nothing sent

        QTRY_VERIFY_WITH_TIMEOUT(handler->timeoutedAddressList().isEmpty(), 5000);
        QVERIFY2(timer.elapsed() >= 3000, qPrintable(QString::number(timer.elapsed()))); // precise, not coarse
        handler->doDirectRequest(&read, &readReply);
        QVERIFY(readReply.isValid());
    }

    void missing_register_reply_times_out_and_blocks_address()
    {
        openHandler();
        fake.setRegisterReplies(false);
        Command read = request(148, 1, 0, 0), reply;
        handler->doDirectRequest(&read, &reply);
        QVERIFY(!reply.isValid());
        QCOMPARE(LogCapture::count("communicationTimeouted!"), 1);
        QVERIFY(handler->isAddressTimeouted(1));
    }

    void late_reply_does_not_answer_next_request()
    {
        openHandler();
        // A reply for register 9 that nobody asked for is waiting when register 4 is read.
        fake.inject(QByteArray::fromHex("50400900000063"));
        QTest::qWait(50); // the reader takes it well within this
        fake.setRegister(0, 4, 44);
        Command read = request(148, 4, 0, 0), reply;
        handler->doDirectRequest(&read, &reply);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.type(), quint16(4));
        QCOMPARE(reply.value(), 44);
    }

    void noise_before_packet_is_skipped_byte_by_byte()
    {
        openHandler();
        fake.inject(QByteArray::fromHex("0050410500000102"));
        // The reader takes at most 7 bytes per read: the 0x00 goes with 7 bytes buffered.
        QTRY_COMPARE(LogCapture::count(QStringList { "Missing sync word! ", "SyncWord:  0", "BufferLen: 7" }), 1);
        ZAPLReplyCommand reply;
        handler->readNextZAPLCommand(&reply, 148, 1);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.type(), uchar(5));
        QCOMPARE(reply.value(), 258);
    }

    void unknown_packet_type_is_logged()
    {
        openHandler();
        fake.inject(QByteArray::fromHex("50950000000000"));
        QTRY_COMPARE(LogCapture::count("Unknow paket ID: 144"), 1);
    }

    void request_without_answer_sends_nothing()
    {
        openHandler();
        Command write = request(146, 1, 0, 1);
        handler->doDirectRequestWithoutAnswer(&write);
        QCOMPARE(LogCapture::count("not implemented!"), 1);
        QCOMPARE(fake.framesTaken(), 0);
    }

    void history_reports_request_and_reply()
    {
        openHandler();
        handler->setHistoryEnabled(true);
        QSignalSpy spy(handler.get(), &CommandHandlerInterface::variantMessageOutput);
        Command read = request(148, 2, 0, 0), reply;
        handler->doDirectRequest(&read, &reply);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).value<CommandHandlerInterface::MessageFlags>(),
            CommandHandlerInterface::MessageFlags(CommandHandlerInterface::Serial_ZAPL_Request));
        QCOMPARE(spy.at(1).at(0).value<CommandHandlerInterface::MessageFlags>(),
            CommandHandlerInterface::MessageFlags(CommandHandlerInterface::Serial_ZAPL_Reply));
    }

    void destruction_while_streaming_joins_reader()
    {
        openHandler();
        fake.setLiveRate(0); // as fast as the reader takes them
        std::atomic<int> packets { 0 };
        connect(
            handler.get(), &FT4222HCommandHandler::liveDataAvailable, this, [&packets] { ++packets; },
            Qt::DirectConnection);
        QVERIFY(handler->startDebugger());
        QTRY_VERIFY(packets > 100);
        handler.reset(); // no close: the destructor stops the reader before the lock goes
        QVERIFY(!readerRegistered());
        QCOMPARE(fake.openHandles(), 0);
        QCOMPARE(LogCapture::count("dataThread finished."), 1);
    }
};

QTEST_MAIN(TestFt4222Handler)
#include "tst_ft4222handler.moc"
