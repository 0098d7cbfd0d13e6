// The services against the node model (and a scripted peer for replies the model never gives),
// over an in-process bus polled like a host would.
#include "canopennode.h"
#include "simbushandler.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {
constexpr quint8 kNode = 5;

QList<CanMessage> requestsTo(const SimBusHandler &h, quint32 id)
{
    QList<CanMessage> out;
    for (const CanMessage &m : h.sent) {
        if (m.id == id)
            out << m;
    }
    return out;
}
} // namespace

class TestCanopenServices : public QObject
{
    Q_OBJECT
    SimCanBus *bus = nullptr;
    CanOpenNode *node = nullptr;
    SimBusHandler *h = nullptr;

private slots:
    void init()
    {
        bus = new SimCanBus;
        node = new CanOpenNode(kNode);
        node->attachTo(*bus);
        h = new SimBusHandler(*bus);
        h->setSDOTimeout(150);
    }
    void cleanup()
    {
        delete h;
        delete node;
        delete bus;
    }

    void expedited_write_then_read_round_trips()
    {
        unsigned int abortCode = 77;
        QCOMPARE(h->SDOWrite(kNode, 0x2000, 0, (unsigned char)4, int(0x12345678), abortCode), (unsigned char)1);
        QCOMPARE(abortCode, 0u);
        QCOMPARE(node->entry(0x2000, 0), QByteArray::fromHex("78563412"));
        QVariant value;
        unsigned int info = 0;
        QCOMPARE(h->SDORead(kNode, 0x2000, 0, value, info), (unsigned char)1);
        QCOMPARE(value.toInt(), 0x12345678);
        QCOMPARE(info, 4u);
        QVERIFY(!h->isBusy());
    }

