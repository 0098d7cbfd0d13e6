// One vendor's CANopen handler through the real loader against that vendor's fake library,
// with the node model on the fake's bus. Built once per vendor (CH_VENDOR_*).
#include "../canvendors/fakecontrol.h"
#include "canopenesdcommandhandler.h"
#include "canopenixxatcommandhandler.h"
#include "canopenkvasercommandhandler.h"
#include "canopennode.h"
#include "canopenpeakcommandhandler.h"
#include "peaklibrary_p.h"

#include <QTimer>
#include <QtTest>
#include <memory>

struct Vendor
{
    const char *fake;
    int syncLength;
    bool esd, ixxat;
    const char *name;
};
#if defined(CH_VENDOR_KVASER)
using Handler = CANopenKvaserCommandHandler;
static const Vendor kV { "libcanlib.so.1", 0, false, false, "CANopen Kvaser" };
#elif defined(CH_VENDOR_PEAK)
using Handler = CANopenPeakCommandHandler;
static const Vendor kV { "libpcanbasic.so", 1, false, false, "CANopen PEAK" };
#elif defined(CH_VENDOR_ESD)
using Handler = CANopenEsdCommandHandler;
static const Vendor kV { "libntcan.so.4", 0, true, false, "CANopen ESD" };
#else
using Handler = CANopenIxxatCommandHandler;
static const Vendor kV { "libvciapi.so", 0, false, true, "CAN IXXAT" };
#endif

// Counts the frames the host puts on the bus.
struct FrameLog : SimCanNode
{
    explicit FrameLog(SimCanBus *bus) : bus(bus) { bus->attach(this); }
    ~FrameLog() override { bus->detach(this); }
    void receive(const SimCanFrame &frame, SimCanBus &) override { frames << frame; }
    SimCanBus *bus;
    QList<SimCanFrame> frames;
};

class TestCanopenAdapter : public QObject
{
    Q_OBJECT
    std::unique_ptr<FakeControl> fake;
    std::unique_ptr<CanOpenNode> node;
    std::unique_ptr<Handler> h;
    QTimer poll;

    void failOpening(bool on)
    {
        if (kV.ixxat)
            fake->setNoDevice(on);
        else
            fake->failOpen(on);
    }

private slots:
    void init()
    {
        fake.reset(new FakeControl(kV.fake));
        QVERIFY2(fake->isValid(), kV.fake);
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
        QCOMPARE(h->objectName(), QString::fromLatin1(kV.name));
        QCOMPARE(h->getDeviceName(), QString::fromLatin1(kV.name));
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

    void frames_reach_the_bus_in_the_adapter_report_order()
    {
        QVERIFY(h->openDevice(QVariant(1000)));
        FrameLog bus(fake->bus());
        QList<int> onBusWhenReported;
        connect(h.get(), &CANopenHandlerInterface::logSentCanMessage, this,
            [&](CanMessage &) { onBusWhenReported << bus.frames.size(); });
        h->NMTStart(5); // always sent first
        h->SYNCPulse(); // reported first except on esd
        h->LSSSend((unsigned char)0x04, (unsigned char)0);
        h->PDOTransmit(0x205, QByteArray::fromHex("01")); // always reported first
        QCOMPARE(onBusWhenReported, (kV.esd ? QList<int> { 1, 2, 3, 3 } : QList<int> { 1, 1, 2, 3 }));
        QCOMPARE(bus.frames.size(), 4);
        QCOMPARE(bus.frames[1].id, 0x080u);
        QCOMPARE(int(bus.frames[1].length), kV.syncLength);
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
        QCOMPARE(reported, kV.esd ? 1 : 3);
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
        QCOMPARE(h->lastReceivedFrame().id, kV.ixxat ? 0x705u : 0x680u);
    }

#if defined(CH_VENDOR_PEAK)
    void failed_open_never_releases_a_channel_held_elsewhere()
    {
        Handler holder;
        QVERIFY(holder.openDevice(QVariant(1000)));
        fake->failOpen(true); // as the driver answers for a channel initialised already
        QVERIFY(!h->openDevice(QVariant(1000)));
        fake->failOpen(false);
        QVERIFY(h->reopenDevice());
        QCOMPARE(fake->callCount("CAN_Uninitialize"), 0);
    }

    void library_records_are_reported_as_frames()
    {
        CanMessage sent, received;
        connect(h.get(), &CANopenHandlerInterface::logSentCanMessage, this, [&](CanMessage &m) { sent = m; });
        connect(h.get(), &CANopenHandlerInterface::receivedPDO, this, [&](CanMessage &m) { received = m; });
        tagTPCANMsg record;
        record.id = 0x185;
        record.length = 2;
        record.data[0] = 0xAB;
        h->emitSentCanMessage(&record);
        h->emitReceivedCanMessage(&record);
        QCOMPARE(sent.id, 0x185u);
        QCOMPARE(received.length, 2);
        QCOMPARE(received.data[0], quint8(0xAB));
    }
#elif defined(CH_VENDOR_ESD)
    void library_records_are_reported_as_frames()
    {
        CanMessage sent;
        int counted = 0;
        connect(h.get(), &CANopenHandlerInterface::logSentCanMessage, this, [&](CanMessage &m) { sent = m; });
        connect(h.get(), &CANopenHandlerInterface::countSentCanMessage, this, [&] { ++counted; });
        Handler::CMSG record = { 0x605, 8, 0, { 0, 0 }, { 0x40, 0x08, 0x10, 0, 0, 0, 0, 0 } };
        h->emitSentCanMessage(&record);
        QCOMPARE(counted, 1);
        QCOMPARE(sent.id, 0x605u);
        QCOMPARE(sent.length, 8);
        QCOMPARE(sent.data[1], quint8(0x08));
    }
#endif
};

QTEST_GUILESS_MAIN(TestCanopenAdapter)
#include "tst_canopenadapters.moc"
