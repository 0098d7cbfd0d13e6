#include "canrecords_p.h"

#include <algorithm>
#include <cstring>

namespace canrecords {
namespace {
constexpr quint8 kPeakRemote = 0x01;
constexpr quint8 kPeakExtended = 0x02;
constexpr quint8 kPeakErrorOrStatus = 0x40 | 0x80;
constexpr quint32 kEsdExtendedId = 0x20000000;
constexpr quint8 kEsdRemote = 0x10;
constexpr quint8 kIxxatData = 0;
constexpr quint8 kIxxatRemote = 0x40;
constexpr quint8 kIxxatExtended = 0x80;

// Length code as reported, data as far as both the code and the record allow.
void fill(CanReceived &received, quint32 id, const quint8 *data, size_t available, int lengthCode)
{
    received.frame = CanMessage();
    received.frame.id = id;
    received.frame.setData(data, int(std::min<size_t>(available, size_t(qBound(0, lengthCode, 8)))));
    received.rawLength = lengthCode;
}
} // namespace

CanReceived fromKvaser(long id, const quint8 *data, size_t available, unsigned int dlc)
{
    CanReceived received;
    // The largest length code any channel reports is 64 (a flexible-data-rate frame).
    fill(received, quint32(id), data, available, int(std::min(dlc, 64u)));
    return received;
}

PeakMessage toPeak(const CanMessage &frame)
{
    PeakMessage message;
    message.id = frame.id;
    message.type = quint8((frame.remote ? kPeakRemote : 0) | (frame.extended ? kPeakExtended : 0));
    message.length = quint8(qBound(0, frame.length, 8));
    std::memcpy(message.data, frame.data, sizeof message.data);
    return message;
}

bool fromPeak(const PeakMessage &message, CanReceived &received)
{
    if (message.type & kPeakErrorOrStatus)
        return false;
    fill(received, message.id, message.data, sizeof message.data, message.length);
    received.frame.remote = message.type & kPeakRemote;
    received.frame.extended = message.type & kPeakExtended;
    return true;
}

EsdMessage toEsd(const CanMessage &frame)
{
    EsdMessage message = {};
    message.id = qint32(frame.id | (frame.extended ? kEsdExtendedId : 0));
    message.len = quint8(qBound(0, frame.length, 8) | (frame.remote ? kEsdRemote : 0));
    std::memcpy(message.data, frame.data, sizeof message.data);
    return message;
}

CanReceived fromEsd(const EsdMessage &message)
{
    CanReceived received;
    const quint32 id = quint32(message.id);
    fill(received, id & ~kEsdExtendedId, message.data, sizeof message.data, message.len & 0x0F);
    received.frame.extended = id & kEsdExtendedId;
    received.frame.remote = message.len & kEsdRemote;
    static_assert(sizeof message == sizeof received.record, "esd record size");
    std::memcpy(received.record, &message, sizeof message);
    received.hasRecord = true;
    return received;
}

vci::Message toIxxat(const CanMessage &frame)
{
    vci::Message message = {};
    message.id = frame.id;
    message.type = kIxxatData;
    message.flags = quint8((qBound(0, frame.length, 8) & 0x0F) | (frame.remote ? kIxxatRemote : 0)
        | (frame.extended ? kIxxatExtended : 0));
    std::memcpy(message.data, frame.data, sizeof message.data);
    return message;
}

bool fromIxxat(const vci::Message &message, CanReceived &received)
{
    if (message.type != kIxxatData)
        return false;
    fill(received, message.id, message.data, sizeof message.data, message.flags & 0x0F);
    received.frame.remote = message.flags & kIxxatRemote;
    received.frame.extended = message.flags & kIxxatExtended;
    return true;
}

} // namespace canrecords
