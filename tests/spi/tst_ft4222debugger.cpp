#include "fakebridge.h"
#include "ft4222hcommandhandler.h"
#include "vexadebuggerdataset.h"

#include <QtTest>
#include <memory>

class TestFt4222Debugger : public QObject
{
    Q_OBJECT
private:
    FakeBridge fake;
    std::unique_ptr<FT4222HCommandHandler> handler;

    // Live signals come from the reader thread; they are recorded in this thread (queued),
    // which QSignalSpy would not do.
    QList<bool> changed;
    QList<QVector<int>> data;

    void openHandler()
    {
        handler.reset(new FT4222HCommandHandler);
        connect(
            handler.get(), &FT4222HCommandHandler::liveModeChanged, this, [this](bool enabled) { changed << enabled; },
            Qt::QueuedConnection);
        connect(
            handler.get(), &FT4222HCommandHandler::liveDataAvailable, this,
            [this](uchar channel, uchar timestamp, int value) {
                data << QVector<int> { channel, timestamp, value };
            },
            Qt::QueuedConnection);
        QVERIFY(handler->openDevice(QVariant()));
    }

private slots:
    void initTestCase()
    {
        if (!fake.isLoaded())
            QSKIP("libft4222.so fake not on LD_LIBRARY_PATH (run through ctest)");
        qRegisterMetaType<uchar>("uchar");
        LogCapture::install();
    }
    void init()
    {
        fake.reset();
        LogCapture::clear();
        changed.clear();
        data.clear();
    }
    void cleanup() { handler.reset(); }

    void channel_register_is_assembled_from_its_members_data()
    {
        QTest::addColumn<int>("channel");
        for (int n = 0; n < 4; ++n)
            QTest::addRow("channel %d", n) << n;
    }
    void channel_register_is_assembled_from_its_members()
    {
        QFETCH(int, channel);
        openHandler();
        VexaDebuggerDataset dataset;
        dataset.channelFlag31[channel] = 1;
        dataset.channelFlag30[channel] = 1;
        dataset.channelHigh[channel] = 0x3F;
        dataset.channelMidHigh[channel] = 0x12;
        dataset.channelMidLow[channel] = 0x34;
        dataset.channelLow[channel] = 0x56;
        dataset.generalHigh = 0xABCD;
        dataset.generalNibble12 = 0x7;
        dataset.generalNibble8 = 0x3;
        dataset.generalLow = 0x21;
        dataset.triggerValue = 0x80000001u;
        dataset.singleShotValues = 42;
        QVERIFY(handler->initializeVhdlModul(&dataset));
        for (int n = 0; n < 4; ++n)
            QCOMPARE(fake.configRegister(n + 1), n == channel ? 0xFF123456u : 0u);
        QCOMPARE(fake.configRegister(5), 0xABCD7331u);
        QCOMPARE(fake.configRegister(6), 0x80000001u);
        QCOMPARE(fake.configRegister(7), 42u);
        QCOMPARE(
            LogCapture::count(QStringList { QStringLiteral("Channel %1 Register:").arg(channel), "0xff123456" }), 1);
    }

    void configuration_failures_are_bounded_and_reported_data()
    {
        QTest::addColumn<int>("readbackErrors");
        QTest::addColumn<int>("acknowledgeOn");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("writes");
        QTest::addColumn<QString>("logged");
        QTest::newRow("zero dataset") << 0 << 1 << true << 7 << "Initialize VHDL Modul --> OK";
        QTest::newRow("one mismatch repeats the write")
            << 1 << 1 << true << 8 << "(reg == lastReadedConfigReg) && (regValue == lastReadedConfigValue)!";
        QTest::newRow("mismatch forever is bounded")
            << -1 << 1 << false << FT4222HCommandHandler::kMaxConfigRounds << "Initialize VHDL Modul --> FAILED";
        QTest::newRow("never acknowledged") << 0 << 0 << false << -1 << "configuration --> failed!";
    }
    void configuration_failures_are_bounded_and_reported()
    {
        QFETCH(int, readbackErrors);
        QFETCH(int, acknowledgeOn);
        QFETCH(bool, ok);
        QFETCH(int, writes);
        QFETCH(QString, logged);
        openHandler();
        fake.setConfigReadbackErrors(readbackErrors);
        fake.setAcknowledgeOnWrite(acknowledgeOn);
        VexaDebuggerDataset dataset;
        QCOMPARE(handler->initializeDebugger(&dataset), ok);
        if (writes >= 0)
            QCOMPARE(fake.configWrites(), writes);
        QCOMPARE(LogCapture::count(logged), 1);
        QCOMPARE(LogCapture::count("Initialize VHDL Modul --> FAILED"), ok ? 0 : 1);
        if (!ok)
            return;
        for (int reg = 1; reg <= 7; ++reg) // only the fixed general bit
            QCOMPARE(fake.configRegister(reg), reg == 5 ? 0x10u : 0u);
        for (const char *step : { "a)", "b)", "c)", "d)", "e)", "f)", "g)", "h)", "i)", "j)", "k)", "l)", "m)" })
            QCOMPARE(LogCapture::count(QLatin1String(" ") + QLatin1String(step)), 1);
    }

