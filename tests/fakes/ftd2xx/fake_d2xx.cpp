#include "fake_d2xx.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

using namespace fake;

namespace {
struct Device
{
    std::string description;
    DWORD locId = 0;
};

struct State
{
    std::mutex lock;
    std::vector<Device> devices;
    Handle handles[16];
    bool failNextOpen = false;
    bool failSlaveWrite = false;
    bool stallReads = false;
    int stalledReads = 0;
    std::condition_variable stallEnded;
    std::vector<std::uint8_t> lastWrite;
    SimSpiMaster master;

    void defaults()
    {
        devices = { { "FT4222 A", 0x11 }, { "FT4222 B", 0x12 } };
        for (Handle &h : handles)
            h = Handle();
        failNextOpen = false;
        failSlaveWrite = false;
        stallReads = false;
        stallEnded.notify_all();
        lastWrite.clear();
    }
    State() { defaults(); }
};

State &state()
{
    static State s;
    return s;
}

void copyText(void *dest, const std::string &text, size_t size)
{
    if (!dest)
        return;
    std::memset(dest, 0, size);
    std::memcpy(dest, text.data(), std::min(text.size(), size - 1));
}

// snprintf rather than std::to_string, whose digit table is a unique symbol: a library holding
// one is never unloaded, and the loading tests check that the handler's release unloads.
void copySerial(void *dest, size_t index)
{
    char text[16];
    std::snprintf(text, sizeof text, "FAKE%zu", index);
    copyText(dest, text, sizeof text);
}

struct ListNode // the vendor's FT_DEVICE_LIST_INFO_NODE layout
{
    DWORD flags, type, id, locId;
    char serialNumber[16];
    char description[64];
    FT_HANDLE handle;
};
} // namespace

namespace fake {
Handle *lookup(FT_HANDLE h)
{
    State &s = state();
    for (Handle &candidate : s.handles) {
        if (&candidate == h && candidate.open)
            return &candidate;
    }
    return nullptr;
}

SimSpiMaster &bridge()
{
    return state().master;
}

bool slaveWrite(const std::uint8_t *data, unsigned length)
{
    State &s = state();
    {
        std::lock_guard<std::mutex> lock(s.lock);
        if (s.failSlaveWrite)
            return false;
        s.lastWrite.assign(data, data + length);
    }
    s.master.slaveWrite(data, length);
    return true;
}

void gpioWrite(Handle *h, int line, bool level)
{
    bool rising = false;
    {
        std::lock_guard<std::mutex> lock(state().lock);
        rising = line == 1 && level && !h->gpio[1];
        h->gpio[line] = level;
    }
    if (rising)
        bridge().pulse();
}
} // namespace fake

// ---- D2XX entry points ----------------------------------------------------------------------

FAKE_EXPORT FT_STATUS FT_CreateDeviceInfoList(DWORD *numDevs)
{
    if (!numDevs)
        return InvalidParameter;
    std::lock_guard<std::mutex> lock(state().lock);
    *numDevs = DWORD(state().devices.size());
    return Ok;
}

FAKE_EXPORT FT_STATUS FT_GetDeviceInfoList(ListNode *dest, DWORD *numDevs)
{
    if (!dest || !numDevs)
        return InvalidParameter;
    State &s = state();
    std::lock_guard<std::mutex> lock(s.lock);
    for (size_t i = 0; i < s.devices.size(); ++i) {
        ListNode &n = dest[i];
        n.flags = 2;
        n.type = 10;
        n.id = 0x0403601c;
        n.locId = s.devices[i].locId;
        copySerial(n.serialNumber, i);
        copyText(n.description, s.devices[i].description, sizeof n.description);
        n.handle = nullptr;
    }
    *numDevs = DWORD(s.devices.size());
    return Ok;
}

FAKE_EXPORT FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD *flags, DWORD *type, DWORD *id, DWORD *locId,
    void *serialNumber, void *description, FT_HANDLE *handle)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.lock);
    if (index >= s.devices.size())
        return DeviceNotFound;
    if (flags)
        *flags = 2;
    if (type)
        *type = 10;
    if (id)
        *id = 0x0403601c;
    if (locId)
        *locId = s.devices[index].locId;
    copySerial(serialNumber, index);
    copyText(description, s.devices[index].description, 64);
    if (handle)
        *handle = nullptr;
    return Ok;
}

