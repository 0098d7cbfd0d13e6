#include "command.h"
#include "zaplcommand.h"

#include <QtTest>

// Collects debug lines so tests can check what the parser reports.
static QStringList g_lines;
static void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_lines << message;
}

class TstZaplFrames : public QObject
{
    Q_OBJECT
private slots:
    void request_is_written_in_wire_order_data();
    void request_is_written_in_wire_order();
    void command_record_packs_extended_type_data();
    void command_record_packs_extended_type();
    void setters_do_not_recompute_checksum();
    void text_forms_render_stored_bytes();
    void reply_parse_data();
    void reply_parse();
    void wrong_checksum_is_reported_but_reply_stays_valid();
    void skipped_checksum_keeps_received_byte();
    void short_buffer_leaves_reply_invalid();
    void fresh_reply_is_cleared();
};

void TstZaplFrames::request_is_written_in_wire_order_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("motor");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("gap") << 1 << 6 << 1 << 0 << 0 << QByteArray::fromHex("010601000000000008");
    QTest::newRow("negative wraps") << 1 << 5 << 4 << 0 << -2 << QByteArray::fromHex("01050400fffffffe05");
    QTest::newRow("all ones") << 255 << 255 << 255 << 255 << -1 << QByteArray::fromHex("fffffffffffffffff8");
    QTest::newRow("big value") << 3 << 5 << 4 << 2 << 0x12345678 << QByteArray::fromHex("030504021234567822");
}

void TstZaplFrames::request_is_written_in_wire_order()
{
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(int, type);
    QFETCH(int, motor);
    QFETCH(int, value);
    QFETCH(QByteArray, wire);
    ZAPLRequestCommand request(uchar(address), uchar(command), uchar(type), uchar(motor), value);
    QCOMPARE(QByteArray(request.toChar(), 9), wire);
    QCOMPARE(request.checkSum(), uchar(wire.at(8)));
    QCOMPARE(request.computeCheckSum(), uchar(wire.at(8)));
    QVERIFY(!request.isValid());
    QCOMPARE(request.status(), uchar(0));
    QCOMPARE(request.replyAddress(), uchar(0));
}

void TstZaplFrames::command_record_packs_extended_type_data()
{
    QTest::addColumn<bool>("extended");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("bank");
    QTest::addColumn<int>("typeByte");
    QTest::addColumn<int>("motorByte");
    QTest::newRow("extended packs bits 8-11") << true << 5 << 0x123 << 0x25 << 0x23 << 0x15;
    QTest::newRow("MC write keeps bank") << true << 146 << 0x123 << 0x25 << 0x23 << 0x25;
    QTest::newRow("MC read keeps bank") << true << 148 << 0x123 << 0x25 << 0x23 << 0x25;
    QTest::newRow("DRV write packs") << true << 147 << 0x123 << 0x25 << 0x23 << 0x15;
    QTest::newRow("not extended keeps bank") << false << 5 << 0x123 << 0x25 << 0x23 << 0x25;
    QTest::newRow("bits above 11 dropped") << true << 6 << 0xF456 << 0x0F << 0x56 << 0x4F;
}

void TstZaplFrames::command_record_packs_extended_type()
{
    QFETCH(bool, extended);
    QFETCH(int, command);
    QFETCH(int, type);
    QFETCH(int, bank);
    QFETCH(int, typeByte);
    QFETCH(int, motorByte);
    Command record(7, quint8(command), quint16(type), quint8(bank), 1000);
    record.setExtendedType(extended);
    ZAPLRequestCommand request(&record);
    QCOMPARE(int(request.moduleAddress()), 7);
    QCOMPARE(int(request.command()), command);
    QCOMPARE(int(request.type()), typeByte);
    QCOMPARE(int(request.motorNumber()), motorByte);
    QCOMPARE(request.value(), 1000);
    const QByteArray wire(request.toChar(), 9);
    QCOMPARE(int(uchar(wire.at(2))), typeByte);
    QCOMPARE(int(uchar(wire.at(3))), motorByte);
    uint sum = 0;
    for (int i = 0; i < 8; ++i)
        sum += uchar(wire.at(i));
    QCOMPARE(int(uchar(wire.at(8))), int(sum & 0xFF));
}

void TstZaplFrames::setters_do_not_recompute_checksum()
{
    ZAPLRequestCommand request(1, 6, 1, 0, 0);
    request.setValue(5);
    QCOMPARE(request.checkSum(), uchar(0x08));
    QCOMPARE(request.computeCheckSum(), uchar(0x0D));
    QCOMPARE(uchar(request.toChar()[8]), uchar(0x08));
}

