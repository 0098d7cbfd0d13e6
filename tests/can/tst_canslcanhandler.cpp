#include "canslcancommandhandler.h"
#include "canzaplcommand.h"
#include "command.h"
#include "slcanserver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <thread>

// The SLCAN handler through the real serial port against the simulated adapter.
class TestCanSlcanHandler : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void open_sets_the_bitrate_and_unlisted_rates_are_refused();
    void request_gets_the_module_reply();
    void request_is_sent_with_spare_byte_zero();
    void null_reply_pointer_still_exchanges();
    void frame_from_another_module_is_taken_as_the_reply();
    void version_queries();
    void boot_frame_bytes();
    void closed_device_sends_nothing();
    void time_out_mutes_the_address();
    void reply_survives_split_lines_delay_and_z_acknowledges();
    void history_reports_request_and_reply_frames();
    void port_vanishing_mid_request_is_reported_and_fails_later_requests_at_once();
    void reopen_while_open_keeps_the_device_usable();

private:
    bool open(int kbit = 500) { return handler->openDevice(kbit) && handler->isDeviceOpen(); }
    Command ask(quint8 address, quint8 command = 6)
    {
        Command request(address, command, 1, 0, 0), reply;
        handler->doDirectRequest(&request, &reply);
        return reply;
    }
    int sentFrames() const;
    std::unique_ptr<SlcanServer> server;
    std::unique_ptr<CANSlCanCommandHandler> handler;
};

void TestCanSlcanHandler::init()
{
    server = std::make_unique<SlcanServer>(QList<quint8> { 1, 3 });
    QVERIFY(server->start());
    handler = std::make_unique<CANSlCanCommandHandler>();
    handler->setComPortName(server->path());
    handler->setReplyID(2);
    // Long enough for a reply on a loaded machine; the time-out tests shorten it.
    handler->setMaxTimeoutMS(1000);
}

void TestCanSlcanHandler::cleanup()
{
    handler.reset();
    server.reset();
}

int TestCanSlcanHandler::sentFrames() const
{
    int n = 0;
    for (const QByteArray &line : server->commands())
        n += line.startsWith('t');
    return n;
}

void TestCanSlcanHandler::open_sets_the_bitrate_and_unlisted_rates_are_refused()
{
    QCOMPARE(handler->objectName(), QStringLiteral("CAN SLCAN"));
    QCOMPARE(handler->dataRate(), 1000);
    QVERIFY(!handler->openDevice(83));
    QVERIFY(!handler->isDeviceOpen());
    QVERIFY(open(250));
    QTRY_VERIFY(server->isChannelOpen());
    QCOMPARE(server->bitrateCode(), 5);
    QVERIFY(!handler->setDataRate(83));
    QCOMPARE(handler->dataRate(), 250);
    QVERIFY(handler->setDataRate(800));
    QCOMPARE(handler->dataRate(), 800);
    QTRY_COMPARE(server->bitrateCode(), 7);
    QVERIFY(handler->closeDevice());
    QVERIFY(!handler->isDeviceOpen());
    QTRY_VERIFY(!server->isChannelOpen());
}

void TestCanSlcanHandler::request_gets_the_module_reply()
{
    QVERIFY(open());
    Command sap(3, 5, 4, 0, -123456), gap(3, 6, 4, 0, 0), reply;
    handler->doDirectRequest(&sap, &reply);
    QVERIFY(reply.isValid());
    gap.setReplyAddress(2);
    handler->doDirectRequest(&gap, &reply);
    QVERIFY(reply.isValid());
    QCOMPARE(reply.address(), quint8(3));
    QCOMPARE(reply.status(), quint8(100));
    QCOMPARE(reply.command(), quint8(6));
    QCOMPARE(reply.type(), quint16(4));
    QCOMPARE(reply.value(), -123456);
    QCOMPARE(reply.replyAddress(), quint8(2));
    QCOMPARE(reply.checksum(), quint8(0));
}

void TestCanSlcanHandler::request_is_sent_with_spare_byte_zero()
{
    QVERIFY(open());
    Command c(1, 6, 0x14, 0, 0x0A0B0C0D);
    handler->doDirectRequestWithoutAnswer(&c);
    QTRY_COMPARE(server->node(1)->requestCount(), 1);
    QCOMPARE(server->commands().last(), QByteArray("t00180614000A0B0C0D00"));
}

void TestCanSlcanHandler::null_reply_pointer_still_exchanges()
{
    QVERIFY(open());
    Command c(1, 6, 1, 0, 0);
    QElapsedTimer clock;
    clock.start();
    handler->doDirectRequest(&c, nullptr);
    QCOMPARE(server->node(1)->requestCount(), 1);
    QVERIFY(clock.elapsed() < 150); // it took the reply rather than timing out
    QVERIFY(handler->timeoutedAddressList().isEmpty());
}

void TestCanSlcanHandler::frame_from_another_module_is_taken_as_the_reply()
{
    QVERIFY(open());
    server->inject("t00280164060000002A00\r"); // module 1 speaks while we ask module 9
    const Command reply = ask(9);
    QVERIFY(reply.isValid());
    QCOMPARE(reply.address(), quint8(1));
    QCOMPARE(reply.value(), 42);
}

