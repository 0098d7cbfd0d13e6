// Stand-in for the esd NTCAN library (Linux flavour: 32-bit handles and results, plain names,
// no canIdRangeAdd/canIdRangeDelete, like the current library) on a simulated bus.

#include "vendorfake.h"

#include <bitset>
#include <cstring>

namespace {
using NTCAN_HANDLE = qint32;
using NTCAN_RESULT = qint32;

#pragma pack(push, 1)
struct CMSG
{
    qint32 id;
    quint8 len;
    quint8 msg_lost;
    quint8 reserved[2];
    quint8 data[8];
};
#pragma pack(pop)

constexpr NTCAN_RESULT NTCAN_SUCCESS = 0;
constexpr NTCAN_RESULT NTCAN_INVALID_PARAMETER = 0x101;
constexpr NTCAN_RESULT NTCAN_INVALID_HANDLE = 0x103;
constexpr NTCAN_RESULT NTCAN_NET_NOT_FOUND = 0x11F;
constexpr NTCAN_RESULT NTCAN_TX_ERROR = 0x106;

struct Handle
{
    bool open = false;
    std::bitset<2048> ids; // identifiers enabled for reception
    quint32 baud = 0x7FFFFFFF;
};
constexpr int kHandles = 4;
Handle handles[kHandles + 1]; // index 0 is "no handle"

Handle *handleOf(NTCAN_HANDLE h)
{
    return h > 0 && h <= kHandles && handles[h].open ? &handles[h] : nullptr;
}
} // namespace

extern "C" {
Q_DECL_EXPORT NTCAN_RESULT canOpen(
    qint32 net, quint32 flags, qint32 txQueue, qint32 rxQueue, qint32 txTimeout, qint32 rxTimeout, NTCAN_HANDLE *handle)
{
    const fake::Flags f = fake::flags();
    if (fake::call("canOpen", { net, flags, txQueue, rxQueue, txTimeout, rxTimeout }) || f.failOpen || f.noDevice)
        return NTCAN_NET_NOT_FOUND;
    for (NTCAN_HANDLE h = 1; h <= kHandles; ++h) {
        if (!handles[h].open) {
            handles[h] = Handle();
            handles[h].open = true;
            *handle = h;
            return NTCAN_SUCCESS;
        }
    }
    return NTCAN_INVALID_PARAMETER;
}

Q_DECL_EXPORT NTCAN_RESULT canClose(NTCAN_HANDLE handle)
{
    Handle *h = handleOf(handle);
    if (fake::call("canClose", { handle }) || !h)
        return NTCAN_INVALID_HANDLE;
    *h = Handle();
    return NTCAN_SUCCESS;
}

Q_DECL_EXPORT NTCAN_RESULT canSetBaudrate(NTCAN_HANDLE handle, quint32 baud)
{
    Handle *h = handleOf(handle);
    if (fake::call("canSetBaudrate", { handle, baud }) || fake::flags().failBusOn || !h)
        return NTCAN_INVALID_HANDLE;
    h->baud = baud;
    return NTCAN_SUCCESS;
}

Q_DECL_EXPORT NTCAN_RESULT canGetBaudrate(NTCAN_HANDLE handle, quint32 *baud)
{
    Handle *h = handleOf(handle);
    if (fake::call("canGetBaudrate", { handle }) || !h)
        return NTCAN_INVALID_HANDLE;
    *baud = h->baud;
    return NTCAN_SUCCESS;
}

Q_DECL_EXPORT NTCAN_RESULT canIdAdd(NTCAN_HANDLE handle, qint32 id)
{
    Handle *h = handleOf(handle);
    if (fake::call("canIdAdd", { handle, id }) || !h || id < 0 || id > 2047)
        return NTCAN_INVALID_PARAMETER;
    h->ids.set(size_t(id));
    return NTCAN_SUCCESS;
}

Q_DECL_EXPORT NTCAN_RESULT canIdDelete(NTCAN_HANDLE handle, qint32 id)
{
    Handle *h = handleOf(handle);
    if (fake::call("canIdDelete", { handle, id }) || !h || id < 0 || id > 2047)
        return NTCAN_INVALID_PARAMETER;
    h->ids.reset(size_t(id));
    return NTCAN_SUCCESS;
}

Q_DECL_EXPORT NTCAN_RESULT canGetOverlappedResult(NTCAN_HANDLE, void *, qint32 *, qint32)
{
    return NTCAN_INVALID_PARAMETER; // not implemented on Linux
}

// Non-blocking: frames on identifiers that were not enabled are dropped, as the driver does.
Q_DECL_EXPORT NTCAN_RESULT canTake(NTCAN_HANDLE handle, CMSG *message, qint32 *count)
{
    Handle *h = handleOf(handle);
    if (fake::call("canTake", { handle, *count }) || !h) {
        *count = 0;
        return NTCAN_INVALID_HANDLE;
    }
    const qint32 capacity = *count;
    *count = 0;
    SimCanFrame frame;
    while (*count < capacity && fake::bus().take(frame)) {
        if (frame.id > 2047 || !h->ids.test(frame.id))
            continue;
        CMSG &m = message[*count];
        m = CMSG();
        m.id = qint32(frame.id);
        m.len = quint8((frame.length & 0x0F) | (frame.remote ? 0x10 : 0));
        std::memcpy(m.data, frame.data, 8);
        ++*count;
    }
    return NTCAN_SUCCESS;
}

Q_DECL_EXPORT NTCAN_RESULT canRead(NTCAN_HANDLE handle, CMSG *message, qint32 *count, void *)
{
    return canTake(handle, message, count);
}

Q_DECL_EXPORT NTCAN_RESULT canSend(NTCAN_HANDLE handle, CMSG *message, qint32 *count)
{
    Handle *h = handleOf(handle);
    if (fake::call("canSend", { handle, *count, message->id, message->len }) || fake::flags().refuseSend || !h) {
        *count = 0;
        return h ? NTCAN_TX_ERROR : NTCAN_INVALID_HANDLE;
    }
    for (qint32 i = 0; i < *count; ++i) {
        SimCanFrame frame;
        frame.id = quint32(message[i].id) & 0x1FFFFFFF;
        frame.length = message[i].len & 0x0F;
        std::memcpy(frame.data, message[i].data, 8);
        fake::bus().transmit(frame);
    }
    return NTCAN_SUCCESS;
}

Q_DECL_EXPORT NTCAN_RESULT canWrite(NTCAN_HANDLE handle, CMSG *message, qint32 *count, void *)
{
    return canSend(handle, message, count);
}

Q_DECL_EXPORT NTCAN_RESULT canReadEvent(NTCAN_HANDLE, void *, void *)
{
    return NTCAN_INVALID_PARAMETER;
}

Q_DECL_EXPORT NTCAN_RESULT canSendEvent(NTCAN_HANDLE, void *)
{
    return NTCAN_INVALID_PARAMETER;
}

Q_DECL_EXPORT NTCAN_RESULT canStatus(NTCAN_HANDLE, void *)
{
    return NTCAN_INVALID_PARAMETER;
}

Q_DECL_EXPORT NTCAN_RESULT canIoctl(NTCAN_HANDLE handle, quint32 command, void *)
{
    fake::call("canIoctl", { handle, command });
    return NTCAN_SUCCESS;
}
}