void TstZaplFrames::text_forms_render_stored_bytes()
{
    ZAPLRequestCommand request(1, 6, 1, 0, 0);
    QCOMPARE(request.toString(), QStringLiteral("01 06 01 00 00 00 00 00 08"));
    QCOMPARE(request.toHex(), QStringLiteral("Request[0x01, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08]"));
    const QByteArray wrong = QByteArray::fromHex("0201640600000"
                                                 "3e8ff");
    ZAPLReplyCommand reply(wrong.constData());
    QCOMPARE(reply.toString(), QStringLiteral("02 01 64 06 00 00 03 E8 FF"));
    QCOMPARE(reply.toHex(), QStringLiteral("Reply  [0x02, 0x01, 0x64, 0x06, 0x00, 0x00, 0x03, 0xE8, 0xFF]"));
    QCOMPARE(reply.toReply(), wrong);
}

void TstZaplFrames::reply_parse_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("replyAddress");
    QTest::addColumn<int>("moduleAddress");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("value");
    QTest::newRow("gap 1000") << QByteArray::fromHex("02016406000003e858") << 2 << 1 << 100 << 6 << 1000;
    QTest::newRow("negative") << QByteArray::fromHex("02016406fffffffe68") << 2 << 1 << 100 << 6 << -2;
    QTest::newRow("min int") << QByteArray::fromHex("0203010580000000"
                                                    "8b")
                             << 2 << 3 << 1 << 5 << int(0x80000000);
}

void TstZaplFrames::reply_parse()
{
    QFETCH(QByteArray, wire);
    QFETCH(int, replyAddress);
    QFETCH(int, moduleAddress);
    QFETCH(int, status);
    QFETCH(int, command);
    QFETCH(int, value);
    ZAPLReplyCommand reply(wire.constData());
    QVERIFY(reply.isReplyAndCheckSumValid());
    QCOMPARE(int(reply.replyAddress()), replyAddress);
    QCOMPARE(int(reply.moduleAddress()), moduleAddress);
    QCOMPARE(int(reply.status()), status);
    QCOMPARE(int(reply.command()), command);
    QCOMPARE(reply.value(), value);
    QCOMPARE(reply.toReply(), wire);
}

void TstZaplFrames::wrong_checksum_is_reported_but_reply_stays_valid()
{
    const QByteArray wire = QByteArray::fromHex("02016406000003e859"); // one above the sum
    g_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    ZAPLReplyCommand reply(wire.constData());
    qInstallMessageHandler(previous);
    QVERIFY(reply.isValid());
    QVERIFY(!reply.isChecksumValid());
    QVERIFY(!reply.isReplyAndCheckSumValid());
    QCOMPARE(reply.checkSum(), uchar(0x59));
    QCOMPARE(g_lines.size(), 1);
    QCOMPARE(
        g_lines.first(), QStringLiteral("ZAPLReplyCommand::update() invalid checksum! 02 01 64 06 00 00 03 E8 59"));
}

void TstZaplFrames::skipped_checksum_keeps_received_byte()
{
    // A type-0 version reply: text where the fields would be, no checksum.
    const QByteArray wire = QByteArrayLiteral("\x02") + QByteArrayLiteral("1161V207");
    ZAPLReplyCommand reply;
    g_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    reply.update(wire.constData(), true);
    qInstallMessageHandler(previous);
    QVERIFY(g_lines.isEmpty());
    QVERIFY(reply.isReplyAndCheckSumValid());
    QCOMPARE(reply.checkSum(), uchar('7'));
    QCOMPARE(reply.toReply(), wire);
}

void TstZaplFrames::short_buffer_leaves_reply_invalid()
{
    ZAPLReplyCommand reply;
    QVERIFY(!reply.update(QByteArray::fromHex("02016406000003e8"), false));
    QVERIFY(!reply.isValid());
    QVERIFY(reply.update(QByteArray::fromHex("02016406000003e85800"), false));
    QVERIFY(reply.isReplyAndCheckSumValid());
    QCOMPARE(reply.value(), 1000);
}

void TstZaplFrames::fresh_reply_is_cleared()
{
    ZAPLReplyCommand reply;
    QVERIFY(!reply.isValid());
    QVERIFY(reply.isChecksumValid());
    QCOMPARE(reply.moduleAddress(), uchar(0));
    QCOMPARE(reply.toReply(), QByteArray(9, '\0'));
}

QTEST_GUILESS_MAIN(TstZaplFrames)
#include "tst_zaplframes.moc"
