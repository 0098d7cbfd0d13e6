#include "slcaninterface.h"
#include "slcanserver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {
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
    void cleanup()
    {
        slcan.reset();
        server.reset();
    }
    void open_port_wakes_the_adapter();
    void bitrate_table_data();
    void bitrate_table();
    void frames_are_sent_as_lines_data();
    void frames_are_sent_as_lines();
    void send_while_channel_closed_writes_nothing();
    void received_lines_become_frames_in_order();
    void lines_while_channel_closed_produce_no_frames();
    void acknowledge_styles_confirm_a_frame_data();
    void acknowledge_styles_confirm_a_frame();
    void reopening_an_open_port_works();

private:
    void openChannel(bool useAckNak = false);
    std::unique_ptr<SlcanServer> server;
    std::unique_ptr<SLCANInterface> slcan;
};

void TestSlcanInterface::init()
{
    server = std::make_unique<SlcanServer>(QList<quint8> {});
    QVERIFY(server->start());
    slcan = std::make_unique<SLCANInterface>();
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
    QVERIFY(!slcan->setBitrate(83)); // unlisted: refused and nothing sent
    QVERIFY(slcan->setBitrate(kbit));
    QTRY_COMPARE(server->commands().size(), 4);
    QCOMPARE(server->commands().last(), command);
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
    QTRY_COMPARE(server->commands().last(), line);
}

void TestSlcanInterface::send_while_channel_closed_writes_nothing()
{
    QVERIFY(slcan->openPort(server->path(), false));
    QVERIFY(!slcan->sendMessage(frame(1, false, false, "a")));
    // A frame line written now would reach the adapter before this command.
    QVERIFY(slcan->setBitrate(500));
    QTRY_COMPARE(server->commands().size(), 4);
    QCOMPARE(server->commands().last(), QByteArray("S6"));
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
    QVERIFY(slcan->takeMessage(m) && m.data[0] == 0xAA);
    QVERIFY(slcan->takeMessage(m) && m.extended);
    QVERIFY(slcan->takeMessage(m) && m.remote);
    QVERIFY(slcan->takeMessage(m) && m.length == 2 && m.data[1] == 0xCC);
    QVERIFY(!slcan->takeMessage(m));
}

void TestSlcanInterface::lines_while_channel_closed_produce_no_frames()
{
    SlcanServer::Options quiet;
    quiet.ack = SlcanServer::Ack::None; // only the acknowledge injected below arrives
    server->setOptions(quiet);
    openChannel();
    QVERIFY(slcan->closeChannel());
    QTRY_COMPARE(server->commands().last(), QByteArray("C"));
    QSignalSpy replies(slcan.get(), &SLCANInterface::receivedReply);
    server->inject("t0011AA\r\r");
    QTRY_COMPARE(replies.count(), 1); // the acknowledge is still seen
    CanMessage m;
    QVERIFY(!slcan->takeMessage(m));
}

void TestSlcanInterface::acknowledge_styles_confirm_a_frame_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("cr") << QByteArray("\r") << true;
    QTest::newRow("z") << QByteArray("z\r") << true;
    QTest::newRow("none times out") << QByteArray() << false;
    QTest::newRow("bell refuses") << QByteArray("\a") << false;
}

void TestSlcanInterface::acknowledge_styles_confirm_a_frame()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, confirmed);
    SlcanServer::Options quiet;
    quiet.ack = SlcanServer::Ack::None;
    server->setOptions(quiet);
    openChannel(true);
    // The answer is on the line before the frame goes out, so that it arrives within the 10 ms
    // however slowly the simulator's thread would be scheduled; it is read during the wait.
    if (!answer.isEmpty())
        server->inject(answer);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(slcan->sendMessage(frame(3, false, false, "abc")), confirmed);
    QVERIFY(!answer.isEmpty() || clock.elapsed() >= 9);
    QCOMPARE(slcan->isNakReceived(), answer == "\a");
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
