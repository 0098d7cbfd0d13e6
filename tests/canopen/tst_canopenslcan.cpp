// The SLCAN CANopen handler over a pseudo-terminal to the SLCAN simulator with the node model.
#include "canopennode.h"
#include "canopenslcancommandhandler.h"
#include "slcanserver.h"

#include <QTimer>
#include <QtTest>
#include <memory>

class TestCanopenSlcan : public QObject
{
    Q_OBJECT
    std::unique_ptr<SlcanServer> server;
    std::unique_ptr<CanOpenNode> node;
    std::unique_ptr<CANopenSlCanCommandHandler> h;
    QTimer poll;

private slots:
    void init()
    {
        server.reset(new SlcanServer({}));
        if (!server->start())
            QSKIP("no pseudo-terminal available");
        node.reset(new CanOpenNode(5));
        node->attachTo(server->bus());
        h.reset(new CANopenSlCanCommandHandler);
        h->setComPortName(server->path());
        h->setSDOTimeout(300);
        connect(&poll, &QTimer::timeout, h.get(), &CANopenSlCanCommandHandler::checkForCanMessage);
        poll.start(1);
    }
    void cleanup()
    {
        poll.stop();
        h.reset();
        node.reset();
        if (server)
            server->stop();
        server.reset();
    }

    void opens_with_rate_and_transfers()
    {
        QCOMPARE(h->objectName(), QStringLiteral("CAN slCan"));
        QVERIFY(h->openDevice(QVariant(250)));
        QCOMPARE(h->getDataRate(), 250);
        QTRY_VERIFY(server->isChannelOpen());
        QCOMPARE(server->bitrateCode(), 5);
        unsigned int code = 0;
        QByteArray data(40, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i);
        QCOMPARE(h->SDOWrite(5, 0x2001, 0, unsigned(data.size()), data, code), (unsigned char)1);
        QVariant value;
        QCOMPARE(h->SDORead(5, 0x2001, 0, value, code), (unsigned char)1);
        QCOMPARE(value.toByteArray(), data);
        h->NMTStart(5);
        QTRY_COMPARE(node->state(), CanOpenNode::NmtState::Operational);
        QList<CanMessage> sent;
        connect(h.get(), &CANopenHandlerInterface::logSentCanMessage, this, [&](CanMessage &m) { sent << m; });
        h->SYNCPulse(); // SLCAN sends SYNC with the byte 0x01
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().length, 1);
        QCOMPARE(sent.first().data[0], quint8(0x01));
        QVERIFY(h->closeDevice());
        QVERIFY(!h->closeDevice()); // already closed
    }

    void ack_wait_does_not_lose_replies()
    {
        h->setAckNakUsage(true);
        QVERIFY(h->openDevice(QVariant(1000)));
        unsigned int code = 0;
        QVariant value;
        QCOMPARE(h->SDORead(5, 0x1000, 0, value, code), (unsigned char)1);
        QCOMPARE(value.toInt(), 0x00020192);
    }

    void unlisted_rate_and_missing_port_fail()
    {
        QVERIFY(!h->openDevice(QVariant(83)));
        QVERIFY(!h->isDeviceOpen());
        h->setDataRate(500); // no effect on SLCAN
        QCOMPARE(h->getDataRate(), 1000);
        h->setComPortName(QStringLiteral("/nonexistent/tty"));
        QVERIFY(!h->openDevice(QVariant(1000)));
        QVERIFY(!h->isDeviceOpen());
    }

    void unplugged_adapter_is_reported_and_services_fail_at_once()
    {
        QVERIFY(h->openDevice(QVariant(1000)));
        QSignalSpy detached(h.get(), &CANopenHandlerInterface::handleDetachedDevice);
        server->unplug();
        QTRY_COMPARE(detached.size(), 1);
        QCOMPARE(detached.at(0).at(0).toInt(), 15); // CANopen_SLCAN
        QVERIFY(!h->isDeviceOpen());
        QElapsedTimer clock;
        clock.start();
        unsigned int code = 0;
        QVariant value;
        QCOMPARE(h->SDORead(5, 0x1000, 0, value, code), (unsigned char)5); // nothing can go out
        QVERIFY(clock.elapsed() < 100);
    }
};

QTEST_GUILESS_MAIN(TestCanopenSlcan)
#include "tst_canopenslcan.moc"
