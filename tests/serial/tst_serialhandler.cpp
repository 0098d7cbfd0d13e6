#include "serialcommandhandler.h"
#include "serialport.h"
#include "serialserver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <sys/ioctl.h>

namespace {
// Waited in full only when no reply comes: far above what a loaded machine takes to answer.
constexpr int kReplyTimeoutMs = 2000;
// For requests that are meant to go unanswered, to keep the tests quick.
constexpr int kShortTimeoutMs = 80;

struct Rig
{
    explicit Rig(const QList<quint8> &modules, bool usb = false) : server(modules)
    {
        handler.setObjectName(usb ? QStringLiteral("USB construct No: 7") : QStringLiteral("Serial construct No: 7"));
        handler.setDefaultTimeoutMS(kReplyTimeoutMs);
        handler.setMaxTimeoutMS(kReplyTimeoutMs);
    }
    bool open() { return server.start() && handler.openDevice(server.path()) && handler.setDataRate(115200); }
    Command request(quint8 address, quint8 command, quint16 type, qint32 value = 0)
    {
        Command req(address, command, type, 0, value);
        Command reply;
        handler.doDirectRequest(&req, &reply);
        return reply;
    }
    // Waits until `bytes` bytes that nobody asked for wait at the handler's port: bytes the
    // simulator has written may still be on their way through the terminal.
    bool strayBytesArrived(qint64 bytes)
    {
        SerialPort *port = handler.findChild<SerialPort *>();
        QElapsedTimer clock;
        clock.start();
        while (port && port->bytesAvailable() < bytes && clock.elapsed() < 5000)
            port->waitForReadyRead(50);
        return port && port->bytesAvailable() == bytes;
    }
    Command unanswered(quint8 address, quint8 command, quint16 type)
    {
        handler.setMaxTimeoutMS(kShortTimeoutMs);
        const Command reply = request(address, command, type);
        handler.setMaxTimeoutMS(kReplyTimeoutMs);
        return reply;
    }
    SerialServer server;
    SerialCommandHandler handler;
};

SerialServer::Faults faults(void (*change)(SerialServer::Faults &))
{
    SerialServer::Faults f;
    change(f);
    return f;
}

// The frames a handler reported, copied while the pointers in the variants are still valid.
struct Traffic
{
    explicit Traffic(CommandHandlerInterface *h)
    {
        QObject::connect(h, &CommandHandlerInterface::variantMessageOutput, h,
            [this](CommandHandlerInterface::MessageFlags flag, const QVariant &v) {
                flags << int(flag);
                if (auto *r = v.value<ZAPLReplyCommand *>())
                    replies << QPair<QByteArray, bool>(r->toReply(), r->isReplyAndCheckSumValid());
                if (auto *q = v.value<ZAPLRequestCommand *>())
                    requests << q->toByteArray();
                if (v.userType() == QMetaType::QString)
                    texts << v.toString();
            });
    }
    QList<int> flags;
    QList<QPair<QByteArray, bool>> replies;
    QList<QByteArray> requests;
    QStringList texts;
};
} // namespace

class tst_SerialHandler : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false")); }
    void request_gets_the_addressed_modules_reply_data();
    void request_gets_the_addressed_modules_reply();
    void open_accepts_only_listed_ports_or_character_devices();
    void open_on_an_open_port_keeps_it();
    void data_rate_before_open_changes_nothing();
    void unopenable_port_reports_error_is_busy();
    void wrong_checksum_is_flagged_but_kept();
    void version_reply_skips_the_checksum_test();
    void plain_timeout_reports_detached_twice_and_a_fault();
    void usb_timeout_mutes_the_address_until_cleared();
    void late_reply_is_not_taken_as_the_next_reply();
    void usb_split_reply_is_gathered();
    void usb_partial_reply_is_no_reply();
    void usb_stray_bytes_report_request_and_reply();
    void lost_port_is_reported_and_fails_later_requests_at_once_data();
    void lost_port_is_reported_and_fails_later_requests_at_once();
    void port_lost_while_idle_is_reported_from_the_event_loop();
    void firmware_queries_answer_the_modules_identity();
    void version_text_keeps_all_eight_bytes_data();
    void version_text_keeps_all_eight_bytes();
    void firmware_build_is_asked_once();
    void last_request_outlives_the_callers_frame();
    void usb_reply_before_any_request_is_invalid();
    void pause_after_reply_delays_each_write();
    void force_process_events_runs_queued_slots_during_a_wait();
    void write_on_closed_device_fails_and_reports_history();
};

