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
    Command ask(quint8 command, quint16 type, quint8 motor = 0, qint32 value = 0)
    {
        Command request(1, command, type, motor, value), reply;
        reply.setValid(true);
        handler->doDirectRequest(&request, &reply);
        return reply;
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
        QTest::newRow("other bits ignored") << 0xFFul << "OPEN, High-speed";
    }
    void deviceFlagToString()
    {
        QFETCH(ulong, flags);
        QFETCH(QString, text);
        QCOMPARE(FT4222HCommandHandler::deviceFlagToString(flags), text);
    }

    void open_close_and_reopen_manage_bridge_and_reader()
    {
        openHandler();
        for (const char *line : { "Initialize Bridge --> OK", "opened handlePortA: FT4222 A",
                 "opened handlePortB: FT4222 B", "LibFT4222: chipVersion: 0x42220400 dllVersion: 0x1040444" })
            QCOMPARE(LogCapture::count(line), 1);
        QCOMPARE(fake.openHandles(), 2);
        // After a round trip the reader has registered (asking earlier would race its registration).
        QVERIFY(ask(148, 1).isValid());
        QVERIFY(readerRegistered());
        QVERIFY(handler->closeDevice());
        QCOMPARE(LogCapture::count("handlePortA closed."), 1);
        QCOMPARE(LogCapture::count("handlePortB closed."), 1);
        QCOMPARE(fake.openHandles(), 0);
        QVERIFY(!readerRegistered());

        QVERIFY(handler->openDevice(QVariant()));
        fake.setRegister(0, 3, 77);
        QCOMPARE(ask(148, 3).value(), 77);
    }

    void failed_open_is_reported_data()
    {
        QTest::addColumn<QByteArrayList>("devices");
        QTest::addColumn<bool>("failOpen");
        QTest::addColumn<QString>("logged");
        QTest::newRow("no devices") << QByteArrayList() << false << "GPIO Init --> FAILED";
        QTest::newRow("other descriptions")
            << QByteArrayList { "FT4222", "USB Serial Converter B" } << false << "Initialize Bridge --> FAILED";
        QTest::newRow("port A fails") << QByteArrayList { "FT4222 A", "FT4222 B" } << true
                                      << "Open FT4222_A device failed!";
    }
    void failed_open_is_reported()
    {
        QFETCH(QByteArrayList, devices);
        QFETCH(bool, failOpen);
        QFETCH(QString, logged);
        fake.setDevices(devices);
        if (failOpen)
            fake.failNextOpen();
        handler.reset(new FT4222HCommandHandler);
        QVERIFY(!handler->openDevice(QVariant()));
        QCOMPARE(fake.openHandles(), 0);
        QCOMPARE(LogCapture::count(logged), 1);
        if (devices.isEmpty())
            QVERIFY(LogCapture::count(QStringList { " Devices: ", " 0" }) >= 1);
        if (failOpen)
            QCOMPARE(LogCapture::count("GPIO Init"), 0); // stops at the first failure
        else
            QCOMPARE(LogCapture::count("Initialize Bridge --> FAILED"), 1);
        QVERIFY(handler->closeDevice()); // nothing open, nothing to close
        QCOMPARE(LogCapture::count("handlePort"), 0);
    }

    void register_write_read_and_motor_bank_round_trip()
    {
        fake.setRegister(2, 7, 0x7FFFFFFF);
        openHandler();
        const Command written = ask(146, 5, 0, -1234);
        QVERIFY(written.isValid());
        QCOMPARE(written.status(), quint8(100));
        QCOMPARE(fake.registerValue(0, 5), -1234);
        const Command read = ask(148, 5);
        QVERIFY(read.isValid());
        QCOMPARE(read.type(), quint16(5));
        QCOMPARE(read.value(), -1234);
        QCOMPARE(read.status(), quint8(100));
        const Command banked = ask(149, 7, 2);
        QCOMPARE(banked.value(), 0x7FFFFFFF);
        QCOMPARE(banked.motorBank(), quint8(2));
        QCOMPARE(quint8(fake.lastWrite().at(1)), quint8(0x42));
    }

    void unacknowledged_writes_are_retried_up_to_five_times_data()
    {
        QTest::addColumn<bool>("config");
        QTest::addColumn<int>("acknowledgeOn");
        QTest::addColumn<QString>("failure");
        QTest::newRow("register acknowledged third") << false << 3 << QString();
        QTest::newRow("config frame never") << true << 0 << "configuration --> failed!";
        QTest::newRow("register frame never") << false << 0 << "communication --> failed!";
    }
    void unacknowledged_writes_are_retried_up_to_five_times()
    {
        QFETCH(bool, config);
        QFETCH(int, acknowledgeOn);
        QFETCH(QString, failure);
        openHandler();
        fake.setAcknowledgeOnWrite(acknowledgeOn);
        const int frames = acknowledgeOn ? acknowledgeOn : 5;
        QElapsedTimer timer;
        timer.start();
        const bool ok = config ? handler->sendConfigFrame(0x30, 1, 2) : handler->sendRegisterRWFrame(0x50, 0, 1, 9);
        QCOMPARE(ok, failure.isEmpty());
        QCOMPARE(fake.framesTaken(), frames);
        for (int n = 2; n <= 6; ++n)
            QCOMPARE(LogCapture::count(QStringLiteral("retry: %1").arg(n)), n <= frames ? 1 : 0);
        if (ok) {
            QCOMPARE(fake.registerValue(0, 1), 9);
        } else {
            QCOMPARE(LogCapture::count("communication timeouted!"), 4); // the fifth write is not waited for
            QCOMPARE(LogCapture::count(failure), 1);
            QVERIFY(timer.elapsed() >= 4 * 100);
        }
    }

    void acknowledge_counts_only_for_the_frame_just_written_data()
    {
        QTest::addColumn<bool>("late");
        QTest::newRow("unasked") << false;
        QTest::newRow("late, after its frame gave up") << true;
    }
    void acknowledge_counts_only_for_the_frame_just_written()
    {
        QFETCH(bool, late);
        openHandler();
        if (late) {
            fake.holdAnswers(FakeBridge::Acknowledges);
            QVERIFY(!handler->sendRegisterRWFrame(0x50, 0, 1, 9));
        } else {
            fake.inject(QByteArray::fromHex("50f00000000000"));
        }
        fake.setAcknowledgeOnWrite(0);
        fake.holdAnswers(0);
        fake.settle();
        const Command reply = ask(146, 2, 0, 5);
        QVERIFY(!reply.isValid());
        QCOMPARE(LogCapture::count("communication --> failed!"), late ? 2 : 1);
    }

    void register_frames_refuse_a_bank_beyond_the_identifier_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("bank");
        QTest::addColumn<bool>("extended");
        QTest::addColumn<int>("motorByte");
        // Each would go out as another frame: 0x50 (a write), or 0x70 (start of live data).
        QTest::newRow("read bank 16") << 148 << 5 << 16 << false << 16;
        QTest::newRow("DRV read with extended type") << 149 << 0x105 << 0 << true << 16;
        QTest::newRow("write bank 32") << 146 << 5 << 32 << false << 32;
    }
    void register_frames_refuse_a_bank_beyond_the_identifier()
    {
        QFETCH(int, command);
        QFETCH(int, type);
        QFETCH(int, bank);
        QFETCH(bool, extended);
        QFETCH(int, motorByte);
        fake.setRegister(0, 5, 55);
        openHandler();
        Command request(1, quint8(command), quint16(type), quint8(bank), 77), reply;
        request.setExtendedType(extended);
        reply.setValid(true);
        handler->doDirectRequest(&request, &reply);
        QVERIFY(!reply.isValid());
        QCOMPARE(fake.framesTaken(), 0);
        QCOMPARE(fake.registerValue(0, 5), 55);
        QCOMPARE(LogCapture::count(QStringList { "refused", QString::number(motorByte) }), 1);
    }

    void reader_stuck_in_a_read_is_left_behind_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("close") << true;
        QTest::newRow("destruction") << false;
    }
    void reader_stuck_in_a_read_is_left_behind()
    {
        QFETCH(bool, close);
        openHandler();
        fake.stallReads(true);
        QTRY_COMPARE(fake.stalledReads(), 1);
        if (close)
            QVERIFY(!handler->closeDevice());
        else
            handler.reset();
        QCOMPARE(fake.stalledReads(), 1); // returned while the read still hangs
        QCOMPARE(LogCapture::count("reader thread did not stop within 1000 ms"), 1);
        QCOMPARE(fake.openHandles(), 1); // port B closed; port A waits for its reader
        fake.stallReads(false);
        QTRY_COMPARE(fake.openHandles(), 0);
        QTRY_VERIFY(!readerRegistered());
        if (!close)
            return;
        QVERIFY(handler->openDevice(QVariant()));
        QVERIFY(ask(148, 1).isValid());
    }

    void wrong_command_blocks_address_for_3000_ms()
    {
        openHandler();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!ask(6, 1).isValid());
        QCOMPARE(LogCapture::count(QStringList { "Wrong command:", "6", "!" }), 1);
        QCOMPARE(handler->timeoutedAddressList(), QList<uchar> { 1 });
        QVERIFY(!ask(148, 1).isValid());
        QCOMPARE(fake.framesTaken(), 0); // blocked, nothing sent
        QTRY_VERIFY_WITH_TIMEOUT(handler->timeoutedAddressList().isEmpty(), 5000);
        QVERIFY2(timer.elapsed() >= 3000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(ask(148, 1).isValid());
    }

    void missing_register_reply_times_out_and_blocks_address()
    {
        openHandler();
        fake.setRegisterReplies(false);
        QVERIFY(!ask(148, 1).isValid());
        QCOMPARE(LogCapture::count("communicationTimeouted!"), 1);
        QVERIFY(handler->isAddressTimeouted(1));
    }

    void only_the_reply_to_the_register_asked_is_taken_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("unasked reply first") << "unasked" << true << 44;
        QTest::newRow("late reply of an earlier read") << "late" << true << 45;
        QTest::newRow("reply for another register first") << "stray" << true << 44;
        QTest::newRow("reply for another register only") << "stray only" << false << 0;
        // Its reply carries the type's low byte only, which once flushed the reader's buffer.
        QTest::newRow("extended-type write first") << "extended write" << true << 44;
    }
    void only_the_reply_to_the_register_asked_is_taken()
    {
        QFETCH(QString, script);
        QFETCH(bool, valid);
        QFETCH(int, value);
        fake.setRegister(0, 4, 44);
        fake.setRegister(0, 5, 55);
        openHandler();
        if (script == "unasked") {
            fake.inject(QByteArray::fromHex("50400500000037"));
        } else if (script == "late") {
            fake.holdAnswers(FakeBridge::Replies);
            QVERIFY(!ask(148, 4).isValid());
            fake.setRegister(0, 4, 45);
            fake.holdAnswers(0);
            QVERIFY(QMetaObject::invokeMethod(handler.get(), "resetTimeOutedDevices"));
        } else if (script == "extended write") {
            Command write(1, 146, 0x105, 0, 3), reply;
            write.setExtendedType(true);
            handler->doDirectRequest(&write, &reply);
            QVERIFY(reply.isValid());
        } else {
            fake.setStrayReplies(1);
            fake.setRegisterReplies(script == "stray");
        }
        fake.settle();
        const Command reply = ask(148, 4);
        QCOMPARE(reply.isValid(), valid);
        if (valid) {
            QCOMPARE(reply.type(), quint16(4));
            QCOMPARE(reply.value(), value);
        }
        // Nothing dropped the next acknowledge: the following write goes through at once.
        QVERIFY(handler->sendRegisterRWFrame(0x50, 0, 6, 66));
        QCOMPARE(LogCapture::count("retry:"), 0);
    }

    void noise_before_packet_is_skipped_byte_by_byte()
    {
        openHandler();
        fake.setRegisterReplies(false);
        ZAPLRequestCommand request(1, 148, 5, 1, 0);
        QVERIFY(handler->writeZAPLCommand(&request));
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
        Command write(1, 146, 1, 0, 1);
        handler->doDirectRequestWithoutAnswer(&write);
        QCOMPARE(LogCapture::count("not implemented!"), 1);
        QCOMPARE(fake.framesTaken(), 0);
    }

    void history_reports_request_and_reply()
    {
        openHandler();
        handler->setHistoryEnabled(true);
        QSignalSpy spy(handler.get(), &CommandHandlerInterface::variantMessageOutput);
        ask(148, 2);
        QCOMPARE(spy.count(), 2);
        using CHI = CommandHandlerInterface;
        QCOMPARE(spy.at(0).at(0).value<CHI::MessageFlags>(), CHI::MessageFlags(CHI::Serial_ZAPL_Request));
        QCOMPARE(spy.at(1).at(0).value<CHI::MessageFlags>(), CHI::MessageFlags(CHI::Serial_ZAPL_Reply));
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