    void expedited_write_with_size_2_sends_only_two_value_bytes()
    {
        unsigned int abortCode = 0;
        QCOMPARE(h->SDOWrite(kNode, 0x2003, 0, (unsigned char)2, int(0x0A0B0C0D), abortCode), (unsigned char)1);
        const CanMessage req = requestsTo(*h, 0x605).first();
        QCOMPARE(req.data[0], quint8(0x2B));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(req.data + 4), 4), QByteArray::fromHex("0d0c0000"));
    }

    void expedited_write_of_bad_size_sends_nothing_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("0") << 0;
        QTest::newRow("5") << 5;
    }
    void expedited_write_of_bad_size_sends_nothing()
    {
        QFETCH(int, size);
        unsigned int abortCode = 9;
        QCOMPARE(h->SDOWrite(kNode, 0x2000, 0, (unsigned char)size, 1, abortCode), (unsigned char)2);
        QVERIFY(h->sent.isEmpty());
        QCOMPARE(abortCode, 9u);
    }

    void write_to_read_only_object_is_aborted_with_its_code()
    {
        unsigned int abortCode = 0;
        QCOMPARE(h->SDOWrite(kNode, 0x1000, 0, (unsigned char)4, 1, abortCode), (unsigned char)3);
        QCOMPARE(abortCode, CanOpenNode::kAbortReadOnly);
        QCOMPARE(h->SDOWrite(kNode, 0x2000, 0, (unsigned char)2, 1, abortCode), (unsigned char)3);
        QCOMPARE(abortCode, CanOpenNode::kAbortLength);
        QCOMPARE(h->SDOWrite(kNode, 0x1000, 0, 20u, QByteArray(20, 'x'), abortCode), (unsigned char)3);
        QCOMPARE(abortCode, CanOpenNode::kAbortReadOnly);
    }

    void read_of_unknown_object_is_aborted_and_value_kept()
    {
        QVariant value(QStringLiteral("kept"));
        unsigned int info = 0;
        QCOMPARE(h->SDORead(kNode, 0x5555, 0, value, info), (unsigned char)4);
        QCOMPARE(info, CanOpenNode::kAbortNoObject);
        QCOMPARE(value.toString(), QStringLiteral("kept"));
        QCOMPARE(h->SDORead(kNode, 0x1018, 9, value, info), (unsigned char)4);
        QCOMPARE(info, CanOpenNode::kAbortNoSubIndex);
    }

    void segmented_download_segment_bytes_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("firstBytes");
        QTest::newRow("7 bytes") << 7 << QByteArray::fromHex("01");
        QTest::newRow("8 bytes") << 8 << QByteArray::fromHex("001d");
        QTest::newRow("0 bytes") << 0 << QByteArray::fromHex("0f");
        QTest::newRow("14 bytes") << 14 << QByteArray::fromHex("0011");
        QTest::newRow("15 bytes") << 15 << QByteArray::fromHex("00100d");
    }
    void segmented_download_segment_bytes()
    {
        QFETCH(int, size);
        QFETCH(QByteArray, firstBytes);
        QByteArray data;
        for (int i = 0; i < size; ++i)
            data.append(char(0x30 + i));
        unsigned int abortCode = 5;
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, unsigned(size), data, abortCode), (unsigned char)1);
        QCOMPARE(abortCode, 0u);
        const QList<CanMessage> frames = requestsTo(*h, 0x605);
        QCOMPARE(frames.first().data[0], quint8(0x21));
        QCOMPARE(le(frames.first()), quint32(size));
        QByteArray commands;
        for (int i = 1; i < frames.size(); ++i)
            commands.append(char(frames[i].data[0]));
        QCOMPARE(commands, firstBytes);
        QCOMPARE(node->entry(0x2001, 0), data);
    }

    void segmented_download_pads_to_size()
    {
        unsigned int abortCode = 0;
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, 10u, QByteArray("abc"), abortCode), (unsigned char)1);
        QCOMPARE(node->entry(0x2001, 0), QByteArray("abc") + QByteArray(7, '\0'));
        // and size shorter than the data sends only `size` bytes
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, 2u, QByteArray("abcdef"), abortCode), (unsigned char)1);
        QCOMPARE(node->entry(0x2001, 0), QByteArray("ab"));
    }

    void download_with_wrong_toggle_reply_ends_with_error()
    {
        node->setFault(CanOpenNode::Fault::WrongToggle);
        unsigned int abortCode = 1;
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, 20u, QByteArray(20, 'z'), abortCode), (unsigned char)5);
        QCOMPARE(requestsTo(*h, 0x605).size(), 2); // initiate and the first segment, no more
        QVERIFY(!h->isBusy());
    }

    void segmented_upload_returns_bytes_and_size()
    {
        QVariant value;
        unsigned int info = 0;
        QCOMPARE(h->SDORead(kNode, 0x1008, 0, value, info), (unsigned char)1);
        QCOMPARE(value.toByteArray(), QByteArray("ZAPL CANopen node"));
        QCOMPARE(info, 17u);
        const QList<CanMessage> frames = requestsTo(*h, 0x605);
        QCOMPARE(frames.size(), 4);
        QCOMPARE(frames[1].data[0], quint8(0x60));
        QCOMPARE(frames[2].data[0], quint8(0x70));
        QCOMPARE(frames[3].data[0], quint8(0x60));
    }

    void segmented_upload_of_wrong_size_keeps_the_bytes()
    {
        node->setFault(CanOpenNode::Fault::WrongSize);
        QVariant value;
        unsigned int info = 0;
        QCOMPARE(h->SDORead(kNode, 0x1008, 0, value, info), (unsigned char)5);
        QCOMPARE(value.toByteArray(), QByteArray("ZAPL CANopen node"));
    }

    void segmented_upload_with_wrong_last_toggle_fails()
    {
        node->setEntry(0x2001, 0, QByteArray("0123456"), true, 0); // one segment, its toggle checked
        node->setFault(CanOpenNode::Fault::WrongToggle);
        QVariant value;
        unsigned int info = 0;
        QCOMPARE(h->SDORead(kNode, 0x2001, 0, value, info), (unsigned char)5);
        QCOMPARE(value.toByteArray(), QByteArray("0123456"));
    }

    void upload_of_empty_domain_is_done_with_no_bytes()
    {
        QVariant value;
        unsigned int info = 9;
        QCOMPARE(h->SDORead(kNode, 0x2001, 0, value, info), (unsigned char)1);
        QCOMPARE(value.toByteArray(), QByteArray());
        QCOMPARE(info, 0u);
    }

    void large_segmented_transfers_round_trip()
    {
        QByteArray data(4096, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i * 7);
        unsigned int code = 0;
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, unsigned(data.size()), data, code), (unsigned char)1);
        QVariant value;
        QCOMPARE(h->SDORead(kNode, 0x2001, 0, value, code), (unsigned char)1);
        QCOMPARE(value.toByteArray(), data);
    }

    void server_abort_on_initiate_ends_each_transfer()
    {
        node->setFault(CanOpenNode::Fault::Abort, 0x08000020);
        unsigned int code = 0;
        QCOMPARE(h->SDOWrite(kNode, 0x2000, 0, (unsigned char)1, 1, code), (unsigned char)3);
        QCOMPARE(code, 0x08000020u);
        code = 0;
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, 9u, QByteArray(9, 'a'), code), (unsigned char)3);
        QCOMPARE(code, 0x08000020u);
        QVariant value;
        QCOMPARE(h->SDORead(kNode, 0x2000, 0, value, code), (unsigned char)4);
        QCOMPARE(code, 0x08000020u);
        QCOMPARE(requestsTo(*h, 0x605).size(), 3); // no frame answers an abort
    }

    void silence_times_out_with_abort_frame_except_segmented_initiate()
    {
        node->setFault(CanOpenNode::Fault::Silent);
        QVariant value;
        unsigned int code = 123;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(h->SDORead(kNode, 0x2000, 1, value, code), (unsigned char)6);
        QVERIFY(clock.elapsed() >= 140);
        QCOMPARE(code, 123u);
        QList<CanMessage> frames = requestsTo(*h, 0x605);
        QCOMPARE(frames.size(), 2);
        QCOMPARE(
            QByteArray(reinterpret_cast<const char *>(frames[1].data), 8), QByteArray::fromHex("8000200100000405"));

        h->sent.clear();
        QCOMPARE(h->SDOWrite(kNode, 0x2000, 0, (unsigned char)4, 1, code), (unsigned char)6);
        QCOMPARE(code, 123u);
        QCOMPARE(requestsTo(*h, 0x605).size(), 2);
        QCOMPARE(requestsTo(*h, 0x605).last().data[0], quint8(0x80));

        h->sent.clear();
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, 3u, QByteArray("abc"), code), (unsigned char)6);
        QCOMPARE(requestsTo(*h, 0x605).size(), 1); // initiate only, no abort
        QVERIFY(!h->isBusy());
    }

    void refused_frame_ends_with_error_and_not_busy()
    {
        h->refuseFrom = 0;
        unsigned int code = 3;
        QCOMPARE(h->SDOWrite(kNode, 0x2000, 0, (unsigned char)4, 1, code), (unsigned char)5);
        QCOMPARE(code, 3u);
        QVariant value;
        QCOMPARE(h->SDORead(kNode, 0x2000, 0, value, code), (unsigned char)5);
        h->refuseFrom = 2; // the first segment
        h->sent.clear();
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, 9u, QByteArray(9, 'a'), code), (unsigned char)5);
        QVERIFY(!h->isBusy());
    }

    void busy_is_set_only_while_waiting()
    {
        bool seenBusy = false;
        connect(h, &CANopenHandlerInterface::receivedCanMessage, this,
            [&](CanMessage &) { seenBusy = seenBusy || h->isBusy(); });
        QVariant value;
        unsigned int info = 0;
        QCOMPARE(h->SDORead(kNode, 0x2000, 0, value, info), (unsigned char)1);
        QVERIFY(seenBusy);
        QVERIFY(!h->isBusy());
    }

    void frames_from_other_nodes_do_not_answer_a_request()
    {
        CanOpenNode other(6);
        other.attachTo(*bus);
        // node 6 answers a request addressed to node 6 only; inject a stray reply for node 6
        // with the same index while node 5 is asked: it must not be taken as node 5's answer.
        ScriptedNode stray;
        stray.answers << QList<SimCanFrame> { ScriptedNode::make(0x586, { 0x43, 0x00, 0x20, 0x00, 1, 1, 1, 1 }) };
        bus->attach(&stray);
        node->setEntry(0x2000, 0, QByteArray::fromHex("2a000000"), true, 4);
        QVariant value;
        unsigned int info = 0;
        QCOMPARE(h->SDORead(kNode, 0x2000, 0, value, info), (unsigned char)1);
        QCOMPARE(value.toInt(), 42);
        bus->detach(&stray);
    }

    void without_polling_every_wait_times_out()
    {
        h->stopPolling();
        QVariant value;
        unsigned int info = 0;
        QCOMPARE(h->SDORead(kNode, 0x2000, 0, value, info), (unsigned char)6);
    }

    void nmt_changes_node_state_and_reset_boots()
    {
        h->NMTStart(kNode);
        QCOMPARE(node->state(), CanOpenNode::NmtState::Operational);
        h->NMTStop(0);
        QCOMPARE(node->state(), CanOpenNode::NmtState::Stopped);
        QVariant value;
        unsigned int info = 0;
        QCOMPARE(h->SDORead(kNode, 0x2000, 0, value, info), (unsigned char)6); // stopped: no SDO
        bus->clear();
        h->NMTResetComm(kNode);
        QCOMPARE(node->state(), CanOpenNode::NmtState::PreOperational);
        SimCanFrame boot;
        QVERIFY(bus->take(boot));
        QCOMPARE(boot.id, 0x705u);
        QCOMPARE(boot.length, quint8(1));
        QCOMPARE(boot.data[0], quint8(0));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(h->sent.first().data), h->sent.first().length),
            QByteArray::fromHex("0105"));
    }

    void heartbeat_is_produced_once_configured()
    {
        unsigned int code = 0;
        int heartbeats = 0;
        connect(h, &CANopenHandlerInterface::receivedCanMessage, this, [&](CanMessage &m) {
            if (m.id == 0x705 && m.length == 1 && m.data[0] == 0x7F)
                ++heartbeats;
        });
        QCOMPARE(h->SDOWrite(kNode, 0x1017, 0, (unsigned char)2, 20, code), (unsigned char)1);
        QTRY_VERIFY_WITH_TIMEOUT(heartbeats >= 3, 2000);
    }

    void sync_brings_tpdo_and_rpdo_sets_value()
    {
        h->NMTStart(kNode);
        int pdos = 0;
        CanMessage last;
        connect(h, &CANopenHandlerInterface::receivedPDO, this, [&](CanMessage &m) {
            ++pdos;
            last = m;
        });
        h->PDOTransmit(0x205, QByteArray::fromHex("01020304"));
        h->SYNCPulse();
        QTRY_COMPARE(pdos, 1);
        QCOMPARE(last.id, 0x185u);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(last.data), last.length), QByteArray::fromHex("01020304"));
    }

    void pdo_longer_than_eight_bytes_is_refused()
    {
        h->PDOTransmit(0x205, QByteArray(9, 'x'));
        QVERIFY(h->sent.isEmpty());
        h->PDOTransmit(0x205, QByteArray(8, 'x'));
        QCOMPARE(h->sent.size(), 1);
        QCOMPARE(h->sent.first().length, 8);
    }

    void lss_inquire_identity_and_configure_node_id()
    {
        unsigned int value = 0;
        unsigned char b1 = 0, b2 = 0;
        // Not in configuration mode: no answer.
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x5A, (unsigned char)0x5A, value, b1, b2, 100u), (unsigned char)6);
        h->LSSSend((unsigned char)0x04, (unsigned char)1);
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x5A, (unsigned char)0x5A, value, b1, b2, 200u), (unsigned char)1);
        QCOMPARE(value, CanOpenNode::Identity().vendor);
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x5D, (unsigned char)0x5D, value, b1, b2, 200u), (unsigned char)1);
        QCOMPARE(value, CanOpenNode::Identity().serial);
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x11, (unsigned char)9, (unsigned char)0x11, value, b1, b2, 200u),
            (unsigned char)1);
        QCOMPARE(b1, (unsigned char)0);
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x11, (unsigned char)200, (unsigned char)0x11, value, b1, b2, 200u),
            (unsigned char)1);
        QCOMPARE(b1, (unsigned char)1);
        h->LSSSend((unsigned char)0x04, (unsigned char)0);
        h->NMTResetComm(kNode);
        QCOMPARE(node->nodeId(), quint8(9));
    }

    void lss_switch_selective_enters_configuration()
    {
        const CanOpenNode::Identity id;
        h->LSSSend((unsigned char)0x40, (unsigned int)id.vendor);
        h->LSSSend((unsigned char)0x41, (unsigned int)id.product);
        h->LSSSend((unsigned char)0x42, (unsigned int)id.revision);
        unsigned int value = 0;
        unsigned char b1 = 0, b2 = 0;
        QCOMPARE(
            h->LSSSendAndWait((unsigned char)0x43, (unsigned int)id.serial, (unsigned char)0x44, value, b1, b2, 200u),
            (unsigned char)1);
        QVERIFY(node->inLssConfiguration());
    }

    void lss_multi_answer_form_waits_full_time_data()
    {
        QTest::addColumn<int>("nodes");
        QTest::addColumn<int>("expected");
        QTest::newRow("two answers") << 2 << 1;
        QTest::newRow("no answer") << 0 << 6;
    }
    void lss_multi_answer_form_waits_full_time()
    {
        QFETCH(int, nodes);
        QFETCH(int, expected);
        CanOpenNode second(7, CanOpenNode::Identity { 1, 2, 3, 4 });
        if (nodes == 2)
            second.attachTo(*bus);
        else
            node->setFault(CanOpenNode::Fault::Silent);
        int answers = 0;
        connect(h, &CANopenHandlerInterface::receivedCanMessage, this,
            [&](CanMessage &m) { answers += m.id == 0x7E4 ? 1 : 0; });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x51, 0u, (unsigned char)0x80, (unsigned char)0, (unsigned char)0,
                     (unsigned char)0x4F, 250u),
            (unsigned char)expected);
        QVERIFY2(clock.elapsed() >= 245, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(answers, nodes);
    }

    void lss_fastscan_finds_the_serial()
    {
        // Walk the 32 bits of the serial number as a master would.
        const quint32 serial = CanOpenNode::Identity().serial;
        unsigned char r = h->LSSSendAndWait(
            (unsigned char)0x51, 0u, (unsigned char)0x80, (unsigned char)0, (unsigned char)0, (unsigned char)0x4F, 40u);
        QCOMPARE(r, (unsigned char)1);
        const CanOpenNode::Identity id;
        const quint32 parts[4] = { id.vendor, id.product, id.revision, serial };
        for (quint8 sub = 0; sub < 4; ++sub) {
            quint32 found = 0;
            for (int bit = 31; bit >= 1; --bit) {
                r = h->LSSSendAndWait((unsigned char)0x51, (unsigned int)found, (unsigned char)bit, (unsigned char)sub,
                    (unsigned char)sub, (unsigned char)0x4F, 5u);
                if (r != 1)
                    found |= 1u << bit;
            }
            // Bit 0 is settled by the confirmation, which also moves the node on.
            for (quint32 low = 0; low < 2; ++low) {
                r = h->LSSSendAndWait((unsigned char)0x51, (unsigned int)(found | low), (unsigned char)0,
                    (unsigned char)sub, (unsigned char)((sub + 1) & 3), (unsigned char)0x4F, 5u);
                if (r == 1) {
                    found |= low;
                    break;
                }
            }
            QCOMPARE(r, (unsigned char)1);
            QCOMPARE(found, parts[sub]);
        }
        QVERIFY(node->inLssConfiguration());
    }

private:
    static quint32 le(const CanMessage &m)
    {
        return quint32(m.data[4]) | quint32(m.data[5]) << 8 | quint32(m.data[6]) << 16 | quint32(m.data[7]) << 24;
    }
};

QTEST_GUILESS_MAIN(TestCanopenServices)
#include "tst_canopenservices.moc"
