#include <QCanBus>
#include <QCanBusDevice>
#include <QSignalSpy>
#include <QTest>

#include <linux/can/netlink.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/tty.h>
#include <net/if.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

Q_DECLARE_METATYPE(QCanBusFrame)

// Qt's socketcan plugin against a real kernel: vcan0 (made by the guest's init) and a "can"
// interface from the kernel's slcan driver on a pseudo-terminal. Runs inside the qemu guest.
namespace {

struct Fd
{
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) { }
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    void reset(int f = -1)
    {
        if (fd >= 0)
            ::close(fd);
        fd = f;
    }
};

// What the kernel tells of one interface (RTM_GETLINK).
struct LinkInfo
{
    bool found = false;
    bool up = false;
    QByteArray kind; // IFLA_INFO_KIND: "vcan", "can"...
    bool hasBitTiming = false; // IFLA_CAN_BITTIMING: a "can" interface with a rate set
    quint32 bitrate = 0;
};

// One route request; attributes are appended, a nest is closed once its content is in.
class LinkRequest
{
public:
    LinkRequest(quint16 type, quint16 flags, int index)
    {
        nlmsghdr header {};
        header.nlmsg_type = type;
        header.nlmsg_flags = quint16(NLM_F_REQUEST | flags);
        append(&header, sizeof header);
        ifinfomsg info {};
        info.ifi_family = AF_UNSPEC;
        info.ifi_index = index;
        append(&info, sizeof info);
    }
    // A nest's length covers its padded content; a leaf's only its own bytes.
    int open(quint16 type)
    {
        const int at = bytes.size();
        rtattr attribute { 0, type };
        append(&attribute, sizeof attribute);
        return at;
    }
    void close(int at)
    {
        const auto length = quint16(bytes.size() - at);
        std::memcpy(bytes.data() + at + offsetof(rtattr, rta_len), &length, sizeof length);
    }
    void add(quint16 type, const void *data, int size)
    {
        rtattr attribute { quint16(RTA_LENGTH(size)), type };
        append(&attribute, sizeof attribute);
        append(data, size);
    }
    QByteArray finish()
    {
        const auto length = quint32(bytes.size());
        std::memcpy(bytes.data() + offsetof(nlmsghdr, nlmsg_len), &length, sizeof length);
        return bytes;
    }

private:
    void append(const void *data, int size)
    {
        bytes.append(static_cast<const char *>(data), size);
        while (bytes.size() % NLMSG_ALIGNTO != 0)
            bytes.append('\0');
    }
    QByteArray bytes;
};

