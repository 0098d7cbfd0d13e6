// The SDO transfers frame by frame, without a bus or an event loop.
#include "canopenprotocol_p.h"

#include <QtTest>

using namespace canopen;

static CanMessage reply(const QByteArray &bytes, quint32 id = 0x583)
{
    CanMessage m;
    m.id = id;
    m.setData(bytes.constData(), bytes.size());
    return m;
}

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
        const SdoStep s = up.onFrame(reply(frame));
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
        QVERIFY(!dl.onFrame(reply(QByteArray::fromHex("60002001"), 0x584)).finish);
        QVERIFY(!dl.onFrame(reply(QByteArray::fromHex("60012001"))).finish);
        QVERIFY(!dl.onFrame(reply(QByteArray::fromHex("600020"))).finish); // too short to be the answer
        const SdoStep s = dl.onFrame(reply(QByteArray::fromHex("60002001")));
        QVERIFY(s.finish);
        QCOMPARE(int(s.result), 1);
    }

    void segmented_download_abort_in_segment_phase()
    {
        quint32 code = 0;
        SdoSegmentedDownload dl(3, 0x2001, 0, 20, QByteArray(20, 'a'), code);
        dl.start();
        QCOMPARE(dl.onFrame(reply(QByteArray::fromHex("60012000"))).frame.data[0], quint8(0x00));
        const SdoStep s = dl.onFrame(reply(QByteArray::fromHex("8001200000000305")));
        QVERIFY(s.finish && !s.send);
        QCOMPARE(int(s.result), 3);
        QCOMPARE(code, 0x05030000u);
    }

    void segments_only_upload_data()
    {
        QTest::addColumn<int>("announced");
        QTest::addColumn<QByteArrayList>("segments");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("more than announced")
            << 10 << QByteArrayList { QByteArray::fromHex("0001020304050607"), QByteArray::fromHex("1001020304050607") }
            << QByteArray::fromHex("0102030405060701020304050607");
        QTest::newRow("shorter than announced") << 7
                                                << QByteArrayList { QByteArray("\x01"
                                                                               "ab") }
                                                << QByteArray("ab");
        QTest::newRow("empty frame is no segment") << 7 << QByteArrayList { QByteArray() } << QByteArray();
    }
    void segments_only_upload()
    {
        QFETCH(int, announced);
        QFETCH(QByteArrayList, segments);
        QFETCH(QByteArray, bytes);
        quint32 info = 0;
        SdoUpload up = SdoUpload::segmentsOnly(3, quint32(announced), info);
        SdoStep s = up.start();
        for (int i = 0; i < segments.size(); ++i) {
            QVERIFY(!s.finish);
            QCOMPARE(s.frame.data[0], quint8(i % 2 ? 0x70 : 0x60));
            s = up.onFrame(reply(segments[i]));
        }
        QVERIFY(s.finish);
        QCOMPARE(int(s.result), 5);
        QCOMPARE(up.bytes(), bytes);
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
