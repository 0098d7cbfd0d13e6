#include "ft4222hpacketsplitter_p.h"

#include <QtTest>

namespace {
struct Result
{
    QList<FT4222HPacketSplitter::Packet> packets;
    QList<QPair<int, int>> dropped; // byte, buffered before removal
};

Result feed(FT4222HPacketSplitter &splitter, const QByteArray &bytes, int chunk)
{
    Result r;
    for (int i = 0; i < bytes.size(); i += chunk) {
        const QByteArray part = bytes.mid(i, chunk);
        splitter.append(reinterpret_cast<const quint8 *>(part.constData()), part.size());
        splitter.split([&r](const FT4222HPacketSplitter::Packet &p) { r.packets << p; },
            [&r](qint8 b, int before) { r.dropped << qMakePair(int(b), before); });
    }
    return r;
}
} // namespace

class TestFt4222Splitter : public QObject
{
    Q_OBJECT
private slots:
    void splits_stream_into_packets_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<int>("packets");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<int>("leftOver");
        QTest::addColumn<int>("lastValue");
        QTest::newRow("empty") << QByteArray() << 7 << 0 << 0 << 0 << 0;
        QTest::newRow("six bytes wait") << QByteArray::fromHex("500000000000") << 7 << 0 << 0 << 6 << 0;
        QTest::newRow("one packet") << QByteArray::fromHex("50410500000102") << 7 << 1 << 0 << 0 << 258;
        QTest::newRow("one byte at a time") << QByteArray::fromHex("50410500000102") << 1 << 1 << 0 << 0 << 258;
        QTest::newRow("noise first") << QByteArray::fromHex("0050410500000102") << 7 << 1 << 1 << 0 << 258;
        QTest::newRow("negative value") << QByteArray::fromHex("5060ffffffffff") << 3 << 1 << 0 << 0 << -1;
        QTest::newRow("two packets and a tail")
            << QByteArray::fromHex("50f00000000000504001800000005050") << 7 << 2 << 0 << 2 << qint32(0x80000000);
        QTest::newRow("all noise") << QByteArray::fromHex("01020304050607080910") << 7 << 0 << 4 << 6 << 0;
    }
    void splits_stream_into_packets()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, chunk);
        QFETCH(int, packets);
        QFETCH(int, dropped);
        QFETCH(int, leftOver);
        QFETCH(int, lastValue);
        FT4222HPacketSplitter splitter;
        const Result r = feed(splitter, bytes, chunk);
        QCOMPARE(r.packets.size(), packets);
        QCOMPARE(r.dropped.size(), dropped);
        QCOMPARE(splitter.size(), leftOver);
        if (packets > 0)
            QCOMPARE(r.packets.last().value, lastValue);
    }

    void dropped_byte_is_reported_signed_with_buffer_size_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("dropped");
        QTest::newRow("zero") << QByteArray::fromHex("0050410500000102") << 0;
        QTest::newRow("negative") << QByteArray::fromHex("ff50410500000102") << -1;
    }
    void dropped_byte_is_reported_signed_with_buffer_size()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, dropped);
        FT4222HPacketSplitter splitter;
        const Result r = feed(splitter, bytes, 8);
        QCOMPARE(r.dropped, (QList<QPair<int, int>> { qMakePair(dropped, 8) }));
        QCOMPARE(r.packets.size(), 1);
        QCOMPARE(r.packets.at(0).sync, quint8(0x50));
        QCOMPARE(r.packets.at(0).id, quint8(0x41));
        QCOMPARE(r.packets.at(0).timeStamp, quint8(5));
        QCOMPARE(r.packets.at(0).value, 258);
    }

    void clear_discards_partial_packet()
    {
        FT4222HPacketSplitter splitter;
        feed(splitter, QByteArray::fromHex("504105"), 3);
        splitter.clear();
        const Result r = feed(splitter, QByteArray::fromHex("0000010250f00000000000"), 11);
        QCOMPARE(r.packets.size(), 1);
        QCOMPARE(r.packets.at(0).id, quint8(0xF0));
        QCOMPARE(r.dropped.size(), 4);
    }
};

QTEST_APPLESS_MAIN(TestFt4222Splitter)
#include "tst_ft4222splitter.moc"