// Sends one request and returns the first answer; empty on failure or after two seconds.
QByteArray exchange(const QByteArray &request)
{
    Fd s(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (s.fd < 0)
        return {};
    timeval limit { 2, 0 };
    ::setsockopt(s.fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::send(s.fd, request.constData(), size_t(request.size()), 0) != request.size())
        return {};
    QByteArray answer(16384, '\0');
    const ssize_t n = ::recv(s.fd, answer.data(), size_t(answer.size()), 0);
    answer.resize(n > 0 ? int(n) : 0);
    return answer;
}

void readCanData(rtattr *data, int length, LinkInfo &info)
{
    for (rtattr *a = data; RTA_OK(a, length); a = RTA_NEXT(a, length)) {
        if ((a->rta_type & NLA_TYPE_MASK) == IFLA_CAN_BITTIMING && RTA_PAYLOAD(a) >= sizeof(can_bittiming)) {
            can_bittiming timing {};
            std::memcpy(&timing, RTA_DATA(a), sizeof timing);
            info.hasBitTiming = true;
            info.bitrate = timing.bitrate;
        }
    }
}

LinkInfo queryLink(const char *name)
{
    LinkInfo info;
    const int index = int(if_nametoindex(name));
    if (index == 0)
        return info;
    QByteArray answer = exchange(LinkRequest(RTM_GETLINK, 0, index).finish());
    auto *header = reinterpret_cast<nlmsghdr *>(answer.data());
    if (answer.size() < int(NLMSG_LENGTH(sizeof(ifinfomsg))) || header->nlmsg_type != RTM_NEWLINK
        || int(header->nlmsg_len) > answer.size())
        return info;
    auto *ifi = static_cast<ifinfomsg *>(NLMSG_DATA(header));
    info.found = true;
    info.up = (ifi->ifi_flags & IFF_UP) != 0;
    int length = int(IFLA_PAYLOAD(header));
    for (rtattr *a = IFLA_RTA(ifi); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
        if ((a->rta_type & NLA_TYPE_MASK) != IFLA_LINKINFO)
            continue;
        int nested = int(RTA_PAYLOAD(a));
        for (auto *b = static_cast<rtattr *>(RTA_DATA(a)); RTA_OK(b, nested); b = RTA_NEXT(b, nested)) {
            if ((b->rta_type & NLA_TYPE_MASK) == IFLA_INFO_KIND)
                info.kind = QByteArray(static_cast<const char *>(RTA_DATA(b)));
            else if ((b->rta_type & NLA_TYPE_MASK) == IFLA_INFO_DATA)
                readCanData(static_cast<rtattr *>(RTA_DATA(b)), int(RTA_PAYLOAD(b)), info);
        }
    }
    return info;
}

// The kernel's answer to a request made with NLM_F_ACK: 0 or -errno.
int acknowledged(LinkRequest &request)
{
    QByteArray answer = exchange(request.finish());
    auto *header = reinterpret_cast<nlmsghdr *>(answer.data());
    if (answer.size() < int(NLMSG_LENGTH(sizeof(nlmsgerr))) || header->nlmsg_type != NLMSG_ERROR)
        return -EPROTO;
    return static_cast<nlmsgerr *>(NLMSG_DATA(header))->error;
}

// Sets a "can" interface's rate as `ip link set NAME type can bitrate N` does.
int setBitrate(const char *name, quint32 bitrate)
{
    LinkRequest request(RTM_NEWLINK, NLM_F_ACK, int(if_nametoindex(name)));
    const int linkInfo = request.open(IFLA_LINKINFO);
    request.add(IFLA_INFO_KIND, "can", 4);
    const int data = request.open(IFLA_INFO_DATA);
    can_bittiming timing {};
    timing.bitrate = bitrate;
    request.add(IFLA_CAN_BITTIMING, &timing, sizeof timing);
    request.close(data);
    request.close(linkInfo);
    return acknowledged(request);
}

// `ip link add dev NAME type vcan` and `ip link delete NAME`.
int addVcan(const char *name)
{
    LinkRequest request(RTM_NEWLINK, NLM_F_ACK | NLM_F_CREATE | NLM_F_EXCL, 0);
    request.add(IFLA_IFNAME, name, int(std::strlen(name)) + 1);
    const int linkInfo = request.open(IFLA_LINKINFO);
    request.add(IFLA_INFO_KIND, "vcan", 5);
    request.close(linkInfo);
    return acknowledged(request);
}
int deleteLink(const char *name)
{
    LinkRequest request(RTM_DELLINK, NLM_F_ACK, int(if_nametoindex(name)));
    return acknowledged(request);
}

bool setInterfaceUp(const char *name, bool up)
{
    Fd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq request {};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    if (s.fd < 0 || ::ioctl(s.fd, SIOCGIFFLAGS, &request) != 0)
        return false;
    request.ifr_flags = short(up ? request.ifr_flags | IFF_UP : request.ifr_flags & ~IFF_UP);
    return ::ioctl(s.fd, SIOCSIFFLAGS, &request) == 0;
}

// A kernel "can" interface: the slcan line discipline on a pseudo-terminal. It lasts as long as
// the terminal stays open, starts down and without a rate.
struct SlcanInterface
{
    Fd master, slave;
    char name[IFNAMSIZ] = {};
    QByteArray error;
    bool open()
    {
        int m = -1, s = -1;
        if (::openpty(&m, &s, nullptr, nullptr, nullptr) != 0)
            return fail("openpty");
        master.reset(m);
        slave.reset(s);
        int discipline = N_SLCAN;
        if (::ioctl(slave.fd, TIOCSETD, &discipline) != 0)
            return fail("TIOCSETD N_SLCAN");
        return ::ioctl(slave.fd, SIOCGIFNAME, name) == 0 || fail("SIOCGIFNAME");
    }
    bool fail(const char *what)
    {
        const int code = errno;
        error = QByteArray(what) + QByteArrayLiteral(": ") + QByteArray(std::strerror(code));
        return false;
    }
};

// The plugin's log lines, kept while the previous handler still prints them.
QStringList pluginLog;
QtMessageHandler previousHandler = nullptr;
void keepPluginLines(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.category && QByteArray(context.category).startsWith("qt.canbus"))
        pluginLog << text;
    previousHandler(type, context, text);
}

