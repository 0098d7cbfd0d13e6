// Reading a SocketCAN interface's kind and bit rate back from the kernel's link messages.
#include "socketcaninfo_p.h"

#include <QtTest>
#include <cstring>
#include <net/if.h>

#include <linux/can/netlink.h>
#include <linux/if_arp.h>
#include <linux/rtnetlink.h>

using ch::platform::SocketCanLink;

namespace {
// An attribute as the kernel lays it out: header, payload, padding to 4 bytes.
QByteArray attribute(quint16 type, const QByteArray &payload)
{
    rtattr head {};
    head.rta_type = type;
    head.rta_len = quint16(RTA_LENGTH(payload.size()));
    QByteArray bytes(reinterpret_cast<const char *>(&head), sizeof head);
    bytes += payload;
    bytes.append(QByteArray(int(RTA_ALIGN(bytes.size()) - bytes.size()), '\0'));
    return bytes;
}

QByteArray u32(quint32 v)
{
    return QByteArray(reinterpret_cast<const char *>(&v), sizeof v);
}

QByteArray linkMessage(
    unsigned short linkType, unsigned flags, const QByteArray &attributes, quint16 type = RTM_NEWLINK)
{
    ifinfomsg info {};
    info.ifi_type = linkType;
    info.ifi_flags = flags;
    nlmsghdr head {};
    head.nlmsg_type = type;
    head.nlmsg_len = quint32(NLMSG_LENGTH(sizeof info) + attributes.size());
    return QByteArray(reinterpret_cast<const char *>(&head), sizeof head)
        + QByteArray(reinterpret_cast<const char *>(&info), sizeof info) + attributes;
}

QByteArray bitTiming(quint32 bitRate)
{
    can_bittiming timing {};
    timing.bitrate = bitRate;
    timing.sample_point = 875;
    return QByteArray(reinterpret_cast<const char *>(&timing), sizeof timing);
}
} // namespace

class TestSocketCanInfo : public QObject
{
    Q_OBJECT
private slots:
    void decodes_link_messages_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("decoded");
        QTest::addColumn<bool>("isCan");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("up");
        QTest::addColumn<uint>("bitRate");
        QTest::addColumn<int>("canState");

        const QByteArray name = attribute(IFLA_IFNAME, QByteArray("can0", 5));
        QTest::newRow("virtual, up") << linkMessage(
            ARPHRD_CAN, IFF_UP, name + attribute(IFLA_LINKINFO, attribute(IFLA_INFO_KIND, QByteArray("vcan", 4))))
                                     << true << true << "vcan" << true << 0u << -1;
        const QByteArray canData = attribute(IFLA_CAN_BITTIMING, bitTiming(500000)) + attribute(IFLA_CAN_STATE, u32(4));
        QTest::newRow("controller at 500 kbit/s, bus-off") << linkMessage(ARPHRD_CAN, 0,
            name
                + attribute(IFLA_LINKINFO | NLA_F_NESTED,
                    attribute(IFLA_INFO_KIND, QByteArray("can", 4)) + attribute(IFLA_INFO_DATA, canData)))
                                                           << true << true << "can" << false << 500000u << 4;
        QTest::newRow("bit timing cut short") << linkMessage(ARPHRD_CAN, 0,
            attribute(IFLA_LINKINFO,
                attribute(IFLA_INFO_KIND, "can")
                    + attribute(IFLA_INFO_DATA, attribute(IFLA_CAN_BITTIMING, u32(500000)))))
                                              << true << true << "can" << false << 0u << -1;
        QTest::newRow("ethernet") << linkMessage(ARPHRD_ETHER, IFF_UP, name) << true << false << "" << true << 0u << -1;
        QByteArray overlong = linkMessage(ARPHRD_CAN, 0, attribute(IFLA_LINKINFO, attribute(IFLA_INFO_KIND, "vcan")));
        overlong[int(NLMSG_LENGTH(sizeof(ifinfomsg)))] = char(0x7F); // the attribute claims more than there is
        QTest::newRow("attribute past the end") << overlong << true << true << "" << false << 0u << -1;
        QTest::newRow("address message") << linkMessage(ARPHRD_CAN, 0, name, RTM_NEWADDR) << false << false << ""
                                         << false << 0u << -1;
        QTest::newRow("cut inside the header")
            << linkMessage(ARPHRD_CAN, 0, name).left(20) << false << false << "" << false << 0u << -1;
        QByteArray claimsMore = linkMessage(ARPHRD_CAN, 0, name);
        claimsMore[0] = char(claimsMore.size() + 8); // nlmsg_len beyond the bytes given
        QTest::newRow("length beyond the bytes") << claimsMore << false << false << "" << false << 0u << -1;
    }

    void decodes_link_messages()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, decoded);
        // An odd start, so that nothing relies on the buffer's alignment.
        const QByteArray shifted = QByteArray(1, '\0') + message;
        SocketCanLink link;
        QCOMPARE(ch::platform::decodeSocketCanLink(shifted.constData() + 1, size_t(message.size()), link), decoded);
        if (!decoded)
            return;
        QCOMPARE(int(link.result), int(SocketCanLink::Found));
        QTEST(link.isCan, "isCan");
        QTEST(link.kind, "kind");
        QTEST(link.up, "up");
        QTEST(uint(link.bitRate), "bitRate");
        QTEST(link.canState, "canState");
    }

    void queries_the_kernel_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("result");
        QTest::newRow("loopback") << "lo" << int(SocketCanLink::Found);
        QTest::newRow("absent") << "nosuchcan7" << int(SocketCanLink::NoSuchInterface);
        QTest::newRow("empty") << "" << int(SocketCanLink::NoSuchInterface);
        QTest::newRow("longer than an interface name") << "can0123456789abcdef" << int(SocketCanLink::NoSuchInterface);
    }

    void queries_the_kernel()
    {
        QFETCH(QString, name);
        QFETCH(int, result);
        const SocketCanLink link = ch::platform::querySocketCanLink(name);
        if (link.result == SocketCanLink::Unavailable)
            QSKIP(qPrintable(QStringLiteral("no route netlink here: ") + link.error));
        QCOMPARE(int(link.result), result);
        QVERIFY(!link.isCan); // the loopback is no CAN interface
    }
};

QTEST_GUILESS_MAIN(TestSocketCanInfo)
#include "tst_socketcaninfo.moc"