void TestCanSlcanHandler::version_queries()
{
    server->node(3)->model().setIdentity(QStringLiteral("1240"), 3, 5, 1);
    QVERIFY(open());
    // The text reply's status byte is the character '2', not 100: the text comes back anyway.
    QCOMPARE(handler->getModuleAndFirmwareVersion(3), QStringLiteral("1240V305"));
    const QString firmware = handler->getFirmwareVersion(3);
    QVERIFY2(firmware.startsWith(QStringLiteral("VX-1240")) && firmware.endsWith(QStringLiteral("3.05")),
        qPrintable(firmware));
    server->inject("t00280904880000020700\r"); // module 9, status 4
    QVERIFY(handler->getFirmwareVersion(9).isEmpty());
    QVERIFY(handler->getModuleAndFirmwareVersion(9).isEmpty()); // 9 is absent: it times out
}

void TestCanSlcanHandler::boot_frame_bytes()
{
    handler->sendCANopenBootCommand(5);
    QVERIFY(open());
    handler->sendCANopenBootCommand(5);
    QTRY_VERIFY(server->commands().contains("t605823FF5F00419D7B2E"));
    QCOMPARE(sentFrames(), 1); // nothing was sent while closed
}

void TestCanSlcanHandler::closed_device_sends_nothing()
{
    Command c(1, 6, 1, 0, 0), reply;
    reply.setValid(true);
    handler->doDirectRequest(&c, &reply);
    QVERIFY(!reply.isValid());
    QVERIFY(handler->getFirmwareVersion(1).isNull());
    QVERIFY(handler->getModuleAndFirmwareVersion(1).isEmpty());
    CANZAPLRequestCommand frame(1, 6, 1, 0, 0);
    QVERIFY(!handler->writeZAPLCommand(&frame));
    QCOMPARE(server->node(1)->requestCount(), 0);
}

void TestCanSlcanHandler::time_out_mutes_the_address()
{
    handler->setMaxTimeoutMS(150);
    QVERIFY(open());
    QSignalSpy closed(handler.get(), &CommandHandlerInterface::deviceClosed);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!ask(9).isValid());
    QVERIFY(clock.elapsed() >= 150);
    QCOMPARE(closed.count(), 1);
    QCOMPARE(closed.first().first().value<uchar>(), uchar(9));
    QCOMPARE(handler->timeoutedAddressList(), QList<uchar> { 9 });
    const int sent = sentFrames();
    clock.restart();
    QVERIFY(!ask(9).isValid());
    QVERIFY(clock.elapsed() < 100);
    QTest::qWait(30);
    QCOMPARE(sentFrames(), sent);
    QVERIFY(open()); // opening clears the muted list
    QVERIFY(handler->timeoutedAddressList().isEmpty());
}

void TestCanSlcanHandler::reply_survives_split_lines_delay_and_z_acknowledges()
{
    SlcanServer::Options o;
    o.ack = SlcanServer::Ack::Z;
    o.splitParts = 4;
    o.splitGapMs = 5;
    o.delayMs = 40;
    o.lowerCaseHex = true;
    server->setOptions(o);
    handler->setAckNakUsage(true);
    QVERIFY(open());
    const Command reply = ask(1, 136);
    QVERIFY(reply.isValid());
    QCOMPARE(reply.value(), (2 << 8) | 7);
}

void TestCanSlcanHandler::history_reports_request_and_reply_frames()
{
    QVERIFY(open());
    handler->setHistoryEnabled(true);
    QStringList seen;
    connect(handler.get(), &CommandHandlerInterface::variantMessageOutput, this,
        [&](CommandHandlerInterface::MessageFlags flag, const QVariant &v) {
            // The frames live only during the call: read them now.
            if (auto *request = v.value<CANZAPLRequestCommand *>())
                seen << QString::number(int(flag)) + QLatin1Char(' ') + request->toString();
            else if (auto *reply = v.value<CANZAPLReplyCommand *>())
                seen << QString::number(int(flag)) + QLatin1Char(' ') + reply->toString();
        });
    ask(1);
    QCOMPARE(seen,
        (QStringList { QString::number(int(CommandHandlerInterface::CAN_ZAPL_Request))
                + QStringLiteral(" 01 06 01 00 00 00 00 00 00"),
            QString::number(int(CommandHandlerInterface::CAN_ZAPL_Reply))
                + QStringLiteral(" 02 01 64 06 00 00 00 00 00") }));
}

void TestCanSlcanHandler::port_vanishing_mid_request_is_reported_and_fails_later_requests_at_once()
{
    QVERIFY(open());
    QSignalSpy detached(handler.get(), &CommandHandlerInterface::handleDetachedDevice);
    QSignalSpy faults(handler.get(), &CommandHandlerInterface::faultsMessage);
    handler->setMaxTimeoutMS(5000);
    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        server->unplug();
    });
    QElapsedTimer clock;
    clock.start();
    const Command lost = ask(9); // no module there: only the unplugging ends the wait
    unplug.join();
    QVERIFY(!lost.isValid());
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!handler->isDeviceOpen());
    QCOMPARE(detached.size(), 1);
    QCOMPARE(detached.at(0).at(0).toInt(), int(ConnectionType::CAN_SLCAN));
    QCOMPARE(faults.size(), 1);
    QCOMPARE(faults.at(0).at(0).toHash(), (QVariantHash { { QStringLiteral("Port Lost"), server->path() } }));
    clock.restart();
    QVERIFY(!ask(1).isValid());
    QVERIFY(clock.elapsed() < 100);
    QVERIFY(handler->closeDevice());
}

void TestCanSlcanHandler::reopen_while_open_keeps_the_device_usable()
{
    QVERIFY(open(125));
    QVERIFY(handler->reopenDevice());
    QVERIFY(handler->isDeviceOpen());
    QCOMPARE(handler->dataRate(), 125);
    QVERIFY(ask(1).isValid());
}

QTEST_GUILESS_MAIN(TestCanSlcanHandler)
#include "tst_canslcanhandler.moc"