void tst_SerialHandler::request_gets_the_addressed_modules_reply_data()
{
    QTest::addColumn<bool>("usb");
    QTest::newRow("plain") << false;
    QTest::newRow("usb") << true;
}

void tst_SerialHandler::request_gets_the_addressed_modules_reply()
{
    QFETCH(bool, usb);
    Rig rig({ 1, 3, 7 }, usb);
    QVERIFY(rig.open());
    QVERIFY(rig.handler.isDeviceOpen());
    QCOMPARE(rig.handler.property("dpComPort").toString(), rig.server.path());
    QCOMPARE(rig.handler.deviceName(), rig.server.path());

    QVERIFY(rig.request(3, 5, 4, -123456).isValid()); // SAP
    const Command reply = rig.request(3, 6, 4); // GAP
    QVERIFY(reply.isValid());
    QCOMPARE(reply.address(), quint8(3));
    QCOMPARE(reply.replyAddress(), quint8(2));
    QCOMPARE(reply.status(), quint8(100));
    QCOMPARE(reply.command(), quint8(6));
    QCOMPARE(reply.value(), -123456);
    QCOMPARE(reply.type(), quint16(4));
    // Module 7 did not store module 3's value.
    QCOMPARE(rig.request(7, 6, 4).value(), 0);
    // Nobody answers for address 5.
    QVERIFY(!rig.unanswered(5, 6, 4).isValid());
}

void tst_SerialHandler::open_accepts_only_listed_ports_or_character_devices()
{
    SerialCommandHandler handler;
    QVERIFY(!handler.openDevice(QStringLiteral("ttyNoSuchPort99")));
    QVERIFY(!handler.isDeviceOpen());
    QVERIFY(!handler.openDevice(QStringLiteral(CH_SOURCE_DIR "/CMakeLists.txt"))); // not a device
    QVERIFY(!handler.openDevice(QStringLiteral("/dev/no-such-device")));
    QVERIFY(!handler.isDeviceOpen());
    // The first open names the connection; later opens keep the name.
    QCOMPARE(handler.deviceName(), QStringLiteral("ttyNoSuchPort99"));
}

void tst_SerialHandler::open_on_an_open_port_keeps_it()
{
    Rig rig({ 1 });
    QVERIFY(rig.open());
    QVERIFY(rig.request(1, 5, 0, 42).isValid());
    // A second open must not reset the line: the module keeps answering on it.
    QVERIFY(rig.handler.openDevice(rig.server.path()));
    QCOMPARE(rig.request(1, 6, 0).value(), 42);
    QVERIFY(rig.handler.reopenDevice());
    QVERIFY(rig.request(1, 6, 0).isValid());
}

void tst_SerialHandler::data_rate_before_open_changes_nothing()
{
    SerialCommandHandler handler;
    QVERIFY(handler.setDataRate(115200));
    QCOMPARE(handler.dataRate(), 0);
    Rig rig({ 1 });
    QVERIFY(rig.open());
    QCOMPARE(rig.handler.dataRate(), 115200);
}

void tst_SerialHandler::unopenable_port_reports_error_is_busy()
{
    // A character device that is no serial line: accepted by name, refused by the port.
    SerialCommandHandler handler;
    Traffic traffic(&handler);
    QVERIFY(!handler.openDevice(QStringLiteral("/dev/null")));
    QVERIFY(!handler.isDeviceOpen());
    QCOMPARE(traffic.flags, QList<int> { CommandHandlerInterface::ErrorIsBusy });
    QVERIFY(traffic.texts.value(0).startsWith(QStringLiteral("/dev/null Error: ")));
}

