// The services against the node model over an in-process bus polled like a host would.
#include "canopennode.h"
#include "simbushandler.h"

#include <QElapsedTimer>
#include <QtEndian>
#include <QtTest>

constexpr quint8 kNode = 5;

class TestCanopenServices : public QObject
{
    Q_OBJECT
    SimCanBus *bus = nullptr;
    CanOpenNode *node = nullptr;
    SimBusHandler *h = nullptr;
    QVariant value;
    unsigned int code = 0;

    unsigned char read(quint16 index, quint8 sub) { return h->SDORead(kNode, index, sub, value, code); }
    QList<CanMessage> requests() const
    {
        QList<CanMessage> out;
        for (const CanMessage &m : h->sent) {
            if (m.id == 0x600u + kNode)
                out << m;
        }
        return out;
    }

private slots:
    void init()
    {
        bus = new SimCanBus;
        node = new CanOpenNode(kNode);
        node->attachTo(*bus);
        h = new SimBusHandler(*bus);
        h->setSDOTimeout(150);
        value = QVariant();
        code = 0;
    }
    void cleanup()
    {
        delete h;
        delete node;
        delete bus;
    }

    void expedited_write_frame_and_read_back_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("frame"); // empty: nothing may be sent
        QTest::newRow("1 byte") << 0x2002 << 1 << 1 << QByteArray::fromHex("2f0220000d000000");
        QTest::newRow("2 bytes") << 0x2003 << 2 << 1 << QByteArray::fromHex("2b0320000d0c0000");
        QTest::newRow("3 bytes") << 0x2004 << 3 << 1 << QByteArray::fromHex("270420000d0c0b00");
        QTest::newRow("4 bytes") << 0x2000 << 4 << 1 << QByteArray::fromHex("230020000d0c0b0a");
        QTest::newRow("0 bytes") << 0x2000 << 0 << 2 << QByteArray();
        QTest::newRow("5 bytes") << 0x2000 << 5 << 2 << QByteArray();
    }
    void expedited_write_frame_and_read_back()
    {
        QFETCH(int, index);
        QFETCH(int, size);
        QFETCH(int, result);
        QFETCH(QByteArray, frame);
        code = 77;
        QCOMPARE(h->SDOWrite(kNode, quint16(index), 0, (unsigned char)size, 0x0A0B0C0D, code), (unsigned char)result);
        if (frame.isEmpty()) {
            QVERIFY(h->sent.isEmpty());
            QCOMPARE(code, 77u);
            return;
        }
        QCOMPARE(code, 0u);
        QCOMPARE(bytesOf(h->sent.first()), frame);
        QCOMPARE(node->entry(quint16(index), 0), frame.mid(4, size));
        QCOMPARE(read(quint16(index), 0), (unsigned char)1);
        QCOMPARE(value.toInt(), int(0x0A0B0C0D & (0xFFFFFFFFu >> (32 - 8 * size))));
        QCOMPARE(code, unsigned(size));
        QVERIFY(!h->isBusy());
    }

    void segmented_download_and_upload_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("segments"); // command bytes after the initiate
        QByteArray ascii, big(4096, '\0'), bigSegments;
        for (int i = 0; i < 15; ++i)
            ascii.append(char(0x30 + i));
        for (int i = 0; i < big.size(); ++i)
            big[i] = char(i * 7);
        for (int i = 0; i < 585; ++i)
            bigSegments.append(char(i % 2 ? 0x10 : 0x00));
        QTest::newRow("0 bytes") << 0 << QByteArray() << QByteArray::fromHex("0f");
        QTest::newRow("7 bytes") << 7 << ascii.left(7) << QByteArray::fromHex("01");
        QTest::newRow("8 bytes") << 8 << ascii.left(8) << QByteArray::fromHex("001d");
        QTest::newRow("14 bytes") << 14 << ascii.left(14) << QByteArray::fromHex("0011");
        QTest::newRow("15 bytes") << 15 << ascii << QByteArray::fromHex("00100d");
        QTest::newRow("padded to size") << 10 << QByteArray("abc") << QByteArray::fromHex("0019");
        QTest::newRow("cut to size") << 9 << ascii << QByteArray::fromHex("001b");
        QTest::newRow("4096 bytes") << 4096 << big << bigSegments + QByteArray::fromHex("1d");
    }
    void segmented_download_and_upload()
    {
        QFETCH(int, size);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, segments);
        const QByteArray stored = data.left(size) + QByteArray(qMax(0, size - data.size()), '\0');
        code = 5;
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, unsigned(size), data, code), (unsigned char)1);
        QCOMPARE(code, 0u);
        const QList<CanMessage> frames = requests();
        QCOMPARE(frames.first().data[0], quint8(0x21));
        QCOMPARE(qFromLittleEndian<quint32>(frames.first().data + 4), quint32(size));
        QByteArray commands;
        for (int i = 1; i < frames.size(); ++i)
            commands.append(char(frames[i].data[0]));
        QCOMPARE(commands, segments);
        QCOMPARE(node->entry(0x2001, 0), stored);
        h->sent.clear();
        QCOMPARE(read(0x2001, 0), (unsigned char)1);
        QCOMPARE(value.toByteArray(), stored);
        QCOMPARE(code, unsigned(size));
        const QList<CanMessage> uploads = requests(); // initiate, then one request per segment
        QCOMPARE(uploads.size(), 1 + qMax(1, (size + 6) / 7));
        for (int i = 0; i < uploads.size(); ++i)
            QCOMPARE(uploads[i].data[0], quint8(i == 0 ? 0x40 : i % 2 ? 0x60 : 0x70));
    }

    void segmented_upload_fault_keeps_the_bytes_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("announced size wrong") << int(CanOpenNode::Fault::WrongSize);
        QTest::newRow("last toggle wrong") << int(CanOpenNode::Fault::WrongToggle);
    }
    void segmented_upload_fault_keeps_the_bytes()
    {
        QFETCH(int, fault);
        node->setEntry(0x2001, 0, QByteArray("0123456"), true, 0); // one segment
        node->setFault(CanOpenNode::Fault(fault));
        QCOMPARE(read(0x2001, 0), (unsigned char)5);
        QCOMPARE(value.toByteArray(), QByteArray("0123456"));
    }

    void download_with_wrong_toggle_reply_ends_with_error()
    {
        node->setFault(CanOpenNode::Fault::WrongToggle);
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, 20u, QByteArray(20, 'z'), code), (unsigned char)5);
        QCOMPARE(requests().size(), 2); // initiate and the first segment, no more
        QVERIFY(!h->isBusy());
    }

    void server_abort_ends_each_transfer_and_keeps_value()
    {
        node->setFault(CanOpenNode::Fault::Abort, 0x08000020);
        QCOMPARE(h->SDOWrite(kNode, 0x2000, 0, (unsigned char)1, 1, code), (unsigned char)3);
        QCOMPARE(code, 0x08000020u);
        code = 0;
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, 9u, QByteArray(9, 'a'), code), (unsigned char)3);
        QCOMPARE(code, 0x08000020u);
        code = 0;
        value = QStringLiteral("kept");
        QCOMPARE(read(0x2000, 0), (unsigned char)4);
        QCOMPARE(code, 0x08000020u);
        QCOMPARE(value.toString(), QStringLiteral("kept"));
        QCOMPARE(requests().size(), 3); // no frame answers an abort
    }

    void silence_times_out_with_abort_frame_except_segmented_initiate()
    {
        node->setFault(CanOpenNode::Fault::Silent);
        code = 123;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(read(0x2000, 1), (unsigned char)6);
        QVERIFY(clock.elapsed() >= 140);
        QCOMPARE(code, 123u);
        QCOMPARE(requests().size(), 2);
        QCOMPARE(bytesOf(requests()[1]), QByteArray::fromHex("8000200100000405"));
        h->sent.clear();
        QCOMPARE(h->SDOWrite(kNode, 0x2000, 0, (unsigned char)4, 1, code), (unsigned char)6);
        QCOMPARE(code, 123u);
        QCOMPARE(requests().size(), 2);
        QCOMPARE(requests().last().data[0], quint8(0x80));
        h->sent.clear();
        QCOMPARE(h->SDOWrite(kNode, 0x2001, 0, 3u, QByteArray("abc"), code), (unsigned char)6);
        QCOMPARE(requests().size(), 1); // initiate only, no abort
        QVERIFY(!h->isBusy());
    }

    void refused_frame_ends_with_error_and_not_busy()
    {
        h->refuseFrom = 0;
        code = 3;
        QCOMPARE(read(0x2000, 0), (unsigned char)5);
        QCOMPARE(code, 3u);
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
        QCOMPARE(read(0x2000, 0), (unsigned char)1);
        QVERIFY(seenBusy);
        QVERIFY(!h->isBusy());
    }

    void without_polling_every_wait_times_out()
    {
        h->stopPolling();
        QCOMPARE(read(0x2000, 0), (unsigned char)6);
    }

    void nmt_changes_node_state_and_reset_boots()
    {
        h->NMTStart(kNode);
        QCOMPARE(node->state(), CanOpenNode::NmtState::Operational);
        QCOMPARE(bytesOf(h->sent.first()), QByteArray::fromHex("0105"));
        h->NMTStop(0);
        QCOMPARE(node->state(), CanOpenNode::NmtState::Stopped);
        QCOMPARE(read(0x2000, 0), (unsigned char)6); // stopped: no SDO
        bus->clear();
        h->NMTResetComm(kNode);
        QCOMPARE(node->state(), CanOpenNode::NmtState::PreOperational);
        SimCanFrame boot;
        QVERIFY(bus->take(boot));
        QCOMPARE(boot.id, 0x705u);
        QCOMPARE(boot.length, quint8(1));
        QCOMPARE(boot.data[0], quint8(0));
    }

    void pdo_reaches_node_and_over_long_pdo_is_refused()
    {
        h->NMTStart(kNode);
        h->sent.clear();
        h->PDOTransmit(0x205, QByteArray(9, 'x'));
        QVERIFY(h->sent.isEmpty());
        QList<CanMessage> pdos;
        connect(h, &CANopenHandlerInterface::receivedPDO, this, [&](CanMessage &m) { pdos << m; });
        h->PDOTransmit(0x205, QByteArray::fromHex("01020304"));
        h->SYNCPulse();
        QTRY_COMPARE(pdos.size(), 1);
        QCOMPARE(pdos.first().id, 0x185u);
        QCOMPARE(bytesOf(pdos.first()), QByteArray::fromHex("01020304"));
    }

    void lss_inquire_identity_and_configure_node_id()
    {
        unsigned int v = 0;
        unsigned char b1 = 0, b2 = 0;
        // Not in configuration mode: no answer.
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x5A, (unsigned char)0x5A, v, b1, b2, 100u), (unsigned char)6);
        h->LSSSend((unsigned char)0x04, (unsigned char)1);
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x5A, (unsigned char)0x5A, v, b1, b2, 200u), (unsigned char)1);
        QCOMPARE(v, CanOpenNode::Identity().vendor);
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x5D, (unsigned char)0x5D, v, b1, b2, 200u), (unsigned char)1);
        QCOMPARE(v, CanOpenNode::Identity().serial);
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x11, (unsigned char)9, (unsigned char)0x11, v, b1, b2, 200u),
            (unsigned char)1);
        QCOMPARE(b1, (unsigned char)0);
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x11, (unsigned char)200, (unsigned char)0x11, v, b1, b2, 200u),
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
        unsigned int v = 0;
        unsigned char b1 = 0, b2 = 0;
        QCOMPARE(h->LSSSendAndWait((unsigned char)0x43, (unsigned int)id.serial, (unsigned char)0x44, v, b1, b2, 200u),
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
};

QTEST_GUILESS_MAIN(TestCanopenServices)
#include "tst_canopenservices.moc"
