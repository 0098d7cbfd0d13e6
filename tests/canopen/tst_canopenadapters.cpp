// One vendor's CANopen handler through the real loader against that vendor's fake library,
// with the node model on the fake's bus. Built once per vendor (CH_VENDOR_*).
#include "../canvendors/fakecontrol.h"
#include "canopenesdcommandhandler.h"
#include "canopenixxatcommandhandler.h"
#include "canopenkvasercommandhandler.h"
#include "canopennode.h"
#include "canopenpeakcommandhandler.h"

#include <QTimer>
#include <QtTest>
#include <memory>

#if defined(CH_VENDOR_KVASER)
using Handler = CANopenKvaserCommandHandler;
static const char *const kFake = "libcanlib.so.1";
static const int kSyncLength = 0;
static const bool kEsd = false, kIxxat = false;
static const char *const kName = "CANopen Kvaser";
#elif defined(CH_VENDOR_PEAK)
using Handler = CANopenPeakCommandHandler;
static const char *const kFake = "libpcanbasic.so";
static const int kSyncLength = 1;
static const bool kEsd = false, kIxxat = false;
static const char *const kName = "CANopen PEAK";
#elif defined(CH_VENDOR_ESD)
using Handler = CANopenEsdCommandHandler;
static const char *const kFake = "libntcan.so.4";
static const int kSyncLength = 0;
static const bool kEsd = true, kIxxat = false;
static const char *const kName = "CANopen ESD";
#else
using Handler = CANopenIxxatCommandHandler;
static const char *const kFake = "libvciapi.so";
static const int kSyncLength = 0;
static const bool kEsd = false, kIxxat = true;
static const char *const kName = "CAN IXXAT";
#endif

class TestCanopenAdapter : public QObject
{
    Q_OBJECT
    std::unique_ptr<FakeControl> fake;
    std::unique_ptr<CanOpenNode> node;
    std::unique_ptr<Handler> h;
    QTimer poll;

    void failOpening(bool on)
    {
        if (kIxxat)
            fake->setNoDevice(on);
        else
            fake->failOpen(on);
    }

private slots:
    void init()
    {
        fake.reset(new FakeControl(kFake));
        QVERIFY2(fake->isValid(), kFake);
        node.reset(new CanOpenNode(5));
        node->attachTo(*fake->bus());
        h.reset(new Handler);
        h->setSDOTimeout(150);
        connect(&poll, &QTimer::timeout, h.get(), &Handler::checkForCanMessage);
        poll.start(1);
    }
    void cleanup()
    {
        poll.stop();
        h.reset();
        node.reset();
        fake.reset();
    }

    void is_named_and_castable()
    {
        QCOMPARE(h->objectName(), QString::fromLatin1(kName));
        QCOMPARE(h->getDeviceName(), QString::fromLatin1(kName));
        QCOMPARE(h->getDataRate(), 1000);
        QObject *o = h.get();
        QVERIFY(qobject_cast<CANopenHandlerInterface *>(o) != nullptr);
        QVERIFY(o->qt_metacast(CANopenHandlerInterface_iid) == o);
    }

    void opens_transfers_and_closes()
    {
        QVERIFY(h->openDevice(QVariant(500)));
        QVERIFY(h->isDeviceOpen());
        unsigned int code = 0;
        QCOMPARE(h->SDOWrite(5, 0x2000, 0, (unsigned char)4, 0x01020304, code), (unsigned char)1);
        QVariant value;
        QCOMPARE(h->SDORead(5, 0x1008, 0, value, code), (unsigned char)1);
        QCOMPARE(value.toByteArray(), QByteArray("ZAPL CANopen node"));
        QCOMPARE(h->SDORead(5, 0x2000, 0, value, code), (unsigned char)1);
        QCOMPARE(value.toInt(), 0x01020304);
        QVERIFY(h->closeDevice());
        QVERIFY(!h->isDeviceOpen());
        QCOMPARE(h->SDORead(5, 0x2000, 0, value, code), (unsigned char)5); // closed: nothing goes out
    }

