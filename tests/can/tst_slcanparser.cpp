#include "slcanparser_p.h"

#include <QTest>

namespace {
struct Outcome
{
    QList<CanMessage> frames;
    int acks = 0;
    int naks = 0;
};

// Everything the parser yields for `input`, fed in pieces of `chunk` bytes.
Outcome feed(SlcanLineParser &parser, const QByteArray &input, int chunk)
{
    Outcome out;
    for (int i = 0; i < input.size(); i += chunk) {
        parser.append(input.mid(i, chunk));
        CanMessage frame;
        for (auto e = parser.next(true, frame); e != SlcanLineParser::Event::None; e = parser.next(true, frame)) {
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
} // namespace

class TestSlcanParser : public QObject
{
    Q_OBJECT
private slots:
    void frame_lines_data();
    void frame_lines();
    void malformed_lines_yield_no_frame_data();
    void malformed_lines_yield_no_frame();
    void garbage_is_dropped_and_acknowledges_and_bells_reported();
    void split_line_is_parsed_once_after_its_carriage_return_data();
    void split_line_is_parsed_once_after_its_carriage_return();
    void overlong_line_is_dropped_however_it_arrives();
    void endless_line_does_not_grow_the_buffer();
};

void TestSlcanParser::frame_lines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected"); // id, flags, length, then the eight data bytes
    QTest::newRow("t 8 bytes") << QByteArray("t00280102030405060708\r") << QByteArray("2 std 8 0102030405060708");
    QTest::newRow("T length 0") << QByteArray("T0A1B2C3D0\r") << QByteArray("a1b2c3d ext 0 0000000000000000");
    QTest::newRow("r length 0") << QByteArray("r0020\r") << QByteArray("2 std,rtr 0 0000000000000000");
    QTest::newRow("R length 3, no data") << QByteArray("R1FFFFFFF3\r")
                                         << QByteArray("1fffffff ext,rtr 3 0000000000000000");
    QTest::newRow("lower-case hex") << QByteArray("t7ff2abcd\r") << QByteArray("7ff std 2 abcd000000000000");
    QTest::newRow("length 9 is taken as 8")
        << QByteArray("t0029000102030405060708\r") << QByteArray("2 std 8 0001020304050607");
    QTest::newRow("trailing timestamp ignored")
        << QByteArray("t0021AA1234\r") << QByteArray("2 std 1 aa00000000000000");
}

void TestSlcanParser::frame_lines()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    SlcanLineParser parser;
    const Outcome out = feed(parser, line, line.size());
    QCOMPARE(out.frames.size(), 1);
    const CanMessage &m = out.frames.first();
    const QByteArray flags = QByteArray(m.extended ? "ext" : "std") + (m.remote ? ",rtr" : "");
    QCOMPARE(QByteArray::number(m.id, 16) + ' ' + flags + ' ' + QByteArray::number(m.length) + ' '
            + QByteArray(reinterpret_cast<const char *>(m.data), 8).toHex(),
        expected);
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
    // A buffer exactly the line's size, so a read past it shows under AddressSanitizer.
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

void TestSlcanParser::garbage_is_dropped_and_acknowledges_and_bells_reported()
{
    SlcanLineParser parser;
    const Outcome out = feed(parser, QByteArray("\rz\rZ\r\axy\x00#t0011AA\r!!t0021BB\r\x00", 29), 5);
    QCOMPARE(out.acks, 3);
    QCOMPARE(out.naks, 1);
    QCOMPARE(out.frames.size(), 2);
    QCOMPARE(out.frames.at(0).data[0], quint8(0xAA));
    QCOMPARE(out.frames.at(1).data[0], quint8(0xBB));
}

void TestSlcanParser::split_line_is_parsed_once_after_its_carriage_return_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("extended, 8 bytes") << QByteArray("T0A1B2C3D80102030405060708\r");
    QTest::newRow("extended, 8 bytes, time stamp") << QByteArray("T0A1B2C3D801020304050607081234\r");
}

void TestSlcanParser::split_line_is_parsed_once_after_its_carriage_return()
{
    QFETCH(QByteArray, line);
    SlcanLineParser parser;
    for (int chunk = 1; chunk < line.size(); ++chunk) {
        const Outcome out = feed(parser, line + line, chunk);
        QCOMPARE(out.frames.size(), 2);
        QCOMPARE(out.frames.at(1).id, 0x0A1B2C3Du);
        QCOMPARE(out.frames.at(1).data[7], quint8(8));
    }
}

void TestSlcanParser::overlong_line_is_dropped_however_it_arrives()
{
    // Its letter is dropped and the rest read as what lies between lines: one acknowledge.
    const QByteArray input = QByteArray("t0011AA") + QByteArray(30, '0') + "\rt0021BB\r";
    for (int chunk = 1; chunk <= input.size(); ++chunk) {
        SlcanLineParser parser;
        const Outcome out = feed(parser, input, chunk);
        QCOMPARE(out.acks, 1);
        QCOMPARE(out.frames.size(), 1);
        QCOMPARE(out.frames.first().id, 0x002u);
    }
}

void TestSlcanParser::endless_line_does_not_grow_the_buffer()
{
    SlcanLineParser parser;
    feed(parser, QByteArray("t") + QByteArray(10000, '0'), 255);
    QVERIFY(parser.pending() <= SlcanLineParser::MaxLineLength + 1);
    QCOMPARE(feed(parser, QByteArray("\rt0011AA\r"), 64).frames.size(), 1);
}

QTEST_GUILESS_MAIN(TestSlcanParser)
#include "tst_slcanparser.moc"
