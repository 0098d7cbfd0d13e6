// LibFT4222 entry points over the shared D2XX core of this library instance.
#include "fake_d2xx.h"

#include <mutex>

using namespace fake;

namespace {
using FT4222_STATUS = unsigned int;
constexpr FT4222_STATUS kNotSupported = 1014; // the interface is not in the right mode for the call
using uint8 = unsigned char;
using uint16 = unsigned short;
using BOOL = unsigned int;

struct Version
{
    DWORD chipVersion;
    DWORD dllVersion;
};

// The handle of the right interface, or null.
Handle *interfaceOf(FT_HANDLE handle, Interface kind)
{
    Handle *h = lookup(handle);
    return h && h->kind == kind ? h : nullptr;
}

FT4222_STATUS status(FT_HANDLE handle)
{
    return lookup(handle) ? Ok : InvalidHandle;
}
} // namespace

FAKE_EXPORT FT4222_STATUS FT4222_UnInitialize(FT_HANDLE handle)
{
    return status(handle);
}

FAKE_EXPORT FT4222_STATUS FT4222_SetClock(FT_HANDLE handle, int clk)
{
    return clk < 0 || clk > 3 ? InvalidParameter : status(handle);
}

FAKE_EXPORT FT4222_STATUS FT4222_GetClock(FT_HANDLE handle, int *clk)
{
    if (clk)
        *clk = 3;
    return status(handle);
}

FAKE_EXPORT FT4222_STATUS FT4222_GetVersion(FT_HANDLE handle, Version *version)
{
    if (!lookup(handle) || !version)
        return InvalidHandle;
    version->chipVersion = 0x42220400;
    version->dllVersion = 0x01040444;
    return Ok;
}

FAKE_EXPORT FT4222_STATUS FT4222_GetMaxTransferSize(FT_HANDLE handle, uint16 *size)
{
    if (size)
        *size = 512;
    return status(handle);
}

FAKE_EXPORT FT4222_STATUS FT4222_GPIO_Init(FT_HANDLE handle, int dirs[4])
{
    Handle *h = interfaceOf(handle, Interface::GpioB);
    if (!h)
        return lookup(handle) ? kNotSupported : InvalidHandle;
    for (int i = 0; i < 4; ++i) {
        if (dirs[i] != 0 && dirs[i] != 1)
            return InvalidParameter;
    }
    h->gpioReady = true;
    return Ok;
}

FAKE_EXPORT FT4222_STATUS FT4222_GPIO_Read(FT_HANDLE handle, int port, BOOL *value)
{
    Handle *h = interfaceOf(handle, Interface::GpioB);
    if (!h || !h->gpioReady || port < 0 || port > 3 || !value)
        return kNotSupported;
    *value = h->gpio[port];
    return Ok;
}

FAKE_EXPORT FT4222_STATUS FT4222_GPIO_Write(FT_HANDLE handle, int port, BOOL value)
{
    Handle *h = interfaceOf(handle, Interface::GpioB);
    if (!h || !h->gpioReady || port < 0 || port > 3)
        return kNotSupported;
    gpioWrite(h, port, value != 0);
    return Ok;
}

FAKE_EXPORT FT4222_STATUS FT4222_SPIMaster_Init(FT_HANDLE handle, int, int, int, int, uint8)
{
    return status(handle) == Ok ? kNotSupported : InvalidHandle; // this bridge's module is the master
}

FAKE_EXPORT FT4222_STATUS FT4222_SPIMaster_SingleRead(FT_HANDLE, uint8 *, uint16, uint16 *, BOOL)
{
    return kNotSupported;
}

FAKE_EXPORT FT4222_STATUS FT4222_SPIMaster_SingleWrite(FT_HANDLE, uint8 *, uint16, uint16 *, BOOL)
{
    return kNotSupported;
}

FAKE_EXPORT FT4222_STATUS FT4222_SPIMaster_SingleReadWrite(FT_HANDLE, uint8 *, uint8 *, uint16, uint16 *, BOOL)
{
    return kNotSupported;
}

FAKE_EXPORT FT4222_STATUS FT4222_SPISlave_InitEx(FT_HANDLE handle, int protocol)
{
    Handle *h = interfaceOf(handle, Interface::SpiA);
    if (!h)
        return lookup(handle) ? kNotSupported : InvalidHandle;
    if (protocol < 0 || protocol > 2)
        return InvalidParameter;
    h->spiSlaveReady = true;
    return Ok;
}

FAKE_EXPORT FT4222_STATUS FT4222_SPISlave_Init(FT_HANDLE handle)
{
    return FT4222_SPISlave_InitEx(handle, 0);
}

FAKE_EXPORT FT4222_STATUS FT4222_SPISlave_GetRxStatus(FT_HANDLE handle, uint16 *rxSize)
{
    if (!interfaceOf(handle, Interface::SpiA) || !rxSize)
        return InvalidHandle;
    const size_t n = bridge().pending();
    *rxSize = uint16(n > 0xFFFF ? 0xFFFF : n);
    return Ok;
}

FAKE_EXPORT FT4222_STATUS FT4222_SPISlave_Read(FT_HANDLE handle, uint8 *buffer, uint16 size, uint16 *read)
{
    if (!interfaceOf(handle, Interface::SpiA) || !buffer || !read)
        return InvalidHandle;
    *read = uint16(bridge().slaveRead(buffer, size, 0));
    return Ok;
}

FAKE_EXPORT FT4222_STATUS FT4222_SPISlave_Write(FT_HANDLE handle, uint8 *buffer, uint16 size, uint16 *written)
{
    Handle *h = interfaceOf(handle, Interface::SpiA);
    if (!h || !buffer || !written)
        return InvalidHandle;
    if (!h->spiSlaveReady)
        return kNotSupported;
    if (!slaveWrite(buffer, size)) {
        *written = 0;
        return IoError;
    }
    *written = size;
    return Ok;
}

FAKE_EXPORT FT4222_STATUS FT4222_SPI_Reset(FT_HANDLE handle)
{
    return status(handle);
}

#ifndef FAKE_OMIT_DRIVING_STRENGTH
FAKE_EXPORT FT4222_STATUS FT4222_SPI_SetDrivingStrength(FT_HANDLE handle, int, int, int)
{
    return status(handle);
}
#endif