    void open_failure_leaves_it_closed()
    {
        failOpening(true);
        QVERIFY(!h->openDevice(QVariant(1000)));
        QVERIFY(!h->isDeviceOpen());
        failOpening(false);
        QVERIFY(h->reopenDevice());
        QVERIFY(h->isDeviceOpen());
    }

    void sync_has_the_adapter_length()
    {
        QVERIFY(h->openDevice(QVariant(1000)));
        BusSpy spy(fake->bus());
        h->SYNCPulse();
        QCOMPARE(spy.count, 1);
        QCOMPARE(spy.last.id, 0x080u);
        QCOMPARE(int(spy.last.length), kSyncLength);
    }

    void report_order_follows_the_adapter()
    {
        QVERIFY(h->openDevice(QVariant(1000)));
        BusSpy spy(fake->bus());
        QList<int> onBusWhenReported;
        connect(h.get(), &CANopenHandlerInterface::logSentCanMessage, this,
            [&](CanMessage &) { onBusWhenReported << spy.count; });
        h->NMTStart(5); // always sent first
        h->SYNCPulse(); // reported first except on esd
        h->LSSSend((unsigned char)0x04, (unsigned char)0);
        h->PDOTransmit(0x205, QByteArray::fromHex("01")); // always reported first
        const QList<int> expected = kEsd ? QList<int> { 1, 2, 3, 3 } : QList<int> { 1, 1, 2, 3 };
        QCOMPARE(onBusWhenReported, expected);
    }

    void refused_frames_end_sdo_with_error_and_esd_does_not_report_them()
    {
        QVERIFY(h->openDevice(QVariant(1000)));
        fake->refuseSend(true);
        int reported = 0;
        connect(h.get(), &CANopenHandlerInterface::countSentCanMessage, this, [&] { ++reported; });
        unsigned int code = 0;
        QCOMPARE(h->SDOWrite(5, 0x2000, 0, (unsigned char)4, 1, code), (unsigned char)5);
        QCOMPARE(reported, 1); // SDO frames are reported before the send
        h->NMTStart(5);
        h->SYNCPulse();
        QCOMPARE(reported, kEsd ? 1 : 3);
    }

    void rejected_frame_replaces_last_frame_except_on_ixxat()
    {
        QVERIFY(h->openDevice(QVariant(1000)));
        poll.stop();
        while (fake->bus()->pending())
            h->checkForCanMessage();
        h->filterEnable(true);
        injectFrame(fake->bus(), 0x705, 1, QByteArray(1, '\x7f'));
        h->checkForCanMessage();
        QCOMPARE(h->lastReceivedFrame().id, 0x705u);
        int reported = 0;
        connect(h.get(), &CANopenHandlerInterface::receivedCanMessage, this, [&](CanMessage &) { ++reported; });
        injectFrame(fake->bus(), 0x680, 2, QByteArray("\x01\x02", 2));
        h->checkForCanMessage();
        QCOMPARE(reported, 0);
        QCOMPARE(h->lastReceivedFrame().id, kIxxat ? 0x705u : 0x680u);
    }

    void boot_up_of_node_is_received_once_open()
    {
        QVERIFY(h->openDevice(QVariant(1000)));
        fake->bus()->clear(); // the boot-up sent when the node joined the bus
        int boots = 0;
        connect(h.get(), &CANopenHandlerInterface::receivedCanMessage, this,
            [&](CanMessage &m) { boots += (m.id == 0x705 && m.length == 1 && m.data[0] == 0) ? 1 : 0; });
        h->NMTResetAppl(0);
        QTRY_COMPARE(boots, 1);
    }
};

QTEST_GUILESS_MAIN(TestCanopenAdapter)
#include "tst_canopenadapters.moc"