QCanBusFrame frame(quint32 id, bool extended, bool remote, const QByteArray &payload)
{
    QCanBusFrame f(id, payload);
    f.setExtendedFrameFormat(extended);
    if (remote)
        f.setFrameType(QCanBusFrame::RemoteRequestFrame);
    return f;
}

} // namespace

class TestSocketCanKernel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void frame_reaches_the_other_socket_but_not_its_sender_data();
    void frame_reaches_the_other_socket_but_not_its_sender();
    void bit_rate_key_on_vcan_connects_and_only_logs();
    void every_device_brings_a_rate_of_500000_unless_cleared();
    void can_interface_reports_the_rate_it_was_given();
    void bit_rate_key_on_a_can_interface_takes_only_with_libsocketcan();
    void interface_down_shows_only_at_the_next_write();
    void removed_interface_fails_writes_until_reconnected();

private:
    std::unique_ptr<QCanBusDevice> open(const QVariant &bitrate = {}, const char *name = "vcan0");
    std::unique_ptr<QCanBusDevice> a, b;
};

void TestSocketCanKernel::initTestCase()
{
    if (!QCanBus::instance()->plugins().contains(QStringLiteral("socketcan")))
        QSKIP("Qt's socketcan plugin is not installed");
    if (!queryLink("vcan0").found)
        QSKIP("no vcan0 here: this test runs inside the qemu guest (tests/qemu/run-in-guest.sh)");
    qRegisterMetaType<QCanBusDevice::CanBusError>();
    qRegisterMetaType<QCanBusDevice::CanBusDeviceState>();
    previousHandler = qInstallMessageHandler(keepPluginLines);
}

std::unique_ptr<QCanBusDevice> TestSocketCanKernel::open(const QVariant &bitrate, const char *name)
{
    QString error;
    std::unique_ptr<QCanBusDevice> device(
        QCanBus::instance()->createDevice(QStringLiteral("socketcan"), QString::fromLatin1(name), &error));
    if (!device)
        qWarning("createDevice: %s", qPrintable(error));
    else if (bitrate.isValid())
        device->setConfigurationParameter(QCanBusDevice::BitRateKey, bitrate);
    return device;
}

void TestSocketCanKernel::init()
{
    a = open();
    b = open();
    QVERIFY(a && b);
    QVERIFY(a->connectDevice());
    QVERIFY(b->connectDevice());
    pluginLog.clear();
}

void TestSocketCanKernel::cleanup()
{
    a.reset();
    b.reset();
    if (!queryLink("vcan0").found)
        addVcan("vcan0");
    setInterfaceUp("vcan0", true);
}

void TestSocketCanKernel::frame_reaches_the_other_socket_but_not_its_sender_data()
{
    QTest::addColumn<QCanBusFrame>("sent");
    for (int n = 0; n <= 8; ++n)
        QTest::addRow("standard, %d bytes", n) << frame(0x123, false, false, QByteArray(n, char(0xa0 + n)));
    QTest::newRow("standard, highest id") << frame(0x7ff, false, false, QByteArrayLiteral("\x01"));
    QTest::newRow("extended, highest id") << frame(0x1fffffff, true, false, QByteArrayLiteral("\x01\x02\x03\x04"));
    QTest::newRow("extended, small id") << frame(0x7ff, true, false, QByteArray(8, '\x55'));
    QTest::newRow("remote, standard, dlc 0") << frame(0x321, false, true, QByteArray());
    QTest::newRow("remote, extended, dlc 8") << frame(0x1abcdef, true, true, QByteArray(8, '\0'));
}

