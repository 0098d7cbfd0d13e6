// The SDO transfers frame by frame, without a bus or an event loop.
#include "canopenprotocol_p.h"

#include <QtTest>

using namespace canopen;

namespace {
CanMessage reply(quint8 node, std::initializer_list<int> bytes)
{
    CanMessage m;
    m.id = 0x580 + node;
    quint8 b[8] = {};
    int n = 0;
    for (int v : bytes)
        b[n++] = quint8(v);
    m.setData(b, n);
    return m;
}
} // namespace

class TestCanopenProtocol : public QObject
{
    Q_OBJECT
private slots:
    void upload_expedited_extends_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("value");
        QTest::addColumn<uint>("info");
        QTest::newRow("0x43 all ones is -1") << QByteArray::fromHex("43002001ffffffff") << 1 << -1 << 4u;
        QTest::newRow("0x4B is zero-extended") << QByteArray::fromHex("4b002001ffff0000") << 1 << 65535 << 2u;
        QTest::newRow("0x47 is zero-extended") << QByteArray::fromHex("47002001ffffff00") << 1 << 0xFFFFFF << 3u;
        QTest::newRow("0x4F is zero-extended") << QByteArray::fromHex("4f002001ff000000") << 1 << 255 << 1u;
        QTest::newRow("0x42 without size") << QByteArray::fromHex("4200200101020304") << 5 << 0 << 0u;
        QTest::newRow("unexpected command") << QByteArray::fromHex("6000200100000000") << 5 << 0 << 0u;
        QTest::newRow("0x43 cut short") << QByteArray::fromHex("4300200101") << 5 << 0 << 0u;
        QTest::newRow("abort") << QByteArray::fromHex("8000200111000906") << 4 << 0 << 0x06090011u;
    }
    void upload_expedited_extends()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, result);
        QFETCH(int, value);
        QFETCH(uint, info);
        quint32 gotInfo = 0;
        SdoUpload up(3, 0x2000, 1, gotInfo);
        const SdoStep first = up.start();
        QVERIFY(first.send && !first.finish && first.restartTimer);
        QCOMPARE(first.frame.id, 0x603u);
        QCOMPARE(first.frame.data[0], quint8(0x40));
        CanMessage m;
        m.id = 0x583;
        m.setData(frame.constData(), frame.size());
        const SdoStep s = up.onFrame(m);
        QVERIFY(s.finish);
        QCOMPARE(int(s.result), result);
        QCOMPARE(gotInfo, quint32(info));
        if (result == 1)
            QCOMPARE(up.value(), value);
    }

    void replies_for_another_index_or_node_are_ignored()
    {
        quint32 code = 0;
        SdoExpeditedDownload dl(3, 0x2000, 1, 4, 7, code);
        dl.start();
        QVERIFY(!dl.onFrame(reply(4, { 0x60, 0x00, 0x20, 0x01 })).finish);
        QVERIFY(!dl.onFrame(reply(3, { 0x60, 0x01, 0x20, 0x01 })).finish);
        QVERIFY(!dl.onFrame(reply(3, { 0x60, 0x00, 0x20 })).finish); // too short to be the answer
        const SdoStep s = dl.onFrame(reply(3, { 0x60, 0x00, 0x20, 0x01 }));
        QVERIFY(s.finish);
        QCOMPARE(int(s.result), 1);
    }

    void download_timeout_sends_abort_frame()
    {
        quint32 code = 42;
        SdoExpeditedDownload dl(3, 0x1234, 9, 1, 7, code);
        dl.start();
        const SdoStep s = dl.onTimeout();
        QVERIFY(s.finish && s.send);
        QCOMPARE(int(s.result), 6);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(s.frame.data), 8), QByteArray::fromHex("8034120900000405"));
        QCOMPARE(code, 42u);
    }

    void segmented_download_checks_toggle()
    {
        quint32 code = 1;
        SdoSegmentedDownload dl(3, 0x2001, 0, 20, QByteArray(20, 'a'), code);
        dl.start();
        SdoStep s = dl.onFrame(reply(3, { 0x60, 0x01, 0x20, 0x00 }));
        QVERIFY(s.send && !s.finish);
        QCOMPARE(s.frame.data[0], quint8(0x00));
        QCOMPARE(code, 0u);
        s = dl.onFrame(reply(3, { 0x20 }));
        QCOMPARE(s.frame.data[0], quint8(0x10));
        s = dl.onFrame(reply(3, { 0x20 })); // toggle 1 expected
        QVERIFY(s.finish);
        QCOMPARE(int(s.result), 5);
    }

    void segmented_download_abort_in_segment_phase()
    {
        quint32 code = 0;
        SdoSegmentedDownload dl(3, 0x2001, 0, 20, QByteArray(20, 'a'), code);
        dl.start();
        dl.onFrame(reply(3, { 0x60, 0x01, 0x20, 0x00 }));
        const SdoStep s = dl.onFrame(reply(3, { 0x80, 0x01, 0x20, 0x00, 0x00, 0x00, 0x03, 0x05 }));
        QVERIFY(s.finish && !s.send);
        QCOMPARE(int(s.result), 3);
        QCOMPARE(code, 0x05030000u);
    }

    void segmented_upload_stops_when_server_sends_more_than_announced()
    {
        quint32 info = 0;
        SdoUpload up = SdoUpload::segmentsOnly(3, 10, info);
        QCOMPARE(up.start().frame.data[0], quint8(0x60));
        SdoStep s = up.onFrame(reply(3, { 0x00, 1, 2, 3, 4, 5, 6, 7 }));
        QCOMPARE(s.frame.data[0], quint8(0x70));
        s = up.onFrame(reply(3, { 0x10, 1, 2, 3, 4, 5, 6, 7 }));
        QVERIFY(s.finish);
        QCOMPARE(int(s.result), 5);
        QCOMPARE(up.bytes().size(), 14);
    }

    void segment_shorter_than_announced_gives_only_its_bytes()
    {
        quint32 info = 0;
        SdoUpload up = SdoUpload::segmentsOnly(3, 7, info);
        up.start();
        const SdoStep s = up.onFrame(reply(3, { 0x01, 'a', 'b' })); // says 7 bytes, carries 2
        QVERIFY(s.finish);
        QCOMPARE(int(s.result), 5);
        QCOMPARE(up.bytes(), QByteArray("ab"));
        quint32 info2 = 0;
        SdoUpload empty = SdoUpload::segmentsOnly(3, 7, info2);
        empty.start();
        QCOMPARE(int(empty.onFrame(reply(3, {})).result), 5); // an empty frame is no segment
        QVERIFY(empty.bytes().isEmpty());
    }

    void segments_only_times_out_without_abort()
    {
        quint32 info = 0;
        SdoUpload up = SdoUpload::segmentsOnly(3, 10, info);
        up.start();
        const SdoStep s = up.onTimeout();
        QVERIFY(s.finish && !s.send);
        QCOMPARE(int(s.result), 6);
    }

    void frame_builders_data()
    {
        QTest::addColumn<CanMessage>("frame");
        QTest::addColumn<uint>("id");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("nmt reset comm all") << nmtFrame(0x82, 0) << 0x000u << QByteArray::fromHex("8200");
        QTest::newRow("sync 0") << syncFrame(0) << 0x080u << QByteArray();
        QTest::newRow("sync 1") << syncFrame(1) << 0x080u << QByteArray::fromHex("01");
        QTest::newRow("lss cs b1 b2") << lssFrame(0x13, { 0, 4 }) << 0x7E5u << QByteArray::fromHex("1300040000000000");
        QTest::newRow("lss 16 bit") << lssFrame(0x15, { 0x34, 0x12 }) << 0x7E5u
                                    << QByteArray::fromHex("1534120000000000");
        QTest::newRow("lss form 5") << lssFrame32(0x51, 0x11223344, 0x80, 2, 3) << 0x7E5u
                                    << QByteArray::fromHex("5144332211800203");
        QTest::newRow("node 200 adds unchecked")
            << sdoFrame(200, 0x40, 0x1000, 0, 0) << 0x6C8u << QByteArray::fromHex("4000100000000000");
    }
    void frame_builders()
    {
        QFETCH(CanMessage, frame);
        QFETCH(uint, id);
        QFETCH(QByteArray, bytes);
        QCOMPARE(frame.id, quint32(id));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(frame.data), frame.length), bytes);
        QVERIFY(!frame.extended && !frame.remote);
    }
};

QTEST_GUILESS_MAIN(TestCanopenProtocol)
#include "tst_canopenprotocol.moc"
