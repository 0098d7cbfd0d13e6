#pragma once

// Shared core of the two FTDI fakes. Each library that compiles it gets its own instance (its
// own device list, handles and bridge), as the real libftd2xx.so and the D2XX bundled in
// libft4222.so are separate instances: a handle from one is unknown to the other.

#include "spimaster.h"

#include <cstdint>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace fake {
using DWORD = unsigned int; // 4 bytes, as in the vendor's Linux type header
using FT_STATUS = unsigned int;
using FT_HANDLE = void *;

enum Status : FT_STATUS {
    Ok = 0,
    InvalidHandle = 1,
    DeviceNotFound = 2,
    DeviceNotOpened = 3,
    IoError = 4,
    InvalidParameter = 6,
    OtherError = 18
};
enum class Interface { Other, SpiA, GpioB };

struct Handle
{
    int device = -1;
    Interface kind = Interface::Other;
    bool open = false;
    DWORD readTimeoutMs = 0;
    bool gpioReady = false;
    bool spiSlaveReady = false;
    bool gpio[4] = {};
};

// The open handle `h` of this instance, or null.
Handle *lookup(FT_HANDLE h);
SimSpiMaster &bridge();
// Slave write through the fake's failure switch; records the bytes for fake_lastWrite.
bool slaveWrite(const std::uint8_t *data, unsigned length);
// GPIO line change on interface B; a rising edge of line 1 lets the module take the frames.
void gpioWrite(Handle *h, int line, bool level);
} // namespace fake