void TestSocketCanKernel::frame_reaches_the_other_socket_but_not_its_sender()
{
    QFETCH(QCanBusFrame, sent);
    QSignalSpy atB(b.get(), &QCanBusDevice::framesReceived);
    QVERIFY(a->writeFrame(sent));
    QVERIFY(atB.wait(5000));
    const QCanBusFrame got = b->readFrame();
    QCOMPARE(got.frameId(), sent.frameId());
    QCOMPARE(got.hasExtendedFrameFormat(), sent.hasExtendedFrameFormat());
    QCOMPARE(got.frameType(), sent.frameType());
    QCOMPARE(got.payload(), sent.payload());

    // The kernel keeps a socket's order: had a's own frame come back, it would come before b's.
    QSignalSpy atA(a.get(), &QCanBusDevice::framesReceived);
    QVERIFY(b->writeFrame(frame(0x42, false, false, QByteArrayLiteral("\x42"))));
    QVERIFY(atA.wait(5000));
    QCOMPARE(a->readFrame().frameId(), 0x42u);
}

void TestSocketCanKernel::bit_rate_key_on_vcan_connects_and_only_logs()
{
    const std::unique_ptr<QCanBusDevice> device = open(250000);
    QVERIFY(device);
    QSignalSpy errors(device.get(), &QCanBusDevice::errorOccurred);
    QVERIFY(device->connectDevice());
    QCOMPARE(device->state(), QCanBusDevice::ConnectedState);
    QCOMPARE(device->error(), QCanBusDevice::NoError);
    QCOMPARE(errors.count(), 0);
    QVERIFY2(pluginLog.contains(QStringLiteral("Cannot apply parameter: 4 with value: 250000.")),
        qPrintable(pluginLog.join(QLatin1Char('|'))));
    // Qt gives back the value it was handed; only the kernel says that a virtual interface
    // has no rate at all, and refuses one.
    QCOMPARE(device->configurationParameter(QCanBusDevice::BitRateKey).toInt(), 250000);
    const LinkInfo link = queryLink("vcan0");
    QCOMPARE(link.kind, QByteArray("vcan"));
    QVERIFY(!link.hasBitTiming);
    QCOMPARE(setBitrate("vcan0", 250000), -EOPNOTSUPP);

    // The device works all the same.
    QSignalSpy atB(b.get(), &QCanBusDevice::framesReceived);
    QVERIFY(device->writeFrame(frame(0x100, false, false, QByteArrayLiteral("\x01"))));
    QVERIFY(atB.wait(5000));
}

void TestSocketCanKernel::every_device_brings_a_rate_of_500000_unless_cleared()
{
    // The plugin tries this rate at each connect: on a real interface that is down, and with
    // libsocketcan, it would replace the interface's own.
    const std::unique_ptr<QCanBusDevice> device = open();
    QCOMPARE(device->configurationParameter(QCanBusDevice::BitRateKey).toInt(), 500000);
    QVERIFY(device->connectDevice());
    QVERIFY(pluginLog.contains(QStringLiteral("Cannot apply parameter: 4 with value: 500000.")));

    pluginLog.clear();
    const std::unique_ptr<QCanBusDevice> cleared = open();
    cleared->setConfigurationParameter(QCanBusDevice::BitRateKey, QVariant());
    QVERIFY(!cleared->configurationKeys().contains(QCanBusDevice::BitRateKey));
    QVERIFY(cleared->connectDevice());
    QVERIFY2(!pluginLog.join(QLatin1Char('|')).contains(QLatin1String("Cannot apply parameter")),
        qPrintable(pluginLog.join(QLatin1Char('|'))));
}

void TestSocketCanKernel::can_interface_reports_the_rate_it_was_given()
{
    SlcanInterface slcan;
    QVERIFY2(slcan.open(), slcan.error.constData());
    const char *name = slcan.name;

    LinkInfo link = queryLink(name);
    QVERIFY(link.found);
    QCOMPARE(link.kind, QByteArray("can"));
    QVERIFY(!link.up);
    QVERIFY(!link.hasBitTiming);

    QCOMPARE(setBitrate(name, 250000), 0);
    link = queryLink(name);
    QVERIFY(link.hasBitTiming);
    QCOMPARE(link.bitrate, 250000u);
    // slcan takes only its fixed list of rates.
    QCOMPARE(setBitrate(name, 300000), -EINVAL);
    QCOMPARE(queryLink(name).bitrate, 250000u);
}

