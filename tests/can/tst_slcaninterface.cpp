#include "slcaninterface.h"
#include "slcanserver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <mutex>

namespace {
// Remembers every frame the host puts on the simulated bus.
class Recorder : public SimCanNode
{
public:
    void receive(const SimCanFrame &frame, SimCanBus &) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_frames.push_back(frame);
    }
    std::vector<SimCanFrame> frames()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_frames;
    }

private:
    std::mutex m_lock;
    std::vector<SimCanFrame> m_frames;
};

CanMessage frame(quint32 id, bool extended, bool remote, const QByteArray &data)
{
    CanMessage m;
    m.id = id;
    m.extended = extended;
    m.remote = remote;
    m.setData(data.constData(), data.size());
    return m;
}
} // namespace

class TestSlcanInterface : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void open_port_wakes_the_adapter();
    void bitrate_table_data();
    void bitrate_table();
    void unlisted_bitrate_sends_nothing();
    void frames_are_sent_as_lines_data();
    void frames_are_sent_as_lines();
    void send_while_channel_closed_writes_nothing();
    void received_lines_become_frames_in_order();
    void lines_while_channel_closed_produce_no_frames();
    void acknowledge_styles_confirm_a_frame_data();
    void acknowledge_styles_confirm_a_frame();
    void bell_ends_the_acknowledge_wait_early();
    void reopening_an_open_port_works();

private:
    void openChannel(bool useAckNak = false);
    std::unique_ptr<SlcanServer> server;
    std::unique_ptr<SLCANInterface> slcan;
    std::unique_ptr<Recorder> recorderHolder;
    Recorder *recorder = nullptr;
};

void TestSlcanInterface::init()
{
    server = std::make_unique<SlcanServer>(QList<quint8> {});
    recorderHolder = std::make_unique<Recorder>();
    recorder = recorderHolder.get();
    server->bus().attach(recorder);
    QVERIFY(server->start());
    slcan = std::make_unique<SLCANInterface>();
}

void TestSlcanInterface::cleanup()
{
    slcan.reset();
    server->bus().detach(recorder);
    server.reset();
    recorderHolder.reset();
}

void TestSlcanInterface::openChannel(bool useAckNak)
{
    QVERIFY(slcan->openPort(server->path(), useAckNak));
    QVERIFY(slcan->setBitrate(500));
    QVERIFY(slcan->openChannel());
    QTRY_VERIFY(server->isChannelOpen());
}

void TestSlcanInterface::open_port_wakes_the_adapter()
{
    QVERIFY(!slcan->openPort(QStringLiteral("/nonexistent/tty"), false));
    QVERIFY(slcan->openPort(server->path(), false));
    QTRY_COMPARE(server->commands().size(), 3);
    QCOMPARE(server->commands(), (QList<QByteArray> { "\x1b", "", "" }));
}

void TestSlcanInterface::bitrate_table_data()
{
    QTest::addColumn<int>("kbit");
    QTest::addColumn<QByteArray>("command");
    const int rates[] = { 10, 20, 50, 100, 125, 250, 500, 800, 1000 };
    for (int i = 0; i < 9; ++i)
        QTest::newRow(qPrintable(QString::number(rates[i]))) << rates[i] << QByteArray("S") + QByteArray::number(i);
}

void TestSlcanInterface::bitrate_table()
{
    QFETCH(int, kbit);
    QFETCH(QByteArray, command);
    QVERIFY(slcan->openPort(server->path(), false));
    QVERIFY(slcan->setBitrate(kbit));
    QTRY_COMPARE(server->commands().size(), 4);
    QCOMPARE(server->commands().last(), command);
}

void TestSlcanInterface::unlisted_bitrate_sends_nothing()
{
    QVERIFY(slcan->openPort(server->path(), false));
    QVERIFY(!slcan->setBitrate(83));
    QVERIFY(slcan->setBitrate(800));
    QTRY_COMPARE(server->commands().size(), 4);
    QCOMPARE(server->commands().last(), QByteArray("S7"));
}

void TestSlcanInterface::frames_are_sent_as_lines_data()
{
    QTest::addColumn<CanMessage>("message");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("standard 8") << frame(0x123, false, false, QByteArray::fromHex("0102030405060708"))
                                << QByteArray("t12380102030405060708");
    QTest::newRow("standard 0") << frame(0x7FF, false, false, {}) << QByteArray("t7FF0");
    QTest::newRow("extended 1") << frame(0x1ABCDEF0, true, false, QByteArray("\xee")) << QByteArray("T1ABCDEF01EE");
    QTest::newRow("remote") << frame(0x05, false, true, QByteArray(4, 'x')) << QByteArray("r0054");
    QTest::newRow("extended remote") << frame(0x10, true, true, {}) << QByteArray("R000000100");
}