void tst_SerialHandler::wrong_checksum_is_flagged_but_kept()
{
    Rig rig({ 1 });
    QVERIFY(rig.open());
    rig.server.setFaults(faults([](SerialServer::Faults &f) { f.corruptChecksum = true; }));
    ZAPLRequestCommand request(1, 6, 0, 0, 0);
    QVERIFY(rig.handler.writeZAPLCommand(&request));
    ZAPLReplyCommand reply;
    rig.handler.readNextZAPLCommand(&reply, 1);
    QVERIFY(reply.isValid());
    QVERIFY(!reply.isReplyAndCheckSumValid());
    // doDirectRequest copies such a reply, wrong checksum included.
    const Command copied = rig.request(1, 6, 0);
    QVERIFY(copied.isValid());
    QCOMPARE(copied.checksum(), reply.checkSum());
}

void tst_SerialHandler::version_reply_skips_the_checksum_test()
{
    Rig rig({ 1 });
    QVERIFY(rig.open());
    rig.server.setFaults(faults([](SerialServer::Faults &f) { f.corruptChecksum = true; }));
    ZAPLRequestCommand request(1, 136, 1, 0, 0);
    QVERIFY(rig.handler.writeZAPLCommand(&request));
    ZAPLReplyCommand reply;
    rig.handler.readNextZAPLCommand(&reply, 1);
    QVERIFY(reply.isReplyAndCheckSumValid());
    QCOMPARE(reply.value(), (2 << 8) | 7);
}

void tst_SerialHandler::plain_timeout_reports_detached_twice_and_a_fault()
{
    Rig rig({ 1 });
    QVERIFY(rig.open());
    rig.server.setFaults(faults([](SerialServer::Faults &f) { f.silent = true; }));
    QSignalSpy detached(&rig.handler, &CommandHandlerInterface::handleDetachedDevice);
    QSignalSpy faultsSpy(&rig.handler, &CommandHandlerInterface::faultsMessage);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!rig.unanswered(1, 6, 0).isValid());
    QVERIFY(clock.elapsed() >= kShortTimeoutMs);
    QVERIFY(clock.elapsed() < kShortTimeoutMs + 1500); // no second wait, no hang
    QCOMPARE(detached.count(), 2);
    QCOMPARE(detached.at(0).at(0).toInt(), int(ConnectionType::Serial));
    QCOMPARE(detached.at(1).at(0).toInt(), int(ConnectionType::USB));
    QCOMPARE(detached.at(0).at(1).toString(), rig.server.path());
    QCOMPARE(faultsSpy.count(), 1);
    QCOMPARE(faultsSpy.at(0).at(0).toHash().value(QStringLiteral("Communication Timeout")).toInt(), 1);
    QVERIFY(rig.handler.isAddressTimeouted(1));
    // The plain path keeps asking a time-outed module.
    rig.server.setFaults({});
    QVERIFY(rig.request(1, 6, 0).isValid());
}

void tst_SerialHandler::usb_timeout_mutes_the_address_until_cleared()
{
    Rig rig({ 1 }, true);
    QVERIFY(rig.open());
    rig.server.setFaults(faults([](SerialServer::Faults &f) { f.silent = true; }));
    QSignalSpy detached(&rig.handler, &CommandHandlerInterface::handleDetachedDevice);
    QVERIFY(!rig.unanswered(1, 6, 0).isValid());
    QVERIFY(rig.handler.isAddressTimeouted(1));
    QCOMPARE(detached.count(), 0);

    // Muted: the module answers again, but the handler no longer waits for it.
    rig.server.setFaults({});
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!rig.request(1, 6, 0).isValid());
    QVERIFY(clock.elapsed() < kReplyTimeoutMs); // a USB read waits at least twice the time-out

    rig.handler.clearAddressTimeout(1);
    QVERIFY(rig.request(1, 5, 0, 77).isValid());
    QCOMPARE(rig.request(1, 6, 0).value(), 77);
}

void tst_SerialHandler::late_reply_is_not_taken_as_the_next_reply()
{
    Rig rig({ 1 });
    QVERIFY(rig.open());
    QVERIFY(rig.request(1, 5, 0, 11).isValid());
    QVERIFY(rig.request(1, 5, 1, 22).isValid());
    rig.server.setFaults(faults([](SerialServer::Faults &f) { f.latencyMs = kShortTimeoutMs + 500; }));
    QVERIFY(!rig.unanswered(1, 6, 0).isValid()); // its reply (11) comes after the time-out
    QVERIFY(rig.strayBytesArrived(9));
    rig.server.setFaults({});
    const Command reply = rig.request(1, 6, 1);
    QVERIFY(reply.isValid());
    QCOMPARE(reply.value(), 22);
}