void TestSocketCanKernel::bit_rate_key_on_a_can_interface_takes_only_with_libsocketcan()
{
    SlcanInterface slcan;
    QVERIFY2(slcan.open(), slcan.error.constData());
    QCOMPARE(setBitrate(slcan.name, 250000), 0);

    const std::unique_ptr<QCanBusDevice> device = open(125000, slcan.name);
    QVERIFY(device->connectDevice());
    QCOMPARE(device->state(), QCanBusDevice::ConnectedState);
    // The plugin loads libsocketcan (Debian's libsocketcan2) at run time, for the rate only.
    if (pluginLog.join(QLatin1Char('|')).contains(QLatin1String("Cannot load library libsocketcan"))) {
        QVERIFY(pluginLog.contains(QStringLiteral("Cannot apply parameter: 4 with value: 125000.")));
        QCOMPARE(queryLink(slcan.name).bitrate, 250000u);
    } else {
        QCOMPARE(queryLink(slcan.name).bitrate, 125000u);
        device->disconnectDevice();
        const std::unique_ptr<QCanBusDevice> untouched = open({}, slcan.name);
        QVERIFY(untouched->connectDevice());
        QCOMPARE(queryLink(slcan.name).bitrate, 500000u);
    }
}

void TestSocketCanKernel::interface_down_shows_only_at_the_next_write()
{
    QSignalSpy errors(a.get(), &QCanBusDevice::errorOccurred);
    QSignalSpy states(a.get(), &QCanBusDevice::stateChanged);
    QSignalSpy atB(b.get(), &QCanBusDevice::framesReceived);
    QVERIFY(setInterfaceUp("vcan0", false));
    QVERIFY(!queryLink("vcan0").up);
    // Nothing is signalled while the device only listens...
    QTest::qWait(300);
    QCOMPARE(states.count(), 0);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(a->state(), QCanBusDevice::ConnectedState);
    // ...a write fails at once, and the frame is not kept for later.
    QVERIFY(!a->writeFrame(frame(0x201, false, false, QByteArrayLiteral("\x01"))));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(a->error(), QCanBusDevice::WriteError);
    QCOMPARE(a->errorString(), qt_error_string(ENETDOWN));
    QCOMPARE(a->state(), QCanBusDevice::ConnectedState);
    QCOMPARE(a->framesToWrite(), 0);

    // Up again, the same device writes without reconnecting.
    QVERIFY(setInterfaceUp("vcan0", true));
    QVERIFY(a->writeFrame(frame(0x202, false, false, QByteArrayLiteral("\x02"))));
    QVERIFY(atB.wait(5000));
    QCOMPARE(b->readFrame().frameId(), 0x202u);
    QCOMPARE(states.count(), 0);
}

void TestSocketCanKernel::removed_interface_fails_writes_until_reconnected()
{
    QSignalSpy errors(a.get(), &QCanBusDevice::errorOccurred);
    QSignalSpy states(a.get(), &QCanBusDevice::stateChanged);
    QCOMPARE(deleteLink("vcan0"), 0);
    QTest::qWait(300);
    QCOMPARE(states.count(), 0);
    QCOMPARE(errors.count(), 0);
    QVERIFY(!a->writeFrame(frame(0x301, false, false, QByteArrayLiteral("\x01"))));
    QCOMPARE(a->error(), QCanBusDevice::WriteError);
    QCOMPARE(a->errorString(), qt_error_string(ENXIO));

    // A new vcan0 is another interface: the open socket stays bound to the one that went.
    QCOMPARE(addVcan("vcan0"), 0);
    QVERIFY(setInterfaceUp("vcan0", true));
    QVERIFY(!a->writeFrame(frame(0x302, false, false, QByteArrayLiteral("\x02"))));
    QCOMPARE(a->state(), QCanBusDevice::ConnectedState);

    a->disconnectDevice();
    b->disconnectDevice();
    QVERIFY(a->connectDevice());
    QVERIFY(b->connectDevice());
    QSignalSpy atB(b.get(), &QCanBusDevice::framesReceived);
    QVERIFY(a->writeFrame(frame(0x303, false, false, QByteArrayLiteral("\x03"))));
    QVERIFY(atB.wait(5000));
    QCOMPARE(b->readFrame().frameId(), 0x303u);
}

QTEST_GUILESS_MAIN(TestSocketCanKernel)
#include "tst_socketcankernel.moc"
