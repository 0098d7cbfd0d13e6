#include "slcanparser_p.h"

#include <QTest>

Q_DECLARE_METATYPE(SlcanLineParser::Event)

namespace {
// Everything the parser yields for `input`, fed in pieces of `chunk` bytes.
struct Outcome
{
    QList<CanMessage> frames;
    int acks = 0;
    int naks = 0;
};

Outcome feed(SlcanLineParser &parser, const QByteArray &input, int chunk, bool framesEnabled = true)
{
    Outcome out;
    for (int i = 0; i < input.size(); i += chunk) {
        parser.append(input.mid(i, chunk));
        CanMessage frame;
        for (;;) {
            const auto e = parser.next(framesEnabled, frame);
            if (e == SlcanLineParser::Event::None)
                break;
            if (e == SlcanLineParser::Event::Ack)
                ++out.acks;
            else if (e == SlcanLineParser::Event::Nak)
                ++out.naks;
            else
                out.frames << frame;
        }
    }
    return out;
}

CanMessage message(quint32 id, bool extended, bool remote, const QByteArray &data, int length = -1)
{
    CanMessage m;
    m.id = id;
    m.extended = extended;
    m.remote = remote;
    m.setData(data.constData(), data.size());
    if (length >= 0)
        m.length = length;
    return m;
}
} // namespace

class TestSlcanParser : public QObject
{
    Q_OBJECT
private slots:
    void frame_lines_data();
    void frame_lines();
    void malformed_lines_yield_no_frame_data();
    void malformed_lines_yield_no_frame();
    void garbage_between_lines_is_dropped_and_frames_kept();
    void acknowledges_and_bells_are_reported();
    void split_line_is_parsed_once_after_its_carriage_return();
    void lines_while_closed_are_consumed_without_frames();
    void endless_line_does_not_grow_the_buffer();
};

void TestSlcanParser::frame_lines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<CanMessage>("expected");
    QTest::newRow("t 8 bytes") << QByteArray("t00280102030405060708\r")
                               << message(0x002, false, false, QByteArray::fromHex("0102030405060708"));
    QTest::newRow("T length 0") << QByteArray("T0A1B2C3D0\r") << message(0x0A1B2C3D, true, false, {});
    QTest::newRow("r length 0") << QByteArray("r0020\r") << message(0x002, false, true, {});
    QTest::newRow("R length 3, no data") << QByteArray("R1FFFFFFF3\r") << message(0x1FFFFFFF, true, true, {}, 3);
    QTest::newRow("lower-case hex") << QByteArray("t7ff2abcd\r")
                                    << message(0x7FF, false, false, QByteArray("\xab\xcd"));
    QTest::newRow("one byte") << QByteArray("t1231FF\r") << message(0x123, false, false, QByteArray("\xff"));
    QTest::newRow("length 9 is taken as 8") << QByteArray("t0029000102030405060708\r")
                                            << message(0x002, false, false, QByteArray::fromHex("0001020304050607"));
    QTest::newRow("trailing timestamp ignored")
        << QByteArray("t0021AA1234\r") << message(0x002, false, false, QByteArray("\xaa"));
}

void TestSlcanParser::frame_lines()
{
    QFETCH(QByteArray, line);
    QFETCH(CanMessage, expected);
    SlcanLineParser parser;
    const Outcome out = feed(parser, line, line.size());
    QCOMPARE(out.frames.size(), 1);
    const CanMessage &got = out.frames.first();
    QCOMPARE(got.id, expected.id);
    QCOMPARE(got.extended, expected.extended);
    QCOMPARE(got.remote, expected.remote);
    QCOMPARE(got.length, expected.length);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.data), 8),
        QByteArray(reinterpret_cast<const char *>(expected.data), 8));
    QCOMPARE(parser.pending(), 0);
}

