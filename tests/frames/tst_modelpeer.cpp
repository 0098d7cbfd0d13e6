// The library's frames against the simulator's own, independent wire code.
#include "command.h"
#include "zaplcommand.h"
#include "zaplmodule.h"

#include <QtTest>

class TstModelPeer : public QObject
{
    Q_OBJECT
private slots:
    void written_value_is_read_back_through_frames();
    void version_queries_answer_catalogued_identity();
    void other_address_is_not_answered();
    void bad_checksum_is_answered_with_error_status();
    void unknown_command_and_bad_version_type_have_own_statuses();
    void can_layout_carries_the_same_exchange();
    void short_requests_are_ignored();
};

static ZAPLReplyCommand exchange(ZaplModuleModel &module, const ZAPLRequestCommand &request, bool skipChecksum = false)
{
    ZAPLRequestCommand copy(request);
    const QByteArray answer = module.handleSerial(QByteArray(copy.toChar(), 9), 2);
    ZAPLReplyCommand reply;
    reply.update(answer, skipChecksum);
    return reply;
}

void TstModelPeer::written_value_is_read_back_through_frames()
{
    ZaplModuleModel module(3);
    ZAPLReplyCommand reply = exchange(module, ZAPLRequestCommand(3, 5, 4, 0, -1000));
    QVERIFY(reply.isReplyAndCheckSumValid());
    QCOMPARE(reply.status(), uchar(100));
    QCOMPARE(reply.replyAddress(), uchar(2));
    QCOMPARE(reply.moduleAddress(), uchar(3));
    reply = exchange(module, ZAPLRequestCommand(3, 6, 4, 0, 0));
    QCOMPARE(reply.value(), -1000);
    reply = exchange(module, ZAPLRequestCommand(3, 6, 4, 1, 77)); // other motor: never written
    QCOMPARE(reply.value(), 0);
    // Extended packing: the simulator keys on the bytes as sent.
    Command write(3, 146, 0x123, 0x25, 42);
    write.setExtendedType(true);
    exchange(module, ZAPLRequestCommand(&write));
    Command read(3, 148, 0x123, 0x25, 0);
    read.setExtendedType(true);
    QCOMPARE(exchange(module, ZAPLRequestCommand(&read)).value(), 42);
}

void TstModelPeer::version_queries_answer_catalogued_identity()
{
    ZaplModuleModel module(1);
    module.setIdentity(QStringLiteral("3110"), 1, 5, 317);
    ZAPLReplyCommand text = exchange(module, ZAPLRequestCommand(1, 136, 0, 0, 0), true);
    QByteArray chars = text.toReply().mid(1);
    QCOMPARE(chars, QByteArray("3110V105"));
    ZAPLReplyCommand version = exchange(module, ZAPLRequestCommand(1, 136, 1, 0, 0), true);
    QCOMPARE(version.status(), uchar(100));
    QCOMPARE(version.value(), (1 << 8) | 5);
    QCOMPARE(exchange(module, ZAPLRequestCommand(1, 136, 5, 0, 0), true).value(), 317);
}

void TstModelPeer::other_address_is_not_answered()
{
    ZaplModuleModel module(4);
    ZAPLRequestCommand request(5, 6, 1, 0, 0);
    QVERIFY(module.handleSerial(QByteArray(request.toChar(), 9)).isEmpty());
    module.setAddress(5);
    QCOMPARE(module.handleSerial(QByteArray(request.toChar(), 9)).size(), 9);
}

void TstModelPeer::bad_checksum_is_answered_with_error_status()
{
    ZaplModuleModel module(1);
    ZAPLRequestCommand request(1, 5, 4, 0, 1000);
    request.setCheckSum(uchar(request.checkSum() + 1));
    const ZAPLReplyCommand reply = exchange(module, request);
    QVERIFY(reply.isReplyAndCheckSumValid());
    QCOMPARE(reply.status(), ZaplModuleModel::kStatusBadChecksum);
    // Nothing was stored by the refused write.
    QCOMPARE(exchange(module, ZAPLRequestCommand(1, 6, 4, 0, 0)).value(), 0);
}

void TstModelPeer::unknown_command_and_bad_version_type_have_own_statuses()
{
    ZaplModuleModel module(1);
    QCOMPARE(exchange(module, ZAPLRequestCommand(1, 75, 0, 0, 9)).status(), ZaplModuleModel::kStatusUnknownCommand);
    QCOMPARE(exchange(module, ZAPLRequestCommand(1, 136, 2, 0, 0)).status(), ZaplModuleModel::kStatusInvalidType);
    QCOMPARE(exchange(module, ZAPLRequestCommand(1, 4, 0, 0, 9)).status(), ZaplModuleModel::kStatusOk);
}

void TstModelPeer::can_layout_carries_the_same_exchange()
{
    ZaplModuleModel module(1);
    QCOMPARE(module.handleCan(QByteArray::fromHex("0504000000"
                                                  "03e803")),
        QByteArray::fromHex("016405000003e800"));
    QCOMPARE(module.handleCan(QByteArray::fromHex("06040000000000")), QByteArray::fromHex("016406000003e800"));
    QCOMPARE(module.handleCan(QByteArray::fromHex("8800000000000000")), QByteArray("1161V207"));
}

void TstModelPeer::short_requests_are_ignored()
{
    ZaplModuleModel module(1);
    QVERIFY(module.handleCan(QByteArray::fromHex("050400000003")).isEmpty());
    QVERIFY(module.handleSerial(QByteArray::fromHex("0105040000")).isEmpty());
    QVERIFY(module.handleSerial(QByteArray()).isEmpty());
    QCOMPARE(module.requestCount(), 0);
}

QTEST_GUILESS_MAIN(TstModelPeer)
#include "tst_modelpeer.moc"
