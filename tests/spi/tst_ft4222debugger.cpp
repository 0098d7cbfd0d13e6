#include "fakebridge.h"
#include "ft4222hcommandhandler.h"
#include "vexadebuggerdataset.h"

#include <QSignalSpy>
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

    void zero_dataset_writes_only_the_fixed_general_bit()
    {
        openHandler();
        VexaDebuggerDataset dataset;
        QVERIFY(handler->initializeDebugger(&dataset));
        for (int reg = 1; reg <= 7; ++reg)
            QCOMPARE(fake.configRegister(reg), reg == 5 ? 0x10u : 0u);
        QCOMPARE(LogCapture::count("Initialize VHDL Modul --> OK"), 1);
        const QStringList steps { "a)", "b)", "c)", "d)", "e)", "f)", "g)", "h)", "i)", "j)", "k)", "l)", "m)" };
        for (const QString &step : steps)
            QCOMPARE(LogCapture::count(QStringLiteral(" ") + step), 1);
    }

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

    void mismatching_readback_repeats_the_write()
    {
        openHandler();
        fake.setConfigReadbackErrors(1);
        VexaDebuggerDataset dataset;
        QVERIFY(handler->initializeVhdlModul(&dataset));
        QCOMPARE(fake.configWrites(), 8); // register 1 twice
        QCOMPARE(LogCapture::count("(reg == lastReadedConfigReg) && (regValue == lastReadedConfigValue)!"), 1);
    }

    void write_and_verify_loop_is_bounded()
    {
        openHandler();
        fake.setConfigReadbackErrors(-1);
        VexaDebuggerDataset dataset;
        QVERIFY(!handler->initializeDebugger(&dataset));
        QCOMPARE(fake.configWrites(), FT4222HCommandHandler::kMaxConfigRounds);
        QCOMPARE(LogCapture::count("Initialize VHDL Modul --> FAILED"), 1);
    }

    void unacknowledged_configuration_fails_initialisation()
    {
        openHandler();
        fake.setAcknowledgeOnWrite(0);
        VexaDebuggerDataset dataset;
        QVERIFY(!handler->initializeDebugger(&dataset));
        QCOMPARE(LogCapture::count("configuration --> failed!"), 1);
        QCOMPARE(LogCapture::count("Initialize VHDL Modul --> FAILED"), 1);
    }

    void start_stop_switches_live_mode_and_framing()
    {
        openHandler();
        QVERIFY(handler->startDebugger());
        QCOMPARE(fake.lastWrite(), QByteArray::fromHex("50700000000000"));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0), true);
        QVERIFY(handler->isLiveModeActive());
        QTRY_VERIFY(data.count() >= 8);
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
        QTRY_COMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1), false);
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

    void live_mode_change_is_reported_once()
    {
        handler.reset(new FT4222HCommandHandler);
        QSignalSpy spy(handler.get(), &FT4222HCommandHandler::liveModeChanged);
        handler->setLiveModeActive(true);
        handler->setLiveModeActive(true);
        QCOMPARE(spy.count(), 1);
        handler->setLiveModeActive(false);
        handler->setLiveModeActive(false);
        QCOMPARE(spy.count(), 2);
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
        QTRY_COMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1), false);
        // Packets still streaming after a failed stop no longer switch live mode on.
        QTest::qWait(30);
        QVERIFY(!handler->isLiveModeActive());
    }
};

QTEST_MAIN(TestFt4222Debugger)
#include "tst_ft4222debugger.moc"
