// The Qt SerialBus handlers against the simulator on one bus: Qt's virtualcan bus by default,
// each run on a bus server of its own; a SocketCAN interface where CH_QTCAN_PLUGIN and
// CH_QTCAN_INTERFACE name one (socketcan, vcan0 in the test guest). A peer device of the test
// on the same bus plays foreign traffic. Failures no bus here produces on demand (error frames,
// bus-off, a refused rate, an unplug) come from the scriptcan test plugin.
#include "canopennode.h"
#include "canopensocketcommandhandler.h"
#include "cansocketcommandhandler.h"
#include "command.h"
#include "qtcanadapter_p.h"
#include "qtcanserver.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>
#include <functional>
#include <memory>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

Q_DECLARE_METATYPE(QCanBusFrame)

namespace {
constexpr quint8 kNode = 5;
constexpr quint8 kAbsent = 9; // no module answers there; the peer may
const char *const kScriptPlugin = "scriptcan";

// Every message while it lives, passed on to the handler before it.
class LineCatcher
{
public:
    LineCatcher()
    {
        s_lines.clear();
        s_previous = qInstallMessageHandler(&LineCatcher::handle);
    }
    ~LineCatcher() { qInstallMessageHandler(s_previous); }
    LineCatcher(const LineCatcher &) = delete;
    LineCatcher &operator=(const LineCatcher &) = delete;
    QStringList matching(const QString &part) const { return s_lines.filter(part); }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        s_lines << text;
        s_previous(type, context, text);
    }
    static QStringList s_lines;
    static QtMessageHandler s_previous;
};
QStringList LineCatcher::s_lines;
QtMessageHandler LineCatcher::s_previous = nullptr;

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A virtualcan bus of our own: parallel test runs never hear each other.
QString privateVirtualBus()
{
    return QStringLiteral("tcp://127.0.0.1:%1/can0").arg(freePort());
}

QCanBusFrame frame(quint32 id, const QByteArray &data, bool extended = false, bool remote = false)
{
    QCanBusFrame f(id, remote ? QByteArray(data.size(), '\0') : data);
    f.setExtendedFrameFormat(extended);
    if (remote)
        f.setFrameType(QCanBusFrame::RemoteRequestFrame);
    return f;
}

// What module 1 answers to GAP with the value 42, as CAN data.
const QByteArray kReply42 = QByteArray::fromHex("0164060000002a00");

QString allText(const QSignalSpy &faults)
{
    QStringList parts;
    for (const QList<QVariant> &emission : faults) {
        const QVariantHash hash = emission.value(0).toHash();
        for (auto it = hash.begin(); it != hash.end(); ++it)
            parts << it.key() + QLatin1Char('=') + it.value().toString();
    }
    return parts.join(QLatin1Char(';'));
}
} // namespace

class TestQtcanHandlers : public QObject
{
    Q_OBJECT
    QString plugin;
    QString iface;
    bool virtualBus = false;
    std::unique_ptr<QtCanServer> sim;
    std::unique_ptr<CanOpenNode> node;
    std::unique_ptr<QCanBusDevice> peer;
    std::function<void(const QCanBusFrame &)> respond; // the peer's answer to each frame it hears
    QList<QCanBusFrame> heard;
    std::unique_ptr<CANSocketCommandHandler> zapl;
    std::unique_ptr<CANopenSocketCommandHandler> master;
    QTimer poll;

    QVariantList device(int kbit = 500) const { return { kbit, iface, plugin }; }
    bool openZapl()
    {
        zapl->setReplyID(2);
        zapl->filterAddId(2);
        zapl->setMaxTimeoutMS(2000); // a reply ends the wait; only a lost one costs this
        return zapl->openDevice(device());
    }
    bool openMaster()
    {
        master->setSDOTimeout(2000);
        return master->openDevice(device());
    }
    Command ask(quint8 address, quint8 command = 6, quint8 type = 1)
    {
        Command request(address, command, type, 0, 0), reply;
        zapl->doDirectRequest(&request, &reply);
        return reply;
    }
    int heardWithId(quint32 id) const
    {
        int n = 0;
        for (const QCanBusFrame &f : heard)
            n += f.frameId() == id;
        return n;
    }