FAKE_EXPORT FT_STATUS FT_OpenEx(void *arg, DWORD how, FT_HANDLE *handle)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.lock);
    if (!handle || how != 4)
        return InvalidParameter;
    if (s.failNextOpen) {
        s.failNextOpen = false;
        return DeviceNotOpened;
    }
    const DWORD location = DWORD(reinterpret_cast<std::uintptr_t>(arg));
    for (size_t d = 0; d < s.devices.size(); ++d) {
        if (s.devices[d].locId != location)
            continue;
        for (Handle &h : s.handles) {
            if (h.open)
                continue;
            h = Handle();
            h.open = true;
            h.device = int(d);
            const std::string &desc = s.devices[d].description;
            h.kind = desc == "FT4222 A" ? Interface::SpiA : desc == "FT4222 B" ? Interface::GpioB : Interface::Other;
            *handle = &h;
            return Ok;
        }
        return OtherError;
    }
    return DeviceNotFound;
}

FAKE_EXPORT FT_STATUS FT_Close(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(state().lock);
    Handle *h = lookup(handle);
    if (!h)
        return InvalidHandle;
    h->open = false;
    return Ok;
}

FAKE_EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE handle, DWORD readMs, DWORD)
{
    std::lock_guard<std::mutex> lock(state().lock);
    Handle *h = lookup(handle);
    if (!h)
        return InvalidHandle;
    h->readTimeoutMs = readMs;
    return Ok;
}

FAKE_EXPORT FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD toRead, DWORD *read)
{
    DWORD timeout = 0;
    Interface kind = Interface::Other;
    {
        State &s = state();
        std::unique_lock<std::mutex> lock(s.lock);
        Handle *h = lookup(handle);
        if (!h)
            return InvalidHandle;
        timeout = h->readTimeoutMs;
        kind = h->kind;
        if (kind == Interface::SpiA && s.stallReads) {
            // A read that hangs in the driver; capped so that a test can never hang for good.
            ++s.stalledReads;
            s.stallEnded.wait_for(lock, std::chrono::seconds(10), [&s] { return !s.stallReads; });
            --s.stalledReads;
        }
    }
    if (!buffer || !read)
        return InvalidParameter;
    *read
        = kind == Interface::SpiA ? DWORD(bridge().slaveRead(static_cast<quint8 *>(buffer), toRead, int(timeout))) : 0;
    return Ok;
}

FAKE_EXPORT FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, DWORD toWrite, DWORD *written)
{
    {
        std::lock_guard<std::mutex> lock(state().lock);
        Handle *h = lookup(handle);
        if (!h || h->kind != Interface::SpiA)
            return InvalidHandle;
    }
    if (!buffer || !written)
        return InvalidParameter;
    if (!slaveWrite(static_cast<const std::uint8_t *>(buffer), toWrite))
        return IoError;
    *written = toWrite;
    return Ok;
}

FAKE_EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD *rxBytes)
{
    bool spi = false;
    {
        std::lock_guard<std::mutex> lock(state().lock);
        Handle *h = lookup(handle);
        if (!h || !rxBytes)
            return InvalidHandle;
        spi = h->kind == Interface::SpiA;
    }
    *rxBytes = spi ? DWORD(bridge().pending()) : 0;
    return Ok;
}

FAKE_EXPORT FT_STATUS FT_GetStatus(FT_HANDLE handle, DWORD *rxBytes, DWORD *txBytes, DWORD *eventStatus)
{
    if (txBytes)
        *txBytes = 0;
    if (eventStatus)
        *eventStatus = 0;
    DWORD rx = 0;
    const FT_STATUS status = FT_GetQueueStatus(handle, &rx);
    if (rxBytes)
        *rxBytes = rx;
    return status;
}

