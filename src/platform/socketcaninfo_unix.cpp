#include "socketcaninfo_p.h"

#include <QByteArray>
#include <cerrno>
#include <cstring>
// Before the kernel headers, which then leave out what the C library declares here.
#include <net/if.h>

#include <linux/can/netlink.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace ch {
namespace platform {
namespace {

struct Attribute
{
    quint16 type;
    const uchar *data;
    std::size_t size;
};

// Calls `visit` for each attribute of the block [at, at + size) and stops at the first one that
// is cut short. Headers are copied out, so the block needs no particular alignment.
template<typename Visit> void forEachAttribute(const uchar *at, std::size_t size, Visit visit)
{
    while (size >= sizeof(rtattr)) {
        rtattr head {};
        std::memcpy(&head, at, sizeof head);
        if (head.rta_len < RTA_LENGTH(0) || head.rta_len > size)
            return;
        visit(Attribute { quint16(head.rta_type & NLA_TYPE_MASK), at + RTA_LENGTH(0), head.rta_len - RTA_LENGTH(0) });
        const std::size_t step = RTA_ALIGN(head.rta_len);
        if (step >= size)
            return;
        at += step;
        size -= step;
    }
}

quint32 u32(const Attribute &a)
{
    quint32 value = 0;
    if (a.size >= sizeof value)
        std::memcpy(&value, a.data, sizeof value);
    return value;
}

void decodeCanData(const Attribute &data, SocketCanLink &link)
{
    forEachAttribute(data.data, data.size, [&](const Attribute &a) {
        if (a.type == IFLA_CAN_BITTIMING && a.size >= sizeof(can_bittiming))
            link.bitRate = u32(a); // the first field of can_bittiming
        else if (a.type == IFLA_CAN_STATE && a.size >= sizeof(quint32))
            link.canState = int(u32(a));
    });
}

void decodeLinkInfo(const Attribute &info, SocketCanLink &link)
{
    forEachAttribute(info.data, info.size, [&](const Attribute &a) {
        if (a.type == IFLA_INFO_KIND)
            link.kind = QString::fromLatin1(
                reinterpret_cast<const char *>(a.data), int(strnlen(reinterpret_cast<const char *>(a.data), a.size)));
        else if (a.type == IFLA_INFO_DATA)
            decodeCanData(a, link);
    });
}

SocketCanLink unavailable(const QString &why)
{
    SocketCanLink link;
    link.error = why;
    return link;
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

bool decodeSocketCanLink(const void *message, std::size_t length, SocketCanLink &link)
{
    const auto *bytes = static_cast<const uchar *>(message);
    const std::size_t attributesAt = NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ifinfomsg));
    if (!bytes || length < attributesAt)
        return false;
    nlmsghdr head {};
    std::memcpy(&head, bytes, sizeof head);
    if (head.nlmsg_type != RTM_NEWLINK || head.nlmsg_len < attributesAt || head.nlmsg_len > length)
        return false;
    ifinfomsg info {};
    std::memcpy(&info, bytes + NLMSG_HDRLEN, sizeof info);
    SocketCanLink found;
    found.result = SocketCanLink::Found;
    found.isCan = info.ifi_type == ARPHRD_CAN;
    found.up = (info.ifi_flags & IFF_UP) != 0;
    forEachAttribute(bytes + attributesAt, head.nlmsg_len - attributesAt, [&](const Attribute &a) {
        if (a.type == IFLA_LINKINFO)
            decodeLinkInfo(a, found);
    });
    link = found;
    return true;
}

SocketCanLink querySocketCanLink(const QString &interfaceName)
{
    const QByteArray name = interfaceName.toLocal8Bit();
    if (name.isEmpty() || name.size() >= IFNAMSIZ || name.contains('\0') || name.contains('/')) {
        SocketCanLink link;
        link.result = SocketCanLink::NoSuchInterface;
        return link;
    }
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return unavailable(QStringLiteral("no route netlink socket: ") + errnoText(errno));
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer { fd };
    const timeval timeout { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    // One link request naming the interface.
    const quint32 sequence = 1;
    alignas(nlmsghdr) uchar request[NLMSG_LENGTH(sizeof(ifinfomsg)) + RTA_SPACE(IFNAMSIZ)] = {};
    const rtattr nameAttribute { static_cast<unsigned short>(RTA_LENGTH(name.size() + 1)), IFLA_IFNAME };
    nlmsghdr head {};
    head.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg)) + RTA_ALIGN(nameAttribute.rta_len);
    head.nlmsg_type = RTM_GETLINK;
    head.nlmsg_flags = NLM_F_REQUEST;
    head.nlmsg_seq = sequence;
    ifinfomsg info {};
    info.ifi_family = AF_UNSPEC;
    std::memcpy(request, &head, sizeof head);
    std::memcpy(request + NLMSG_HDRLEN, &info, sizeof info);
    uchar *attribute = request + NLMSG_LENGTH(sizeof(ifinfomsg));
    std::memcpy(attribute, &nameAttribute, sizeof nameAttribute);
    std::memcpy(attribute + RTA_LENGTH(0), name.constData(), size_t(name.size()));
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, request, head.nlmsg_len, 0, reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel) < 0)
        return unavailable(QStringLiteral("link query not sent: ") + errnoText(errno));

    std::vector<quint32> buffer(8192); // 32 KiB: a link message with statistics is a few KiB
    for (int attempt = 0; attempt < 4; ++attempt) {
        iovec part { buffer.data(), buffer.size() * sizeof(quint32) };
        msghdr reply {};
        reply.msg_iov = &part;
        reply.msg_iovlen = 1;
        const ssize_t received = ::recvmsg(fd, &reply, 0);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            return unavailable(errno == EAGAIN || errno == EWOULDBLOCK
                    ? QStringLiteral("no answer to the link query within 1 s")
                    : QStringLiteral("link query unanswered: ") + errnoText(errno));
        }
        if (reply.msg_flags & MSG_TRUNC)
            return unavailable(QStringLiteral("link answer too long"));
        const auto *at = reinterpret_cast<const uchar *>(buffer.data());
        std::size_t left = std::size_t(received);
        while (left >= NLMSG_HDRLEN) {
            nlmsghdr message {};
            std::memcpy(&message, at, sizeof message);
            if (message.nlmsg_len < NLMSG_HDRLEN || message.nlmsg_len > left)
                break;
            if (message.nlmsg_seq == sequence) {
                if (message.nlmsg_type == NLMSG_ERROR && message.nlmsg_len >= NLMSG_LENGTH(sizeof(int))) {
                    int error = 0;
                    std::memcpy(&error, at + NLMSG_HDRLEN, sizeof error);
                    if (error == -ENODEV) {
                        SocketCanLink link;
                        link.result = SocketCanLink::NoSuchInterface;
                        return link;
                    }
                    return unavailable(QStringLiteral("link query refused: ") + errnoText(-error));
                }
                SocketCanLink link;
                if (decodeSocketCanLink(at, message.nlmsg_len, link))
                    return link;
            }
            const std::size_t step = NLMSG_ALIGN(message.nlmsg_len);
            if (step >= left)
                break;
            at += step;
            left -= step;
        }
    }
    return unavailable(QStringLiteral("no link answer"));
}

} // namespace platform
} // namespace ch