    // A handler on a scriptcan device, and that device; null (with a skip) without the plugin.
    QCanBusDevice *scripted(QObject *handler)
    {
        const auto devices = handler->findChildren<QCanBusDevice *>();
        return devices.isEmpty() ? nullptr : devices.first();
    }
    // Sets or clears the interface's up flag, as `ip link set IFACE up|down` does.
    bool setInterfaceUp(bool up) const
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        ifreq request {};
        qstrncpy(request.ifr_name, iface.toLocal8Bit().constData(), IFNAMSIZ);
        bool done = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
        if (done) {
            request.ifr_flags = short(up ? request.ifr_flags | IFF_UP : request.ifr_flags & ~IFF_UP);
            done = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
        }
        if (fd >= 0)
            ::close(fd);
        return done;
    }
    bool haveScriptPlugin() const { return QCanBus::instance()->plugins().contains(QLatin1String(kScriptPlugin)); }

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.plugins.virtualcan.info=false"));
        QCoreApplication::addLibraryPath(QStringLiteral(CH_QTCAN_TEST_PLUGINS));
        plugin = qEnvironmentVariable("CH_QTCAN_PLUGIN", QStringLiteral("virtualcan"));
        iface = qEnvironmentVariable("CH_QTCAN_INTERFACE");
        virtualBus = plugin == QLatin1String("virtualcan");
        if (iface.isEmpty()) {
            if (!virtualBus)
                QSKIP("CH_QTCAN_INTERFACE names no interface for this plugin");
            iface = privateVirtualBus();
        }
        sim.reset(new QtCanServer({ 1, 3 }));
        QString error;
        if (!sim->start(plugin, iface, &error))
            QSKIP(qPrintable(QStringLiteral("no %1 bus %2 here: %3").arg(plugin, iface, error)));
        node.reset(new CanOpenNode(kNode));
        node->attachTo(sim->bus());
        peer.reset(QCanBus::instance()->createDevice(plugin, iface));
        QVERIFY(peer && peer->connectDevice());
        QTRY_COMPARE(peer->state(), QCanBusDevice::ConnectedState);
        connect(peer.get(), &QCanBusDevice::framesReceived, this, [this] {
            while (peer->framesAvailable() > 0) {
                const QCanBusFrame f = peer->readFrame();
                heard << f;
                if (respond)
                    respond(f);
            }
        });
    }
    void cleanupTestCase()
    {
        peer.reset();
        node.reset();
        sim.reset();
    }
    void init()
    {
        respond = nullptr;
        heard.clear();
        zapl.reset(new CANSocketCommandHandler);
        master.reset(new CANopenSocketCommandHandler);
        connect(&poll, &QTimer::timeout, master.get(), &CANopenHandlerInterface::checkForCanMessage);
        poll.start(0);
    }
    void cleanup()
    {
        poll.stop();
        master.reset();
        zapl.reset();
    }

    void zapl_request_and_reply()
    {
        QCOMPARE(zapl->objectName(), QStringLiteral("CAN Socket"));
        QVERIFY(openZapl());
        Command sap(3, 5, 4, 0, -123456), gap(3, 6, 4, 0, 0), reply;
        zapl->doDirectRequest(&sap, &reply);
        QVERIFY(reply.isValid());
        zapl->doDirectRequest(&gap, &reply);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.address(), quint8(3));
        QCOMPARE(reply.status(), quint8(100));
        QCOMPARE(reply.value(), -123456);
        QCOMPARE(zapl->interfaceName(), iface);
        QCOMPARE(zapl->pluginName(), plugin);
        // The bit rate alone keeps interface and plugin; reopening passes all three.
        QVERIFY(zapl->openDevice(250));
        QVERIFY(zapl->reopenDevice());
        QCOMPARE(zapl->interfaceName(), iface);
        QVERIFY(ask(1).isValid());
        QVERIFY(zapl->closeDevice());
        QVERIFY(!ask(1).isValid());
    }

    void zapl_foreign_frame_is_taken_as_the_reply()
    {
        QVERIFY(openZapl());
        respond = [this](const QCanBusFrame &f) {
            if (f.frameId() == kAbsent)
                peer->writeFrame(frame(2, kReply42));
        };
        const Command reply = ask(kAbsent);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.address(), quint8(1));
        QCOMPARE(reply.value(), 42);
    }

    void zapl_time_out_mutes_until_the_unmute_timer()
    {
        QVERIFY(openZapl());
        zapl->setMaxTimeoutMS(150);
        QSignalSpy closed(zapl.get(), &CommandHandlerInterface::deviceClosed);
        QVERIFY(!ask(kAbsent).isValid());
        QCOMPARE(closed.count(), 1);
        QTRY_COMPARE(heardWithId(kAbsent), 1);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!ask(kAbsent).isValid()); // muted: neither sent nor awaited
        QVERIFY(clock.elapsed() < 150);
        QVERIFY(ask(1).isValid()); // others are not muted
        QCOMPARE(heardWithId(kAbsent), 1);
        QTRY_VERIFY_WITH_TIMEOUT(zapl->timeoutedAddressList().isEmpty(), 7000);
        ask(kAbsent);
        QTRY_COMPARE(heardWithId(kAbsent), 2);
    }

    void zapl_version_queries()
    {
        sim->node(3)->model().setIdentity(QStringLiteral("1240"), 3, 5, 1);
        QVERIFY(openZapl());
        QCOMPARE(zapl->getModuleAndFirmwareVersion(3), QStringLiteral("1240V305"));
        const QString firmware = zapl->getFirmwareVersion(3);
        QVERIFY2(firmware.startsWith(QStringLiteral("VX-1240")) && firmware.endsWith(QStringLiteral("3.05")),
            qPrintable(firmware));
        sim->node(3)->model().setIdentity(QStringLiteral("1161"), 2, 7, 42);
    }

    void zapl_foreign_traffic_while_a_reply_is_awaited_data()
    {
        QTest::addColumn<QList<QCanBusFrame>>("before");
        const QByteArray other = QByteArray::fromHex("0964060000000700");
        QTest::newRow("other identifiers") << QList<QCanBusFrame> { frame(0x123, other), frame(0x7FF, other) };
        QTest::newRow("extended frame on the reply identifier") << QList<QCanBusFrame> { frame(2, other, true) };
        QTest::newRow("remote frame on the reply identifier") << QList<QCanBusFrame> { frame(2, other, false, true) };
        QList<QCanBusFrame> flood;
        for (int i = 0; i < 10000; ++i)
            flood << frame(0x100 + quint32(i % 0x100), other);
        QTest::newRow("flood of 10000 foreign frames") << flood;
    }
    void zapl_foreign_traffic_while_a_reply_is_awaited()
    {
        QFETCH(QList<QCanBusFrame>, before);
        QVERIFY(openZapl());
        zapl->setMaxTimeoutMS(5000);
        respond = [&](const QCanBusFrame &f) {
            if (f.frameId() != kAbsent)
                return;
            for (const QCanBusFrame &b : before)
                peer->writeFrame(b);
            peer->writeFrame(frame(2, kReply42));
        };
        QElapsedTimer clock;
        clock.start();
        const Command reply = ask(kAbsent);
        QVERIFY(clock.elapsed() < 6000);
        // A kernel socket drops what overflows its receive buffer, before any adapter sees it:
        // there the reply may be among the lost, and only the end of the wait counts.
        if (virtualBus || before.size() < 1000) {
            QVERIFY(reply.isValid());
            QCOMPARE(reply.value(), 42); // nothing but the standard data frame is the reply
        }
        QVERIFY(ask(1).isValid()); // and the handler works on
        // Where a wrong frame was taken, module 1's own reply is still on its way: once the
        // peer heard it, it can no longer reach the next test's handler.
        QTRY_COMPARE(heardWithId(2), 1);
    }

    void error_frames_on_the_bus_become_faults()
    {
        if (virtualBus)
            QSKIP("a virtualcan bus carries no error frames (its wire format has no error flag)");
        QVERIFY(openZapl());
        QSignalSpy faults(zapl.get(), &CommandHandlerInterface::faultsMessage);
        QCanBusFrame busOff(QCanBusFrame::ErrorFrame);
        busOff.setError(QCanBusFrame::BusOffError);
        if (!peer->writeFrame(busOff))
            QSKIP(qPrintable(QStringLiteral("this plugin writes no error frames: ") + peer->errorString()));
        QVERIFY(ask(1).isValid()); // an error report is never taken as the reply
        QTRY_VERIFY2(allText(faults).contains(QLatin1String("bus off")), qPrintable(allText(faults)));
    }

    void canopen_sdo_data()
    {
        QTest::addColumn<QString>("op"); // expedited, segmented (downloads) or read
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("bytes"); // written, or expected back
        QTest::addColumn<int>("result");
        QTest::addColumn<uint>("code"); // abort code, or the size a read reports
        QByteArray kilobyte(1000, '\0');
        for (int i = 0; i < kilobyte.size(); ++i)
            kilobyte[i] = char(i * 7);
        QTest::newRow("expedited download") << "expedited" << 0x2003 << QByteArray::fromHex("efbe") << 1 << 0u;
        QTest::newRow("expedited upload") << "read" << 0x2003 << QByteArray::fromHex("efbe") << 1 << 2u;
        QTest::newRow("segmented download") << "segmented" << 0x2001 << kilobyte << 1 << 0u;
        QTest::newRow("segmented upload") << "read" << 0x2001 << kilobyte << 1 << 1000u;
        QTest::newRow("upload aborted") << "read" << 0x3000 << QByteArray() << 4 << CanOpenNode::kAbortNoObject;
        QTest::newRow("download aborted")
            << "expedited" << 0x1000 << QByteArray::fromHex("01") << 3 << CanOpenNode::kAbortReadOnly;
    }
    void canopen_sdo()
    {
        QFETCH(QString, op);
        QFETCH(int, index);
        QFETCH(QByteArray, bytes);
        QFETCH(int, result);
        QFETCH(uint, code);
        QCOMPARE(master->objectName(), QStringLiteral("CANopen Socket"));
        QVERIFY(openMaster());
        unsigned int info = 0xFFFF;
        if (op == QLatin1String("read")) {
            QVariant value;
            QCOMPARE(int(master->SDORead(kNode, quint16(index), 0, value, info)), result);
            if (result == 1 && bytes.size() <= 4)
                QCOMPARE(value.toInt(), int(qFromLittleEndian<quint16>(bytes.constData())));
            else if (result == 1)
                QCOMPARE(value.toByteArray(), bytes);
        } else if (op == QLatin1String("expedited")) {
            QCOMPARE(int(master->SDOWrite(kNode, quint16(index), 0, (unsigned char)bytes.size(),
                         int(qFromLittleEndian<quint16>(bytes.leftJustified(2, '\0').constData())), info)),
                result);
        } else {
            QCOMPARE(int(master->SDOWrite(kNode, quint16(index), 0, unsigned(bytes.size()), bytes, info)), result);
        }
        QCOMPARE(info, code);
    }

    void canopen_nmt_sync_pdo_lss()
    {
        QVERIFY(openMaster());
        QList<quint32> pdos;
        connect(master.get(), &CANopenHandlerInterface::receivedPDO, this, [&pdos](CanMessage &m) { pdos << m.id; });
        master->NMTStart(kNode);
        QTRY_COMPARE(node->state(), CanOpenNode::NmtState::Operational);
        master->PDOTransmit(0x200 + kNode, QByteArray::fromHex("0d0c0b0a"));
        QTRY_COMPARE(node->entry(0x2000, 0), QByteArray::fromHex("0d0c0b0a"));
        master->SYNCPulse();
        QTRY_VERIFY(!pdos.isEmpty());
        QCOMPARE(pdos.first(), 0x180u + kNode);
        unsigned int vendor = 0;
        unsigned char b1 = 0, b2 = 0;
        master->LSSSend((unsigned char)0x04, (unsigned char)1); // all nodes into configuration
        QTRY_VERIFY(node->inLssConfiguration());
        QCOMPARE(master->LSSSendAndWait(0x5A, 0x5A, vendor, b1, b2, 1000), (unsigned char)1);
        QCOMPARE(vendor, CanOpenNode::Identity().vendor);
        master->LSSSend((unsigned char)0x04, (unsigned char)0);
        master->NMTStop(kNode);
        QTRY_COMPARE(node->state(), CanOpenNode::NmtState::Stopped);
        master->NMTPreOp(kNode);
        QTRY_COMPARE(node->state(), CanOpenNode::NmtState::PreOperational);
    }

    void rate_that_cannot_apply_is_said_in_one_line()
    {
        LineCatcher lines;
        QVERIFY(zapl->openDevice(device(250)));
        // Neither a virtual bus nor a virtual interface has a rate.
        const QStringList said = lines.matching(QStringLiteral("250 kbit/s"));
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().contains(QLatin1String("appl")), qPrintable(said.first()));
        QCOMPARE(zapl->dataRate(), 250);
        QVERIFY(openMaster());
        QCOMPARE(master->getDataRate(), 500);
        // A rate that is not known is not reported as zero.
        QVERIFY(lines.matching(QStringLiteral("running at 0 kbit/s")).isEmpty());
    }

    void bad_open_arguments_data()
    {
        QTest::addColumn<QVariant>("argument");
        QTest::addColumn<QString>("said");
        const QString unknown = virtualBus ? QStringLiteral("can7") : QStringLiteral("nosuchcan7");
        QTest::newRow("unknown plugin") << QVariant(QVariantList { 500, iface, "nosuch" })
                                        << "no Qt SerialBus plugin 'nosuch'";
        QTest::newRow("unknown interface") << QVariant(QVariantList { 500, unknown, plugin }) << unknown;
        QTest::newRow("interface without a bit rate") << QVariant(QStringLiteral("can0")) << "not 'can0'";
        QTest::newRow("bit rate before any interface") << QVariant(500) << "no interface named";
        QTest::newRow("no bit rate") << QVariant(QVariantList { 0, iface, plugin }) << "0 kbit/s is no bit rate";
        QTest::newRow("too many items") << QVariant(QVariantList { 500, iface, plugin, 1 }) << "a list of 4 items";
    }
    void bad_open_arguments()
    {
        QFETCH(QVariant, argument);
        QFETCH(QString, said);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!zapl->openDevice(argument));
        QVERIFY(!zapl->isDeviceOpen());
        QVERIFY2(zapl->openError().contains(said), qPrintable(zapl->openError()));
        QVERIFY(!zapl->openError().contains(QLatin1Char('\n')));
        QVERIFY(!master->openDevice(argument));
        QVERIFY(master->openError().contains(said));
        QVERIFY(clock.elapsed() < 2000);
    }

    void bus_server_killed_mid_request_data()
    {
        QTest::addColumn<bool>("canopen");
        QTest::newRow("ZAPL request") << false;
        QTest::newRow("SDO upload") << true;
    }
    void bus_server_killed_mid_request()
    {
        QFETCH(bool, canopen);
        if (!virtualBus)
            QSKIP("only a virtualcan bus has a server to kill");
        const QString bus = privateVirtualBus();
        QProcess server;
        server.start(QStringLiteral(CH_ZAPL_BINARY),
            { "simulate", "qtcan", "--interface", bus, "--modules", "1", "--canopen-node", QString::number(kNode) });
        QVERIFY(server.waitForReadyRead(10000));
        QCOMPARE(server.readLine().trimmed(), ("qtcan:virtualcan:" + bus).toUtf8());
        QObject *handler = canopen ? static_cast<QObject *>(master.get()) : zapl.get();
        QSignalSpy detached(handler, SIGNAL(handleDetachedDevice(int, QString)));
        QSignalSpy faults(zapl.get(), &CommandHandlerInterface::faultsMessage);
        zapl->setReplyID(2);
        zapl->filterAddId(2); // the node's boot-up is no reply
        zapl->setMaxTimeoutMS(300);
        master->setSDOTimeout(300);
        QVariant value;
        unsigned int info = 0;
        if (canopen) {
            QVERIFY(master->openDevice(QVariantList { 500, bus, plugin }));
            QCOMPARE(master->SDORead(kNode, 0x1000, 0, value, info), (unsigned char)1);
        } else {
            QVERIFY(zapl->openDevice(QVariantList { 500, bus, plugin }));
            QVERIFY(ask(1).isValid());
        }
        // Dead before the handler learns of it: the request goes out and waits for its time-out.
        server.kill();
        QVERIFY(server.waitForFinished(5000));
        QElapsedTimer clock;
        clock.start();
        if (canopen)
            QCOMPARE(master->SDORead(kNode, 0x1000, 0, value, info), (unsigned char)6);
        else
            QVERIFY(!ask(1).isValid());
        QVERIFY(clock.elapsed() < 2000);
        QTRY_COMPARE(detached.count(), 1);
        QCOMPARE(detached.first().first().toInt(),
            int(canopen ? ConnectionType::CANopen_Socket : ConnectionType::CAN_OTHER));
        if (!canopen)
            QCOMPARE(faults.last().first().toHash(), (QVariantHash { { QStringLiteral("Port Lost"), bus } }));
        // Later requests end at once or at their time-out, never hang.
        if (canopen)
            QCOMPARE(master->SDORead(kNode, 0x1000, 0, value, info), (unsigned char)5);
        else
            QVERIFY(!ask(1).isValid());
    }

    void interface_taken_down_mid_request_is_reported()
    {
        if (plugin != QLatin1String("socketcan"))
            QSKIP("only a SocketCAN interface can be taken down");
        QVERIFY(openZapl());
        QVERIFY(ask(1).isValid());
        QSignalSpy detached(zapl.get(), &CommandHandlerInterface::handleDetachedDevice);
        QSignalSpy faults(zapl.get(), &CommandHandlerInterface::faultsMessage);
        if (!setInterfaceUp(false))
            QSKIP("cannot take the interface down here (no privileges)");
        QElapsedTimer clock;
        clock.start();
        const bool answered = ask(1).isValid();
        setInterfaceUp(true);
        QVERIFY(!answered);
        QVERIFY(clock.elapsed() < 1500); // the wait ends when the failed write is judged
        QCOMPARE(detached.size(), 1);
        QCOMPARE(faults.last().first().toHash(), (QVariantHash { { QStringLiteral("Port Lost"), iface } }));
        QVERIFY(!zapl->isDeviceOpen());
    }

    void zapl_says_once_when_the_bus_server_goes()
    {
        if (!virtualBus)
            QSKIP("only a virtualcan bus has a server to kill");
        const QString bus = privateVirtualBus();
        QProcess server;
        server.start(QStringLiteral(CH_ZAPL_BINARY), { "simulate", "qtcan", "--interface", bus, "--modules", "1" });
        QVERIFY(server.waitForReadyRead(10000));
        QProcess client;
        client.start(QStringLiteral(CH_ZAPL_BINARY), { "--link", "qtcan:virtualcan:" + bus, "send" });
        client.write("GAP 4 0\n");
        QVERIFY(client.waitForReadyRead(10000)); // the first request was answered
        server.kill();
        QVERIFY(server.waitForFinished(5000));
        client.write("GAP 4 0\nGAP 5 0\n");
        client.closeWriteChannel();
        QVERIFY(client.waitForFinished(20000));
        QCOMPARE(client.exitCode(), 3);
        const QString said = QString::fromUtf8(client.readAllStandardError());
        QCOMPARE(said.count(QStringLiteral("is gone")), 1);
        QVERIFY2(said.contains(QStringLiteral("qtcan:virtualcan:") + bus), qPrintable(said));
    }

    void zapl_links_reach_the_simulator_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after --link LINK
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // standard output and error
        QTest::newRow("send") << QStringList { "send", "GAP 4 0" } << 0 << "GAP 4 0: status 100";
        QTest::newRow("canopen") << QStringList { "canopen", "sdo", "read", "5", "0x1008", "0" } << 0
                                 << "\"ZAPL CANopen node\"";
        QTest::newRow("interface without a plugin")
            << QStringList { "--link", "qtcan:can0", "send", "GAP" } << 2 << "qtcan:PLUGIN:INTERFACE";
        QTest::newRow("unknown plugin") << QStringList { "--link", "qtcan:nosuch:can0", "canopen", "sync" } << 3
                                        << "no Qt SerialBus plugin 'nosuch'";
    }
    void zapl_links_reach_the_simulator()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        if (!virtualBus)
            QSKIP("zapl and its simulator run here on a virtualcan bus");
        QProcess client;
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(QStringLiteral(CH_ZAPL_BINARY), QStringList { "--link", "qtcan:virtualcan:" + iface } + arguments);
        // The simulator and the bus server live in this process: keep its event loop running.
        QTRY_VERIFY_WITH_TIMEOUT(client.state() == QProcess::NotRunning, 20000);
        const QString text = QString::fromUtf8(client.readAll());
        QVERIFY2(text.contains(output), qPrintable(text));
        QCOMPARE(client.exitCode(), exitCode);
    }

    void scripted_refused_rate_opens_at_the_interface_rate()
    {
        if (!haveScriptPlugin())
            QSKIP("the scriptcan test plugin is not installed here");
        LineCatcher lines;
        QVERIFY(zapl->openDevice(QVariantList { 83, "script0", kScriptPlugin }));
        const QStringList said = lines.matching(QStringLiteral("refuses 83 kbit/s"));
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().contains(QLatin1String("unsupported bit rate 83000")), qPrintable(said.first()));
        QVERIFY(zapl->openDevice(QVariantList { 250, "script0", kScriptPlugin }));
        QCOMPARE(lines.matching(QStringLiteral("250 kbit/s")).size(), 0);
        QCOMPARE(zapl->dataRate(), 250);
    }

    void scripted_error_frames_and_bus_off_become_faults()
    {
        if (!haveScriptPlugin())
            QSKIP("the scriptcan test plugin is not installed here");
        zapl->setReplyID(2);
        zapl->setMaxTimeoutMS(2000);
        QVERIFY(zapl->openDevice(QVariantList { 500, "script0", kScriptPlugin }));
        QCanBusDevice *device = scripted(zapl.get());
        QVERIFY(device);
        QSignalSpy faults(zapl.get(), &CommandHandlerInterface::faultsMessage);
        QMetaObject::invokeMethod(device, "answerNextWrite", Q_ARG(uint, uint(QCanBusFrame::ControllerError)),
            Q_ARG(QByteArray, QByteArray()), Q_ARG(int, 3));
        QMetaObject::invokeMethod(device, "answerNextWrite", Q_ARG(uint, uint(QCanBusFrame::BusOffError)),
            Q_ARG(QByteArray, QByteArray()), Q_ARG(int, 3));
        QMetaObject::invokeMethod(
            device, "answerNextWrite", Q_ARG(uint, 2u), Q_ARG(QByteArray, kReply42), Q_ARG(int, 0));
        const Command reply = ask(1);
        QVERIFY(reply.isValid());
        QCOMPARE(reply.value(), 42);
        const QString text = allText(faults);
        QVERIFY2(
            text.contains(QLatin1String("error frame")) && text.contains(QLatin1String("bus off")), qPrintable(text));
    }

    void scripted_unplug_mid_request_ends_in_a_time_out()
    {
        if (!haveScriptPlugin())
            QSKIP("the scriptcan test plugin is not installed here");
        zapl->setMaxTimeoutMS(300);
        QVERIFY(zapl->openDevice(QVariantList { 500, "script0", kScriptPlugin }));
        QCanBusDevice *device = scripted(zapl.get());
        QVERIFY(device);
        QSignalSpy detached(zapl.get(), &CommandHandlerInterface::handleDetachedDevice);
        QTimer::singleShot(50, device, [device] { QMetaObject::invokeMethod(device, "unplug"); });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!ask(1).isValid());
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(detached.count(), 1);
        QCOMPARE(detached.first().first().toInt(), int(ConnectionType::CAN_OTHER));
    }

    void receive_queue_is_bounded_and_says_what_it_dropped()
    {
        if (!haveScriptPlugin())
            QSKIP("the scriptcan test plugin is not installed here");
        QObject owner;
        QtCanAdapter adapter;
        adapter.attachTo(&owner);
        int kbit = 0;
        QString error;
        QVERIFY(adapter.takeOpenArgument(QVariantList { 500, "script0", kScriptPlugin }, kbit, error));
        const CanTrace trace = CH_CAN_TRACE(true);
        QVERIFY(adapter.bringUp(kbit, trace));
        QCanBusDevice *device = owner.findChild<QCanBusDevice *>();
        QVERIFY(device);
        const int sent = QtCanAdapter::kQueueLimit + 904;
        for (int i = 0; i < sent; ++i)
            QMetaObject::invokeMethod(device, "answerNextWrite", Q_ARG(uint, uint(0x10000 + i)),
                Q_ARG(QByteArray, QByteArray(1, char(i))), Q_ARG(int, 1));
        LineCatcher lines;
        CanMessage request;
        request.id = 1;
        QVERIFY(adapter.send(request, trace)); // all of them arrive at once
        QList<quint32> ids;
        CanReceived received;
        while (adapter.take(received))
            ids << received.frame.id;
        QCOMPARE(ids.size(), QtCanAdapter::kQueueLimit);
        QCOMPARE(ids.first(), 0x10000u + 904); // the oldest went
        QCOMPARE(ids.last(), 0x10000u + quint32(sent) - 1);
        QCOMPARE(lines.matching(QStringLiteral("904 received frames dropped")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestQtcanHandlers)
#include "tst_qtcanhandlers.moc"
