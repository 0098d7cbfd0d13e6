#include "canzaplcommand.h"
#include "command.h"

#include <QTest>

class TestCanZaplCommand : public QObject
{
    Q_OBJECT
private slots:
    void request_bytes_data();
    void request_bytes();
    void five_argument_request_and_esd_record_layout();
    void reply_record_decodes_data_bytes_data();
    void reply_record_decodes_data_bytes();
    void short_data_leaves_the_rest_zero();
    void text_forms();
};

void TestCanZaplCommand::request_bytes_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("motor");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("plain") << 5 << 0x14 << 0 << 0x0A0B0C0D << false << 8 << QByteArray("0514000a0b0c0d03");
    QTest::newRow("extended width 11") << 1 << 0x2A5 << 1 << 0 << true << 11 << QByteArray("05a5410000000003");
    QTest::newRow("extended width 12") << 1 << 0xABC << 3 << 0 << true << 12 << QByteArray("05bca30000000003");
    QTest::newRow("width 11 drops motor bits 5-7")
        << 1 << 0x100 << 0xFF << 0 << true << 11 << QByteArray("05003f0000000003");
    QTest::newRow("not extended keeps the whole motor byte")
        << 1 << 0x2A5 << 0xFF << 0 << false << 11 << QByteArray("05a5ff0000000003");
    QTest::newRow("negative value") << 2 << 0 << 0 << -1 << false << 8 << QByteArray("050000ffffffff03");
}

void TestCanZaplCommand::request_bytes()
{
    QFETCH(int, address);
    QFETCH(int, type);
    QFETCH(int, motor);
    QFETCH(int, value);
    QFETCH(bool, extended);
    QFETCH(int, width);
    QFETCH(QByteArray, data);
    Command c(quint8(address), 5, quint16(type), quint8(motor), value);
    c.setExtendedType(extended);
    c.setRegAddressBitWidth(quint8(width));
    CANZAPLRequestCommand frame(&c);
    QCOMPARE(frame.id(), quint32(address));
    QCOMPARE(frame.length(), quint8(8));
    QCOMPARE(QByteArray(frame.toKvaserChar(), 8).toHex(), data);
    QCOMPARE(QByteArray(frame.toSocketCANArray(), 8).toHex(), data);
}

void TestCanZaplCommand::five_argument_request_and_esd_record_layout()
{
    CANZAPLRequestCommand frame(7, 136, 1, 2, 0x01020304);
    QCOMPARE(frame.id(), 7u);
    QCOMPARE(QByteArray(frame.toKvaserChar(), 8).toHex(), QByteArray("8801020102030403"));
    CANZAPLRequestCommand esd(0x85, 6, 1, 0, 1000); // identifier LSB first
    QCOMPARE(QByteArray(esd.toESDChar(), 16).toHex(), QByteArray("8500000008000000060100000003e803"));
}

void TestCanZaplCommand::reply_record_decodes_data_bytes_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("module");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("spare");
    QTest::addColumn<quint32>("id");
    QTest::newRow("documented") << QByteArray::fromHex("0000000208000000016406000003e800") << 1 << 100 << 6 << 1000 << 0
                                << 2u;
    QTest::newRow("negative, spare kept")
        << QByteArray::fromHex("0000070008000000030a05fffffffe7f") << 3 << 10 << 5 << -2 << 0x7F << 0x700u;
}

void TestCanZaplCommand::reply_record_decodes_data_bytes()
{
    QFETCH(QByteArray, record);
    QFETCH(int, module);
    QFETCH(int, status);
    QFETCH(int, command);
    QFETCH(int, value);
    QFETCH(int, spare);
    QFETCH(quint32, id);
    CANZAPLReplyCommand reply(record.constData());
    QVERIFY(reply.isValid() && reply.isChecksumValid());
    QCOMPARE(int(reply.moduleAddress()), module);
    QCOMPARE(int(reply.status()), status);
    QCOMPARE(int(reply.command()), command);
    QCOMPARE(reply.value(), value);
    QCOMPARE(int(reply.dummy()), spare);
    QCOMPARE(reply.id(), id);
    QCOMPARE(reply.length(), quint8(8));
}

void TestCanZaplCommand::short_data_leaves_the_rest_zero()
{
    CANZAPLReplyCommand reply;
    reply.setValue(77);
    const quint8 data[8] = { 9, 100, 6, 0x11, 0xAA, 0xBB, 0xCC, 0xDD };
    reply.updateFromData(data, 4);
    QVERIFY(reply.isValid());
    QCOMPARE(reply.value(), 0x11000000);
    QCOMPARE(reply.dummy(), quint8(0));
    reply.updateFromData(data, 200); // never more than 8
    QCOMPARE(reply.value(), int(0x11AABBCC));
    QCOMPARE(reply.dummy(), quint8(0xDD));
}

void TestCanZaplCommand::text_forms()
{
    CANZAPLRequestCommand request(5, 6, 0x14, 0, 0x0A0B0C0D);
    QCOMPARE(request.toString(), QStringLiteral("05 06 14 00 0A 0B 0C 0D 00"));
    QCOMPARE(request.toHex(),
        QStringLiteral("ZAPLRequest[0x0x05, 0x0x00, 0x0x00, 0x0x00, 0x0x08, 0x0x00, 0x0x00, "
                       "0x0x00, 0x0x06, 0x0x14, 0x0x00, 0x0x0D, 0x0x0C, 0x0x0B, 0x0x0A, 0x0x03"));
    const QByteArray record = QByteArray::fromHex("0000000208000000016406000003e800");
    CANZAPLReplyCommand reply(record.constData());
    reply.setReplyAddress(2);
    QCOMPARE(reply.toString(), QStringLiteral("02 01 64 06 00 00 03 E8 00"));
    QCOMPARE(reply.toHex(),
        QStringLiteral("CANZAPLReply[0x0x02, 0x0x00, 0x0x00, 0x0x00, 0x0x08, 0x0x00, 0x0x00, "
                       "0x0x00, 0x0x06, 0x0x00, 0x0x00, 0x0xE8, 0x0x03, 0x0x00, 0x0x00, 0x0x00"));
}

QTEST_GUILESS_MAIN(TestCanZaplCommand)
#include "tst_canzaplcommand.moc"
