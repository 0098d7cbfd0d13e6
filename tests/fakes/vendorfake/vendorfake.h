#pragma once

// Shared core of the vendor fakes: one simulated bus with ZAPL modules on it, call counting,
// recorded arguments and scripted failures. Each fake library links its own copy, so every
// vendor has a bus of its own.

#include "canbus.h"

#include <QtGlobal>
#include <mutex>

namespace fake {

struct Flags
{
    bool failOpen = false;
    bool failBusOn = false;
    bool caution = false;
    bool refuseSend = false;
    bool noDevice = false;
    quint32 busStatus = 0; // PEAK: what CAN_GetStatus answers
    long reportedBitrate = 0; // bit/s the library reports; 0 follows the rate that was set
};

SimCanBus &bus();
Flags flags();

// Counts a call to `name` and records its arguments (at most 8). True when this call is
// scripted to fail (fake_fail_call).
bool call(const char *name, std::initializer_list<long long> arguments = {});

// Nominal bit/s for a rate in kbit/s unless a reported rate was scripted.
long reportBitrate(long bitsPerSecond);

} // namespace fake

// Control functions, exported with C linkage so tests can resolve them by name.
extern "C" {
Q_DECL_EXPORT SimCanBus *fake_bus();
// Back to one ZAPL module at address 1 answering on identifier 2, no failures, no counts.
Q_DECL_EXPORT void fake_reset();
// Adds a ZAPL module; its replies go out on `replyId`.
Q_DECL_EXPORT void fake_add_module(int address, int replyId);
Q_DECL_EXPORT void fake_fail_open(int on);
Q_DECL_EXPORT void fake_fail_bus_on(int on);
Q_DECL_EXPORT void fake_set_caution(int on);
Q_DECL_EXPORT void fake_refuse_send(int on);
Q_DECL_EXPORT void fake_set_no_device(int on);
Q_DECL_EXPORT void fake_set_bus_status(unsigned int status);
Q_DECL_EXPORT void fake_set_reported_bitrate(long bitsPerSecond);
// The n-th call of `name` from now on (1 = the next one) fails.
Q_DECL_EXPORT void fake_fail_call(const char *name, int n);
Q_DECL_EXPORT int fake_call_count(const char *name);
// Argument `index` of the last call of `name`; 0 when there was none.
Q_DECL_EXPORT long long fake_last_arg(const char *name, int index);
}