void tst_SerialHandler::usb_split_reply_is_gathered()
{
    Rig rig({ 1 }, true);
    QVERIFY(rig.open());
    QVERIFY(rig.request(1, 5, 0, 0x01020304).isValid());
    // The rest of the reply goes out once the handler has read the first part, and is waiting
    // before the handler looks for more; so the follow-up wait gathers it whatever the load.
    rig.server.setFaults(faults([](SerialServer::Faults &f) {
        f.splitParts = 2;
        f.holdRest = true;
    }));
    const SerialPort *port = rig.handler.findChild<SerialPort *>();
    bool released = false;
    connect(&rig.handler, &CommandHandlerInterface::readyRead, &rig.handler, [&] {
        if (released)
            return;
        released = true;
        rig.server.releaseRest();
        int waiting = 0;
        QElapsedTimer clock;
        clock.start();
        while (::ioctl(port->handle(), FIONREAD, &waiting) == 0 && waiting < 5 && clock.elapsed() < 5000)
            QThread::msleep(1);
    });
    const Command reply = rig.request(1, 6, 0);
    QVERIFY(released);
    QVERIFY(reply.isValid());
    QCOMPARE(reply.value(), 0x01020304);
    QVERIFY(!rig.handler.isAddressTimeouted(1));
}

void tst_SerialHandler::usb_partial_reply_is_no_reply()
{
    Rig rig({ 1 }, true);
    QVERIFY(rig.open());
    // The second half comes long after the 10 ms follow-up wait: only 4 bytes were gathered.
    rig.server.setFaults(faults([](SerialServer::Faults &f) {
        f.splitParts = 2;
        f.splitGapMs = 400;
    }));
    Traffic traffic(&rig.handler);
    QVERIFY(!rig.request(1, 6, 0).isValid());
    QVERIFY(rig.handler.isAddressTimeouted(1));
    QCOMPARE(traffic.flags,
        (QList<int> { CommandHandlerInterface::Serial_ZAPL_Request, CommandHandlerInterface::Serial_ZAPL_Reply }));
    // The rest of that reply is stale by the next request and must not be read as its reply.
    QVERIFY(rig.strayBytesArrived(5));
    rig.server.setFaults({});
    rig.handler.clearAddressTimeout(1);
    QVERIFY(rig.request(1, 5, 2, 5).isValid());
    QCOMPARE(rig.request(1, 6, 2).value(), 5);
}

void tst_SerialHandler::usb_stray_bytes_report_request_and_reply()
{
    Rig rig({ 1 }, true);
    QVERIFY(rig.open());
    rig.server.setFaults(faults([](SerialServer::Faults &f) { f.strayBytes = QByteArray("\x55\xAA\x00\x13", 4); }));
    Traffic traffic(&rig.handler);
    const Command reply = rig.request(1, 6, 0);
    // 13 bytes in: the first 9 are taken, misaligned, so the checksum fails and both frames are reported.
    QVERIFY(reply.isValid());
    QCOMPARE(traffic.flags,
        (QList<int> { CommandHandlerInterface::Serial_ZAPL_Request, CommandHandlerInterface::Serial_ZAPL_Reply }));
    QCOMPARE(traffic.requests.value(0), ZAPLRequestCommand(1, 6, 0, 0, 0).toByteArray());
    QVERIFY(!traffic.replies.value(0).second);
    QCOMPARE(traffic.replies.value(0).first.left(4), QByteArray("\x55\xAA\x00\x13", 4));
    rig.server.setFaults({});
    QVERIFY(rig.request(1, 6, 0).isValid());
    QCOMPARE(traffic.flags.size(), 2); // a good reply is taken silently
}

void tst_SerialHandler::lost_port_is_reported_and_fails_later_requests_at_once_data()
{
    QTest::addColumn<bool>("usb");
    QTest::newRow("plain") << false;
    QTest::newRow("usb") << true;
}