    void readback_takes_only_the_reply_to_its_own_read_data()
    {
        QTest::addColumn<bool>("late");
        QTest::newRow("unasked reply") << false;
        QTest::newRow("late reply of an earlier read") << true;
    }
    void readback_takes_only_the_reply_to_its_own_read()
    {
        QFETCH(bool, late);
        openHandler();
        QVERIFY(handler->sendConfigFrame(0x30, 3, 7));
        if (late) {
            fake.holdAnswers(FakeBridge::Replies);
            QVERIFY(!handler->readConfigRegister(3, 7));
            fake.holdAnswers(0);
        } else {
            fake.inject(QByteArray::fromHex("50200300000007"));
        }
        fake.settle();
        fake.holdAnswers(FakeBridge::Replies); // this read is never answered
        QVERIFY(!handler->readConfigRegister(3, 7));
        QCOMPARE(LogCapture::count("communicationTimeouted!"), late ? 2 : 1);
    }

    void start_stop_switches_live_mode_and_framing()
    {
        openHandler();
        QVERIFY(handler->startDebugger());
        QCOMPARE(fake.lastWrite(), QByteArray::fromHex("50700000000000"));
        QTRY_VERIFY(data.count() >= 8);
        QCOMPARE(changed, QList<bool> { true }); // once, however many packets arrive
        QVERIFY(handler->isLiveModeActive());
        QVERIFY(data.at(0).at(0) < 4);

        // While live every frame carries the leading zero, and requests are refused unsent.
        const int taken = fake.framesTaken();
        Command read(1, 148, 1, 0, 0), reply;
        reply.setValid(true);
        handler->doDirectRequest(&read, &reply);
        QVERIFY(!reply.isValid());
        QCOMPARE(fake.framesTaken(), taken);
        QVERIFY(handler->sendConfigFrame(0x20, 3, 0));
        QCOMPARE(fake.lastWrite(), QByteArray::fromHex("0050200300000000"));

        QVERIFY(handler->stopDebugger());
        QCOMPARE(fake.lastWrite(), QByteArray::fromHex("0050800000000000"));
        QVERIFY(!fake.isLive());
        QTRY_COMPARE(changed, (QList<bool> { true, false }));
        QVERIFY(!handler->isLiveModeActive());
        QCOMPARE(LogCapture::count("Stop Debugger --> OK"), 1);
    }

    void live_packets_without_start_do_not_switch_live_mode()
    {
        openHandler();
        fake.inject(QByteArray::fromHex("506207fffffffe"));
        QTRY_COMPARE(data.count(), 1);
        QCOMPARE(data.at(0).at(0), 2);
        QCOMPARE(data.at(0).at(1), 7);
        QCOMPARE(data.at(0).at(2), -2);
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 0);
        QVERIFY(!handler->isLiveModeActive());
    }

    void stop_while_live_reports_change_even_when_frame_fails()
    {
        openHandler();
        QVERIFY(handler->startDebugger());
        QTRY_VERIFY(handler->isLiveModeActive());
        fake.failSlaveWrite(true);
        QVERIFY(!handler->stopDebugger());
        QCOMPARE(LogCapture::count("--> Write failed!"), 1);
        QCOMPARE(LogCapture::count("Stop Debugger --> FAILED"), 1);
        QVERIFY(!handler->isLiveModeActive());
        QTRY_COMPARE(changed, (QList<bool> { true, false }));
        // Packets still streaming after a failed stop no longer switch live mode on.
        QTest::qWait(30);
        QVERIFY(!handler->isLiveModeActive());
    }
};

QTEST_MAIN(TestFt4222Debugger)
#include "tst_ft4222debugger.moc"
