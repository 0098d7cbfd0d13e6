// Stand-in for the Kvaser CANlib on a simulated bus. Prototypes as the vendor declares them on
// Linux: `long` is the platform's C long.

#include "vendorfake.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int canOK = 0;
constexpr int canERR_PARAM = -1;
constexpr int canERR_NOMSG = -2;
constexpr int canERR_NOTFOUND = -3;
constexpr int canERR_INVHANDLE = -10;
constexpr int kChannels = 2;

struct Channel
{
    bool open = false;
    bool busOn = false;
    long bitsPerSecond = 1000000;
};
Channel channels[kChannels];

Channel *channelOf(int handle)
{
    return handle >= 0 && handle < kChannels && channels[handle].open ? &channels[handle] : nullptr;
}

// The library's predefined rates: -1 = 1 Mbit/s ... -9 = 10 kbit/s.
long bitsPerSecondOf(long code)
{
    static const long rates[] = { 1000000, 500000, 250000, 125000, 100000, 62500, 50000, 83333, 10000 };
    return code <= -1 && code >= -9 ? rates[-code - 1] : 0;
}
} // namespace

extern "C" {
Q_DECL_EXPORT void canInitializeLibrary(void)
{
    fake::call("canInitializeLibrary");
}

Q_DECL_EXPORT int canOpenChannel(int channel, int flags)
{
    const fake::Flags f = fake::flags();
    if (fake::call("canOpenChannel", { channel, flags }) || f.failOpen || f.noDevice || channel < 0
        || channel >= kChannels)
        return canERR_NOTFOUND;
    channels[channel] = Channel();
    channels[channel].open = true;
    return channel;
}

Q_DECL_EXPORT int canClose(int handle)
{
    fake::call("canClose", { handle });
    Channel *c = channelOf(handle);
    if (!c)
        return canERR_INVHANDLE;
    *c = Channel();
    return canOK;
}

Q_DECL_EXPORT int canSetBusParams(int handle, long freq, unsigned int tseg1, unsigned int tseg2, unsigned int sjw,
    unsigned int noSamp, unsigned int syncmode)
{
    Channel *c = channelOf(handle);
    if (fake::call("canSetBusParams", { handle, freq, tseg1, tseg2, sjw, noSamp, syncmode }) || !c)
        return canERR_PARAM;
    const long bits = freq > 0 ? freq : bitsPerSecondOf(freq);
    if (bits == 0)
        return canERR_PARAM;
    c->bitsPerSecond = bits;
    return canOK;
}

Q_DECL_EXPORT int canGetBusParams(int handle, long *freq, unsigned int *tseg1, unsigned int *tseg2, unsigned int *sjw,
    unsigned int *noSamp, unsigned int *syncmode)
{
    Channel *c = channelOf(handle);
    if (fake::call("canGetBusParams", { handle }) || !c)
        return canERR_INVHANDLE;
    if (freq)
        *freq = fake::reportBitrate(c->bitsPerSecond);
    for (unsigned int *p : { tseg1, tseg2, sjw, noSamp, syncmode }) {
        if (p)
            *p = 1;
    }
    return canOK;
}

Q_DECL_EXPORT int canBusOn(int handle)
{
    Channel *c = channelOf(handle);
    if (fake::call("canBusOn", { handle }) || fake::flags().failBusOn || !c)
        return canERR_PARAM;
    c->busOn = true;
    return canOK;
}

Q_DECL_EXPORT int canBusOff(int handle)
{
    Channel *c = channelOf(handle);
    if (fake::call("canBusOff", { handle }) || !c)
        return canERR_INVHANDLE;
    c->busOn = false;
    return canOK;
}

Q_DECL_EXPORT int canWrite(int handle, long id, void *msg, unsigned int dlc, unsigned int flag)
{
    Channel *c = channelOf(handle);
    if (fake::call("canWrite", { handle, id, dlc, flag }) || fake::flags().refuseSend || !c || !c->busOn || dlc > 8)
        return canERR_PARAM;
    SimCanFrame frame;
    frame.id = quint32(id);
    frame.length = quint8(dlc);
    std::memcpy(frame.data, msg, dlc);
    fake::bus().transmit(frame);
    return canOK;
}

Q_DECL_EXPORT int canRead(int handle, long *id, void *msg, unsigned int *dlc, unsigned int *flag, unsigned long *time)
{
    Channel *c = channelOf(handle);
    SimCanFrame frame;
    if (fake::call("canRead", { handle }) || !c || !c->busOn || !fake::bus().take(frame))
        return canERR_NOMSG;
    *id = long(frame.id);
    *dlc = frame.length; // a length code above 8 still carries 8 bytes
    std::memcpy(msg, frame.data, std::min<size_t>(frame.length, 8));
    if (flag)
        *flag = 0x0002;
    if (time)
        *time = 0;
    return canOK;
}

Q_DECL_EXPORT int canReadWait(
    int handle, long *id, void *msg, unsigned int *dlc, unsigned int *flag, unsigned long *time, unsigned long timeout)
{
    Q_UNUSED(timeout)
    return canRead(handle, id, msg, dlc, flag, time);
}

Q_DECL_EXPORT int canAccept(int handle, long envelope, unsigned int flag)
{
    fake::call("canAccept", { handle, envelope, flag });
    return canOK;
}

Q_DECL_EXPORT int canFlushReceiveQueue(int handle)
{
    fake::call("canFlushReceiveQueue", { handle });
    fake::bus().clear();
    return canOK;
}

Q_DECL_EXPORT int canFlushTransmitQueue(int handle)
{
    fake::call("canFlushTransmitQueue", { handle });
    return canOK;
}

#ifndef FAKE_WITHOUT_canIoCtl
Q_DECL_EXPORT int canIoCtl(int handle, unsigned int func, void *buf, unsigned int buflen)
{
    Q_UNUSED(buf)
    fake::call("canIoCtl", { handle, func, buflen });
    return canOK;
}
#endif
}