FAKE_EXPORT FT_STATUS FT_GetDriverVersion(FT_HANDLE handle, DWORD *version)
{
    std::lock_guard<std::mutex> lock(state().lock);
    if (!lookup(handle) || !version)
        return InvalidHandle;
    *version = 0x00010300;
    return Ok;
}

FAKE_EXPORT FT_STATUS FT_GetLibraryVersion(DWORD *version)
{
    if (!version)
        return InvalidParameter;
    *version = 0x00010426;
    return Ok;
}

// ---- control of the fake --------------------------------------------------------------------

FAKE_EXPORT void fake_reset()
{
    state().master.reset();
    std::lock_guard<std::mutex> lock(state().lock);
    state().defaults();
}

// Replaces the device list; location identifiers are 0x11, 0x12, ... in list order.
FAKE_EXPORT void fake_setDevices(const char *const *descriptions, int count)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.lock);
    s.devices.clear();
    for (int i = 0; i < count; ++i)
        s.devices.push_back({ descriptions[i] ? descriptions[i] : "", DWORD(0x11 + i) });
}

FAKE_EXPORT void fake_failNextOpen()
{
    std::lock_guard<std::mutex> lock(state().lock);
    state().failNextOpen = true;
}

FAKE_EXPORT void fake_failSlaveWrite(int fail)
{
    std::lock_guard<std::mutex> lock(state().lock);
    state().failSlaveWrite = fail != 0;
}

// The bytes of the last slave write; returns their count.
FAKE_EXPORT int fake_lastWrite(unsigned char *buffer, int max)
{
    std::lock_guard<std::mutex> lock(state().lock);
    const auto &w = state().lastWrite;
    const int n = std::min(int(w.size()), max);
    std::copy_n(w.begin(), n, buffer);
    return int(w.size());
}

FAKE_EXPORT int fake_openHandles()
{
    std::lock_guard<std::mutex> lock(state().lock);
    return int(
        std::count_if(std::begin(state().handles), std::end(state().handles), [](const Handle &h) { return h.open; }));
}

FAKE_EXPORT void fake_setAcknowledgeOnWrite(int n)
{
    bridge().setAcknowledgeOnWrite(n);
}

FAKE_EXPORT void fake_setRegisterReplies(int enabled)
{
    bridge().setRegisterRepliesEnabled(enabled != 0);
}

FAKE_EXPORT void fake_holdAnswers(int kinds)
{
    bridge().holdAnswers(kinds);
}

FAKE_EXPORT void fake_setStrayReplies(int n)
{
    bridge().setStrayReplies(n);
}

// Reads on interface A hang until called with 0 (at most 10 s each).
FAKE_EXPORT void fake_stallReads(int stall)
{
    std::lock_guard<std::mutex> lock(state().lock);
    state().stallReads = stall != 0;
    state().stallEnded.notify_all();
}

FAKE_EXPORT int fake_stalledReads()
{
    std::lock_guard<std::mutex> lock(state().lock);
    return state().stalledReads;
}

FAKE_EXPORT void fake_setConfigReadbackErrors(int n)
{
    bridge().setConfigReadbackErrors(n);
}

FAKE_EXPORT void fake_setLiveRate(int packetsPerSecond)
{
    bridge().setLiveRate(packetsPerSecond);
}

FAKE_EXPORT void fake_setRegister(int motor, int reg, int value)
{
    bridge().setRegister(quint8(motor), quint8(reg), value);
}

FAKE_EXPORT int fake_register(int motor, int reg)
{
    return bridge().registerValue(quint8(motor), quint8(reg));
}

FAKE_EXPORT unsigned fake_configRegister(int reg)
{
    return bridge().configRegister(quint8(reg));
}

FAKE_EXPORT int fake_configWrites()
{
    return bridge().configWrites();
}

FAKE_EXPORT void fake_inject(const unsigned char *bytes, int length)
{
    if (bytes && length > 0)
        bridge().inject(bytes, size_t(length));
}

FAKE_EXPORT int fake_isLive()
{
    return bridge().isLive() ? 1 : 0;
}

FAKE_EXPORT int fake_framesTaken()
{
    return bridge().framesTaken();
}
