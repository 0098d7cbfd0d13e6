#include "virtualcommandhandler.h"
#include "zaplcommand.h"

#include <QtTest>
#include <thread>

namespace {
Command request(quint8 command, quint16 type, quint8 motor, qint32 value)
{
    return Command(1, command, type, motor, value);
}

Command ask(CommandHandlerInterface &h, Command req)
{
    Command reply;
    h.doDirectRequest(&req, &reply);
    return reply;
}

// What a host's traffic view takes from the messages, copied while the frames still live.
struct Seen
{
    int flag;
    QString text;
    int value;
};
} // namespace

class TstVirtualHandler : public QObject
{
    Q_OBJECT
private slots:
    void init() { VirtualCommandHandler::clearParameterStore(); }
    void write_then_read_returns_the_written_value();
    void stap_overwrites_what_sap_stored();
    void other_motor_answers_its_own_value();
    void handlers_share_one_store();
    void wide_type_is_packed_into_the_motor_byte();
    void register_writes_are_read_back_data();
    void register_writes_are_read_back();
    void request_without_answer_stores_nothing();
    void reply_copies_the_request_fields();
    void missing_reply_record_is_allowed();
    void history_off_emits_nothing();
    void history_on_reports_request_and_replies();
    void device_operations_change_nothing();
    void concurrent_handlers_do_not_corrupt_the_store();
};

void TstVirtualHandler::write_then_read_returns_the_written_value()
{
    VirtualCommandHandler h;
    const Command write = ask(h, request(5, 4, 0, 1000));
    QVERIFY(write.isValid());
    QCOMPARE(write.status(), quint8(100));
    QCOMPARE(write.value(), 1000);
    const Command read = ask(h, request(6, 4, 0, 0));
    QCOMPARE(read.status(), quint8(100));
    QCOMPARE(read.value(), 1000);
}

void TstVirtualHandler::stap_overwrites_what_sap_stored()
{
    VirtualCommandHandler h;
    ask(h, request(5, 4, 0, 1000));
    ask(h, request(7, 4, 0, 7));
    QCOMPARE(ask(h, request(6, 4, 0, 0)).value(), 7);
}

void TstVirtualHandler::other_motor_answers_its_own_value()
{
    VirtualCommandHandler h;
    ask(h, request(5, 4, 0, 1000));
    QCOMPARE(ask(h, request(6, 4, 1, 0)).value(), 0);
    QCOMPARE(ask(h, request(6, 4, 1, 55)).value(), 55);
    QCOMPARE(ask(h, request(4, 0, 0, 123)).value(), 123); // not a parameter command: echoed
}

void TstVirtualHandler::handlers_share_one_store()
{
    VirtualCommandHandler a;
    VirtualCommandHandler b;
    ask(a, request(9, 77, 2, -5));
    QCOMPARE(ask(b, request(10, 77, 2, 0)).value(), -5);
}

void TstVirtualHandler::wide_type_is_packed_into_the_motor_byte()
{
    VirtualCommandHandler h;
    ask(h, request(5, 0x123, 5, 99)); // stored under type byte 0x23, motor byte 0x15
    QCOMPARE(ask(h, request(6, 0x23, 0x15, 0)).value(), 99);
    // The packing follows the type value alone, so a record flagged extended with a small type
    // keeps its motor byte.
    Command flagged = request(5, 0x23, 0x25, 11);
    flagged.setExtendedType(true);
    ask(h, flagged);
    QCOMPARE(ask(h, request(6, 0x23, 0x25, 0)).value(), 11);
}

void TstVirtualHandler::register_writes_are_read_back_data()
{
    QTest::addColumn<int>("write");
    QTest::addColumn<int>("read");
    QTest::newRow("MC") << 146 << 148;
    QTest::newRow("DRV") << 147 << 149;
    QTest::newRow("SGP") << 9 << 10;
}

void TstVirtualHandler::register_writes_are_read_back()
{
    QFETCH(int, write);
    QFETCH(int, read);
    VirtualCommandHandler h;
    ask(h, request(quint8(write), 0x10, 3, 0x12345678));
    QCOMPARE(ask(h, request(quint8(read), 0x10, 3, 0)).value(), 0x12345678);
    QCOMPARE(ask(h, request(quint8(write == 146 ? 149 : 148), 0x10, 3, 1)).value(), 1);
}

void TstVirtualHandler::request_without_answer_stores_nothing()
{
    VirtualCommandHandler h;
    Command sap = request(5, 4, 0, 1000);
    h.doDirectRequestWithoutAnswer(&sap);
    QCOMPARE(ask(h, request(6, 4, 0, 0)).value(), 0);
}

