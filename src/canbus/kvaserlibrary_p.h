#pragma once

#include "vendorlibrary_p.h"

// Kvaser CANlib entry points: return type, name, parameters. `long` stays C long: 4 bytes on
// Windows, 8 on 64-bit Linux, where canRead writes 8 bytes through `long *id`.
#define CH_KVASER_FUNCTIONS(F)                                                                                         \
    F(void, canInitializeLibrary, (void))                                                                              \
    F(int, canOpenChannel, (int channel, int flags))                                                                   \
    F(int, canClose, (int handle))                                                                                     \
    F(int, canSetBusParams,                                                                                            \
        (int handle, long freq, unsigned int tseg1, unsigned int tseg2, unsigned int sjw, unsigned int noSamp,         \
            unsigned int syncmode))                                                                                    \
    F(int, canGetBusParams,                                                                                            \
        (int handle, long *freq, unsigned int *tseg1, unsigned int *tseg2, unsigned int *sjw, unsigned int *noSamp,    \
            unsigned int *syncmode))                                                                                   \
    F(int, canBusOn, (int handle))                                                                                     \
    F(int, canBusOff, (int handle))                                                                                    \
    F(int, canWrite, (int handle, long id, void *msg, unsigned int dlc, unsigned int flag))                            \
    F(int, canRead, (int handle, long *id, void *msg, unsigned int *dlc, unsigned int *flag, unsigned long *time))     \
    F(int, canReadWait,                                                                                                \
        (int handle, long *id, void *msg, unsigned int *dlc, unsigned int *flag, unsigned long *time,                  \
            unsigned long timeout))                                                                                    \
    F(int, canAccept, (int handle, long envelope, unsigned int flag))                                                  \
    F(int, canFlushReceiveQueue, (int handle))                                                                         \
    F(int, canFlushTransmitQueue, (int handle))                                                                        \
    F(int, canIoCtl, (int handle, unsigned int func, void *buf, unsigned int buflen))

// The process-wide CANlib binding. Open handlers hold a VendorLibraryUse on library().
// Entry points that the library lacks stay null: callers check the ones they need with
// has(), since a CANlib without some of them is still accepted.
struct KvaserLibrary
{
#define CH_KVASER_POINTER(Ret, name, params) CH_VENDOR_DECLARE_POINTER(CH_STDCALL, Ret, name, params)
    CH_KVASER_FUNCTIONS(CH_KVASER_POINTER)
#undef CH_KVASER_POINTER

    static VendorLibrary &library();
    // True when every entry point the handlers call is bound.
    static bool hasCoreFunctions();

    static constexpr int kOpenRequireInitAccess = 0x80;
    static constexpr int kOpenNoInitAccess = 0x100;
    static constexpr int kStatusNotFound = -3; // what a call without its entry point reports
};