void tst_SerialHandler::lost_port_is_reported_and_fails_later_requests_at_once()
{
    QFETCH(bool, usb);
    // A time-out far above what noticing the loss takes, even on a loaded machine.
    constexpr int kLongTimeoutMs = 4000;
    Rig rig({ 1 }, usb);
    rig.handler.setMaxTimeoutMS(kLongTimeoutMs);
    QVERIFY(rig.open());
    rig.server.setFaults(faults([](SerialServer::Faults &f) { f.closeOnRequest = true; }));
    QSignalSpy detached(&rig.handler, &CommandHandlerInterface::handleDetachedDevice);
    QSignalSpy faultsSpy(&rig.handler, &CommandHandlerInterface::faultsMessage);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!rig.request(1, 6, 0).isValid());
    QVERIFY2(clock.elapsed() < kLongTimeoutMs / 2, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(rig.server.isLineClosed());
    QVERIFY(!rig.handler.isDeviceOpen());
    QCOMPARE(detached.count(), 2);
    QCOMPARE(detached.at(0).at(0).toInt(), int(ConnectionType::Serial));
    QCOMPARE(detached.at(1).at(0).toInt(), int(ConnectionType::USB));
    QCOMPARE(detached.at(0).at(1).toString(), rig.server.path());
    QCOMPARE(faultsSpy.count(), 1);
    QCOMPARE(faultsSpy.at(0).at(0).toHash(), (QVariantHash { { QStringLiteral("Port Lost"), rig.server.path() } }));
    QVERIFY(!rig.handler.isAddressTimeouted(1)); // the module is not to blame

    clock.restart();
    QVERIFY(!rig.request(1, 6, 0).isValid());
    QVERIFY(!rig.handler.doDirectReply().isValid());
    QVERIFY2(clock.elapsed() < kLongTimeoutMs / 2, qPrintable(QString::number(clock.elapsed())));
    QCoreApplication::processEvents(); // the port's queued error notices add nothing
    QCOMPARE(detached.count(), 2);
    QCOMPARE(faultsSpy.count(), 1);

    // Plugged in again (here: another line): requests work again.
    SerialServer again({ 1 });
    QVERIFY(again.start());
    QVERIFY(rig.handler.openDevice(again.path()));
    QVERIFY(rig.request(1, 5, 0, 9).isValid());
    QCOMPARE(rig.request(1, 6, 0).value(), 9);
}

void tst_SerialHandler::port_lost_while_idle_is_reported_from_the_event_loop()
{
    Rig rig({ 1 });
    QVERIFY(rig.open());
    QVERIFY(rig.request(1, 6, 0).isValid());
    QSignalSpy faultsSpy(&rig.handler, &CommandHandlerInterface::faultsMessage);
    rig.server.unplug();
    QTRY_COMPARE(faultsSpy.count(), 1);
    QVERIFY(!rig.handler.isDeviceOpen());
    QVERIFY(faultsSpy.at(0).at(0).toHash().contains(QStringLiteral("Port Lost")));
}

void tst_SerialHandler::firmware_queries_answer_the_modules_identity()
{
    Rig rig({ 4 });
    rig.server.module(4)->setIdentity(QStringLiteral("1240"), 3, 5, 17);
    QVERIFY(rig.open());
    QCOMPARE(rig.handler.getModuleAndFirmwareVersion(4), QStringLiteral("1240V305"));
    QCOMPARE(rig.handler.getFirmwareVersion(4), QStringLiteral("VX-1240 servo drive firmware 3.05"));
    QCOMPARE(rig.handler.address(), uchar(4));
    const auto version = rig.handler.firmwareVersionNumber();
    QCOMPARE(version.first, QStringLiteral("1240V305"));
    QCOMPARE(int(version.second.first), 3);
    QCOMPARE(int(version.second.second), 5);
    rig.handler.setMaxTimeoutMS(kShortTimeoutMs);
    QCOMPARE(rig.handler.getModuleAndFirmwareVersion(9), QString()); // nobody there
}

void tst_SerialHandler::version_text_keeps_all_eight_bytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("zero inside") << QByteArray("12\0"
                                               "0V305",
        8);
    QTest::newRow("zero first") << QByteArray(8, '\0');
    QTest::newRow("high bytes") << QByteArray("\xE4\xFF"
                                              "40V305",
        8);
}