void TestSlcanParser::malformed_lines_yield_no_frame_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("shorter than declared length") << QByteArray("t0028AABB\r");
    QTest::newRow("length 9 but 3 bytes") << QByteArray("t0029AABBCC\r");
    QTest::newRow("no length digit") << QByteArray("t002\r");
    QTest::newRow("identifier cut short") << QByteArray("T12\r");
    QTest::newRow("letter only") << QByteArray("t\r");
    QTest::newRow("non-hex identifier") << QByteArray("tXYZ0\r");
    QTest::newRow("non-hex data") << QByteArray("t0021GG\r");
    QTest::newRow("length not a digit") << QByteArray("t002A\r");
}

void TestSlcanParser::malformed_lines_yield_no_frame()
{
    QFETCH(QByteArray, line);
    // The line lives in a buffer exactly its size so a read past it shows under AddressSanitizer.
    std::unique_ptr<char[]> exact(new char[size_t(line.size() - 1)]);
    memcpy(exact.get(), line.constData(), size_t(line.size() - 1));
    CanMessage frame;
    frame.id = 0x55;
    QVERIFY(!SlcanLineParser::parseLine(exact.get(), line.size() - 1, frame));
    QCOMPARE(frame.id, 0x55u);
    SlcanLineParser parser;
    const Outcome out = feed(parser, line + "t0011AA\r", 64);
    QCOMPARE(out.frames.size(), 1); // the good line after it still arrives
    QCOMPARE(out.frames.first().id, 0x001u);
    QCOMPARE(parser.pending(), 0);
}

void TestSlcanParser::garbage_between_lines_is_dropped_and_frames_kept()
{
    SlcanLineParser parser;
    const Outcome out = feed(parser, QByteArray("xy\x00#t0011AA\r!!t0021BB\r\x00", 23), 5);
    QCOMPARE(out.frames.size(), 2);
    QCOMPARE(out.frames.at(0).data[0], quint8(0xAA));
    QCOMPARE(out.frames.at(1).data[0], quint8(0xBB));
    QCOMPARE(out.acks, 0);
}

void TestSlcanParser::acknowledges_and_bells_are_reported()
{
    SlcanLineParser parser;
    const Outcome out = feed(parser, QByteArray("\rz\rZ\r\a"), 1);
    QCOMPARE(out.acks, 3);
    QCOMPARE(out.naks, 1);
    QCOMPARE(out.frames.size(), 0);
}

void TestSlcanParser::split_line_is_parsed_once_after_its_carriage_return()
{
    SlcanLineParser parser;
    const QByteArray line("T0A1B2C3D80102030405060708\r");
    for (int chunk = 1; chunk < line.size(); ++chunk) {
        const Outcome out = feed(parser, line + line, chunk);
        QCOMPARE(out.frames.size(), 2);
        QCOMPARE(out.frames.at(1).id, 0x0A1B2C3Du);
        QCOMPARE(out.frames.at(1).data[7], quint8(8));
    }
}

void TestSlcanParser::lines_while_closed_are_consumed_without_frames()
{
    SlcanLineParser parser;
    const Outcome closed = feed(parser, QByteArray("t0011AA\r\r"), 64, false);
    QCOMPARE(closed.frames.size(), 0);
    QCOMPARE(closed.acks, 1);
    QCOMPARE(parser.pending(), 0);
    const Outcome open = feed(parser, QByteArray("t0011AA\r"), 64, true);
    QCOMPARE(open.frames.size(), 1);
}

void TestSlcanParser::endless_line_does_not_grow_the_buffer()
{
    SlcanLineParser parser;
    Outcome out = feed(parser, QByteArray("t") + QByteArray(10000, '0'), 255);
    QVERIFY(parser.pending() <= SlcanLineParser::MaxLineLength + 1);
    out = feed(parser, QByteArray("\rt0011AA\r"), 64);
    QCOMPARE(out.frames.size(), 1);
}

QTEST_GUILESS_MAIN(TestSlcanParser)
#include "tst_slcanparser.moc"
