#pragma once

#include <QString>
#include <QtGlobal>
#include <cstddef>

namespace ch {
namespace platform {

// What the kernel tells about the network interface behind a SocketCAN device: whether it is a
// CAN interface at all, whether it is virtual, and the bit rate it runs at.
struct SocketCanLink
{
    enum Result { Found, NoSuchInterface, Unavailable };
    Result result = Unavailable;
    QString kind; // the link kind: "can", "vcan", "vxcan"; empty where the driver names none
    bool isCan = false; // a CAN link type, whatever its kind
    bool up = false;
    quint32 bitRate = 0; // bit/s; 0 when the interface has none (virtual) or reports none
    int canState = -1; // the controller state (4 = bus-off); -1 when not reported
    QString error; // why the result is Unavailable

    bool isVirtual() const { return kind == QLatin1String("vcan") || kind == QLatin1String("vxcan"); }
};

// Asks the kernel about `interfaceName` (an rtnetlink link query on Linux; Unavailable where
// there is no SocketCAN). Waits at most one second for the answer.
SocketCanLink querySocketCanLink(const QString &interfaceName);

// Decodes one link message as the kernel sends it (header included) into `link`; false when
// the bytes are no link message or are cut short. Reads nothing outside the `length` bytes.
bool decodeSocketCanLink(const void *message, std::size_t length, SocketCanLink &link);

} // namespace platform
} // namespace ch