void TestSlcanInterface::frames_are_sent_as_lines()
{
    QFETCH(CanMessage, message);
    QFETCH(QByteArray, line);
    openChannel();
    QVERIFY(slcan->sendMessage(message));
    QTRY_COMPARE(recorder->frames().size(), size_t(1));
    QCOMPARE(server->commands().last(), line);
    const SimCanFrame got = recorder->frames().front();
    QCOMPARE(got.id, message.id);
    QCOMPARE(got.extended, message.extended);
    QCOMPARE(got.remote, message.remote);
    QCOMPARE(int(got.length), message.length);
}

void TestSlcanInterface::send_while_channel_closed_writes_nothing()
{
    QVERIFY(slcan->openPort(server->path(), false));
    QVERIFY(!slcan->sendMessage(frame(1, false, false, "a")));
    QTRY_COMPARE(server->commands().size(), 3);
    QTest::qWait(20);
    QCOMPARE(server->commands().size(), 3);
}

void TestSlcanInterface::received_lines_become_frames_in_order()
{
    openChannel();
    QSignalSpy received(slcan.get(), &SLCANInterface::receivedCanMessage);
    server->inject("gag#\x01t0011AA\rT1FFFFFFF0\r");
    server->inject("r0070\rt00");
    server->inject("22BBCC\r");
    QTRY_COMPARE(slcan->queuedMessages(), 4);
    QCOMPARE(received.count(), 4);
    CanMessage m;
    QVERIFY(slcan->takeMessage(m));
    QCOMPARE(m.data[0], quint8(0xAA));
    QVERIFY(slcan->takeMessage(m));
    QVERIFY(m.extended);
    QVERIFY(slcan->takeMessage(m));
    QVERIFY(m.remote);
    QVERIFY(slcan->takeMessage(m));
    QCOMPARE(m.length, 2);
    QCOMPARE(m.data[1], quint8(0xCC));
    QVERIFY(!slcan->takeMessage(m));
}

void TestSlcanInterface::lines_while_channel_closed_produce_no_frames()
{
    openChannel();
    QVERIFY(slcan->closeChannel());
    QTest::qWait(30); // the adapter's acknowledges go by first
    QSignalSpy replies(slcan.get(), &SLCANInterface::receivedReply);
    server->inject("t0011AA\r\r");
    QTRY_COMPARE(replies.count(), 1); // the acknowledge is still seen
    QCOMPARE(slcan->queuedMessages(), 0);
    CanMessage m;
    QVERIFY(!slcan->takeMessage(m));
}

void TestSlcanInterface::acknowledge_styles_confirm_a_frame_data()
{
    QTest::addColumn<int>("ack");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("cr") << int(SlcanServer::Ack::Cr) << true;
    QTest::newRow("z") << int(SlcanServer::Ack::Z) << true;
    QTest::newRow("none") << int(SlcanServer::Ack::None) << false;
}

void TestSlcanInterface::acknowledge_styles_confirm_a_frame()
{
    QFETCH(int, ack);
    QFETCH(bool, confirmed);
    SlcanServer::Options o;
    o.ack = SlcanServer::Ack(ack);
    server->setOptions(o);
    openChannel(true);
    QTest::qWait(20); // let the command acknowledges go by
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(slcan->sendMessage(frame(3, false, false, "abc")), confirmed);
    if (!confirmed)
        QVERIFY(clock.elapsed() >= 9);
    QTRY_COMPARE(recorder->frames().size(), size_t(1));
}

void TestSlcanInterface::bell_ends_the_acknowledge_wait_early()
{
    SlcanServer::Options o;
    o.bellOnFrames = true;
    server->setOptions(o);
    openChannel(true);
    QTest::qWait(20);
    QVERIFY(!slcan->sendMessage(frame(3, false, false, "abc")));
    QVERIFY(slcan->isNakReceived());
    QVERIFY(recorder->frames().empty());
}

void TestSlcanInterface::reopening_an_open_port_works()
{
    openChannel();
    QVERIFY(slcan->openPort(server->path(), false));
    QVERIFY(slcan->isPortOpen());
    QVERIFY(!slcan->isChannelOpen());
}

QTEST_GUILESS_MAIN(TestSlcanInterface)
#include "tst_slcaninterface.moc"