void tst_SerialHandler::version_text_keeps_all_eight_bytes()
{
    QFETCH(QByteArray, text);
    Rig rig({ 4 });
    rig.server.module(4)->setVersionText(text);
    QVERIFY(rig.open());
    QCOMPARE(rig.handler.getModuleAndFirmwareVersion(4), QString::fromLatin1(text.constData(), 8));
}

void tst_SerialHandler::firmware_build_is_asked_once()
{
    Rig rig({ 1 });
    rig.server.module(1)->setIdentity(QStringLiteral("1161"), 2, 7, 5);
    QVERIFY(rig.open());
    QCOMPARE(rig.handler.getFirmwareBuild(1), QStringLiteral("005"));
    const int asked = rig.server.requestCount();
    QCOMPARE(rig.handler.getFirmwareBuild(1), QStringLiteral("005"));
    QCOMPARE(rig.server.requestCount(), asked);
}

void tst_SerialHandler::last_request_outlives_the_callers_frame()
{
    Rig rig({ 1 }, true);
    QVERIFY(rig.open());
    rig.server.setFaults(faults([](SerialServer::Faults &f) { f.corruptChecksum = true; }));
    Traffic traffic(&rig.handler);
    auto request = std::make_unique<ZAPLRequestCommand>(1, 6, 3, 0, 0);
    const QByteArray sent = request->toByteArray();
    QVERIFY(rig.handler.writeZAPLCommand(request.get()));
    request.reset(); // the caller's frame is gone before the reply is judged
    ZAPLReplyCommand reply;
    rig.handler.readNextZAPLCommand(&reply, 1);
    QCOMPARE(traffic.requests, QList<QByteArray> { sent });
}

void tst_SerialHandler::usb_reply_before_any_request_is_invalid()
{
    Rig rig({ 1 }, true);
    QVERIFY(rig.open());
    Traffic traffic(&rig.handler);
    rig.handler.setMaxTimeoutMS(kShortTimeoutMs);
    QVERIFY(!rig.handler.doDirectReply().isValid());
    QCOMPARE(traffic.flags, QList<int> { CommandHandlerInterface::Serial_ZAPL_Reply });
}

void tst_SerialHandler::pause_after_reply_delays_each_write()
{
    Rig rig({ 1 });
    QVERIFY(rig.open());
    rig.handler.setPauseAfterReply(60); // 30 ms before and 30 ms after the write
    QElapsedTimer clock;
    clock.start();
    QVERIFY(rig.request(1, 6, 0).isValid());
    QVERIFY(clock.elapsed() >= 60);
}

void tst_SerialHandler::force_process_events_runs_queued_slots_during_a_wait()
{
    Rig rig({ 1 });
    QVERIFY(rig.open());
    rig.server.setFaults(faults([](SerialServer::Faults &f) { f.latencyMs = 40; }));
    bool ran = false;
    QTimer::singleShot(0, &rig.handler, [&ran] { ran = true; });
    QVERIFY(rig.request(1, 6, 0).isValid());
    QVERIFY(!ran);
    rig.handler.setForceProcessEvents(true);
    QVERIFY(rig.request(1, 6, 0).isValid());
    QVERIFY(ran);
}

void tst_SerialHandler::write_on_closed_device_fails_and_reports_history()
{
    Rig rig({ 1 });
    QVERIFY(rig.open());
    QVERIFY(rig.handler.closeDevice());
    QVERIFY(!rig.handler.isDeviceOpen());
    rig.handler.setHistoryEnabled(true);
    Traffic traffic(&rig.handler);
    Command reply;
    reply.setValid(true);
    Command req(1, 6, 0, 0, 0);
    rig.handler.doDirectRequest(&req, &reply);
    QVERIFY(!reply.isValid());
    QCOMPARE(traffic.flags,
        (QList<int> { CommandHandlerInterface::Serial_ZAPL_Request, CommandHandlerInterface::Serial_ZAPL_Reply }));
    QVERIFY(rig.handler.closeDevice()); // closing twice is fine
}

QTEST_GUILESS_MAIN(tst_SerialHandler)
#include "tst_serialhandler.moc"