void TstVirtualHandler::reply_copies_the_request_fields()
{
    VirtualCommandHandler h;
    Command req(9, 146, 0x2A5, 0x31, 4);
    req.setExtendedType(true);
    req.setRegAddressBitWidth(11);
    const Command reply = ask(h, req);
    QVERIFY(reply.isValid());
    QVERIFY(reply.isExtendedType());
    QCOMPARE(reply.getRegAddressBitWidth(), quint8(11));
    QCOMPARE(reply.command(), quint8(146));
    QCOMPARE(reply.type(), quint16(0x2A5));
    QCOMPARE(reply.motorBank(), quint8(0x31));
    QCOMPARE(reply.address(), quint8(9));
}

void TstVirtualHandler::missing_reply_record_is_allowed()
{
    VirtualCommandHandler h;
    h.setHistoryEnabled(true);
    Command sap = request(5, 4, 0, 1000);
    QSignalSpy spy(&h, &CommandHandlerInterface::variantMessageOutput);
    h.doDirectRequest(&sap, nullptr);
    QCOMPARE(spy.count(), 2); // no record to report
    QCOMPARE(ask(h, request(6, 4, 0, 0)).value(), 1000);
}

void TstVirtualHandler::history_off_emits_nothing()
{
    VirtualCommandHandler h;
    QSignalSpy spy(&h, &CommandHandlerInterface::variantMessageOutput);
    ask(h, request(5, 4, 0, 1000));
    QCOMPARE(spy.count(), 0);
}

void TstVirtualHandler::history_on_reports_request_and_replies()
{
    VirtualCommandHandler h;
    h.setHistoryEnabled(true);
    ask(h, request(5, 4, 0, 1000));
    QList<Seen> seen;
    connect(
        &h, &CommandHandlerInterface::variantMessageOutput, this,
        [&seen](CommandHandlerInterface::MessageFlags flag, const QVariant &message) {
            if (auto *req = message.value<ZAPLRequestCommand *>())
                seen.append({ int(flag), req->toString(), req->value() });
            else if (auto *rep = message.value<ZAPLReplyCommand *>())
                seen.append({ int(flag), rep->toString(), rep->value() });
            else if (auto *record = message.value<Command *>())
                seen.append({ int(flag), QStringLiteral("record"), record->value() });
        },
        Qt::DirectConnection);
    Command gap = request(6, 4, 0, 0);
    gap.setStatus(7); // the reply frame carries the request record's status byte
    Command reply;
    h.doDirectRequest(&gap, &reply);
    QCOMPARE(seen.size(), 3);
    QCOMPARE(seen.at(0).flag, int(CommandHandlerInterface::Serial_ZAPL_Request));
    QCOMPARE(seen.at(0).text, QStringLiteral("01 06 04 00 00 00 00 00 0B"));
    QCOMPARE(seen.at(1).flag, int(CommandHandlerInterface::Serial_ZAPL_Reply));
    QCOMPARE(seen.at(1).text, QStringLiteral("01 00 07 06 00 00 03 E8 00"));
    QCOMPARE(seen.at(2).flag, int(CommandHandlerInterface::Serial_ZAPL_Reply));
    QCOMPARE(seen.at(2).text, QStringLiteral("record"));
    QCOMPARE(seen.at(2).value, 1000);
}

void TstVirtualHandler::device_operations_change_nothing()
{
    VirtualCommandHandler h;
    QVERIFY(!h.openDevice(QStringLiteral("anything")));
    QVERIFY(!h.isDeviceOpen());
    QVERIFY(!h.reopenDevice());
    QVERIFY(h.closeDevice());
    QVERIFY(h.setDataRate(115200));
    QVERIFY(h.getFirmwareVersion(1).isEmpty());
    QVERIFY(h.getModuleAndFirmwareVersion(1).isEmpty());
    QVERIFY(h.getFirmwareBuild(1).isEmpty());
    QVERIFY(!h.doDirectReply().isValid());
    QCOMPARE(ask(h, request(5, 1, 0, 3)).status(), quint8(100)); // answered all the same
}

void TstVirtualHandler::concurrent_handlers_do_not_corrupt_the_store()
{
    // Handlers on two threads share the store; each writes its own keys and reads them back.
    auto work = [](quint8 motor, bool *ok) {
        VirtualCommandHandler h;
        *ok = true;
        for (int i = 0; i < 2000 && *ok; ++i) {
            ask(h, request(5, quint16(i % 200), motor, i));
            *ok = ask(h, request(6, quint16(i % 200), motor, -1)).value() == i;
        }
    };
    bool okA = false;
    bool okB = false;
    std::thread a(work, quint8(1), &okA);
    std::thread b(work, quint8(2), &okB);
    a.join();
    b.join();
    QVERIFY(okA);
    QVERIFY(okB);
}

QTEST_GUILESS_MAIN(TstVirtualHandler)
#include "tst_virtualhandler.moc"
