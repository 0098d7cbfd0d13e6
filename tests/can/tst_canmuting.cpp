#include "canslcancommandhandler.h"
#include "command.h"
#include "slcanserver.h"

#include <QElapsedTimer>
#include <QTest>

// The 5000 ms un-mute timer, followed on one time line (it cannot be shortened).
class TestCanMuting : public QObject
{
    Q_OBJECT
private slots:
    void muted_addresses_are_cleared_together_by_the_first_timer();

private:
    int sentFrames() const;
    std::unique_ptr<SlcanServer> server;
};

int TestCanMuting::sentFrames() const
{
    int n = 0;
    for (const QByteArray &line : server->commands())
        n += line.startsWith('t');
    return n;
}

void TestCanMuting::muted_addresses_are_cleared_together_by_the_first_timer()
{
    server = std::make_unique<SlcanServer>(QList<quint8> { 1 });
    QVERIFY(server->start());
    SlcanServer otherAdapter(QList<quint8> {});
    QVERIFY(otherAdapter.start());
    auto open = [&](const SlcanServer &adapter) {
        auto h = std::make_unique<CANSlCanCommandHandler>();
        h->setComPortName(adapter.path());
        h->setMaxTimeoutMS(100);
        return h;
    };
    auto handler = open(*server);
    QVERIFY(handler->openDevice(500));
    Command toA(7, 6, 1, 0, 0), toB(8, 6, 1, 0, 0), toModule(1, 6, 1, 0, 0);
    Command reply;

    // A second handler with its timer armed is destroyed: its timer must die with it.
    {
        auto doomed = open(otherAdapter);
        QVERIFY(doomed->openDevice(500));
        doomed->doDirectRequest(&toA, &reply);
        QCOMPARE(doomed->timeoutedAddressList().size(), 1);
    }

    handler->doDirectRequest(&toA, &reply); // A times out, the timer starts: t = 0
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!reply.isValid());
    const int afterA = sentFrames();

    QTest::qWait(1000 - int(clock.elapsed()));
    handler->doDirectRequest(&toA, &reply); // t = 1 s: muted, not sent
    QVERIFY(!reply.isValid());
    QTest::qWait(30);
    QCOMPARE(sentFrames(), afterA);

    // t = 1.5 s: a manual reset, then A times out again and arms a timer of its own; the one
    // armed at t = 0 still fires at 5 s.
    QTest::qWait(1500 - int(clock.elapsed()));
    handler->resetTimeOutedDevices();
    QVERIFY(handler->timeoutedAddressList().isEmpty());
    handler->doDirectRequest(&toA, &reply);

    QTest::qWait(2000 - int(clock.elapsed()));
    handler->doDirectRequest(&toB, &reply); // t = 2 s: B times out, no new timer
    QCOMPARE(handler->timeoutedAddressList(), (QList<uchar> { 7, 8 }));

    // t = 4.8 s: a slow reply whose wait spans the timer; the un-mute must not swallow it.
    QTest::qWait(4800 - int(clock.elapsed()));
    SlcanServer::Options slow;
    slow.delayMs = 350;
    server->setOptions(slow);
    handler->setMaxTimeoutMS(600);
    handler->doDirectRequest(&toModule, &reply);
    QVERIFY(clock.elapsed() > 5000);
    QVERIFY(reply.isValid());
    QVERIFY2(handler->timeoutedAddressList().isEmpty(), // both cleared by the first timer
        qPrintable(
            QStringLiteral("%1 muted at %2 ms").arg(handler->timeoutedAddressList().size()).arg(clock.elapsed())));

    server->setOptions(SlcanServer::Options());
    handler->setMaxTimeoutMS(100);
    const int before = sentFrames();
    handler->doDirectRequest(&toA, &reply); // sent again
    QTRY_COMPARE(sentFrames(), before + 1);
    QTest::qWait(200); // the destroyed handler's timer would have fired by now
}

QTEST_GUILESS_MAIN(TestCanMuting)
#include "tst_canmuting.moc"
