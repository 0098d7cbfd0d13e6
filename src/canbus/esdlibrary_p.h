#pragma once

#include "vendorlibrary_p.h"

#include <QtGlobal>

// NTCAN handle and result types differ by platform: a HANDLE and a DWORD on Windows, 32-bit
// integers on Linux. A handle of 0 means none.
#ifdef _WIN32
using EsdHandle = void *;
using EsdResult = quint32;
#else
using EsdHandle = qint32;
using EsdResult = qint32;
#endif

// The library's message record (packed, 16 bytes): the layout CANZAPLRequestCommand::toESDChar
// produces and CANZAPLReplyCommand::update reads.
#pragma pack(push, 1)
struct EsdMessage
{
    qint32 id;
    quint8 len; // low nibble: data length code; 0x10: remote frame
    quint8 msgLost;
    quint8 reserved[2];
    quint8 data[8];
};
#pragma pack(pop)
static_assert(sizeof(EsdMessage) == 16, "NTCAN message record layout");

// Entry points: name, parameters, argument names, byte size of the arguments on 32-bit Windows
// (the decorated export name), and whether the handlers call it. Library versions differ in
// the rest (the Linux library has no canIdRangeAdd, for one): those are bound when present and
// named in the log only when something calls them without the library having them.
#define CH_ESD_FUNCTIONS(F)                                                                                            \
    F(canOpen,                                                                                                         \
        (qint32 net, quint32 flags, qint32 txQueue, qint32 rxQueue, qint32 txTimeout, qint32 rxTimeout,                \
            EsdHandle * handle),                                                                                       \
        (net, flags, txQueue, rxQueue, txTimeout, rxTimeout, handle), 28, true)                                        \
    F(canClose, (EsdHandle handle), (handle), 4, true)                                                                 \
    F(canSetBaudrate, (EsdHandle handle, quint32 baud), (handle, baud), 8, true)                                       \
    F(canGetBaudrate, (EsdHandle handle, quint32 * baud), (handle, baud), 8, false)                                    \
    F(canIdAdd, (EsdHandle handle, qint32 id), (handle, id), 8, true)                                                  \
    F(canIdDelete, (EsdHandle handle, qint32 id), (handle, id), 8, false)                                              \
    F(canIdRangeAdd, (EsdHandle handle, qint32 first, qint32 last), (handle, first, last), 12, false)                  \
    F(canIdRangeDelete, (EsdHandle handle, qint32 first, qint32 last), (handle, first, last), 12, false)               \
    F(canGetOverlappedResult, (EsdHandle handle, void *overlapped, qint32 *len, qint32 wait),                          \
        (handle, overlapped, len, wait), 16, false)                                                                    \
    F(canTake, (EsdHandle handle, EsdMessage * message, qint32 * count), (handle, message, count), 12, true)           \
    F(canRead, (EsdHandle handle, EsdMessage * message, qint32 * count, void *overlapped),                             \
        (handle, message, count, overlapped), 16, false)                                                               \
    F(canSend, (EsdHandle handle, EsdMessage * message, qint32 * count), (handle, message, count), 12, true)           \
    F(canWrite, (EsdHandle handle, EsdMessage * message, qint32 * count, void *overlapped),                            \
        (handle, message, count, overlapped), 16, false)                                                               \
    F(canReadEvent, (EsdHandle handle, void *event, void *overlapped), (handle, event, overlapped), 12, false)         \
    F(canSendEvent, (EsdHandle handle, void *event), (handle, event), 8, false)                                        \
    F(canStatus, (EsdHandle handle, void *status), (handle, status), 8, false)                                         \
    F(canIoctl, (EsdHandle handle, quint32 command, void *argument), (handle, command, argument), 12, false)

// The process-wide NTCAN binding. Every esd handler holds a VendorLibraryUse on library() from
// construction to destruction. Older 32-bit Windows libraries export stdcall functions under
// decorated names, current ones cdecl functions under plain names: each entry point is called
// with the convention of the name it was found under. A missing entry point answers kMissing.
struct EsdLibrary
{
#define CH_ESD_DECLARE(name, params, args, bytes, required)                                                            \
    CH_VENDOR_DECLARE_POINTER(CH_CDECL, EsdResult, name##_cdecl, params)                                               \
    CH_VENDOR_DECLARE_POINTER(CH_STDCALL, EsdResult, name##_stdcall, params)                                           \
    static EsdResult name params                                                                                       \
    {                                                                                                                  \
        return name##_stdcall ? name##_stdcall args : name##_cdecl ? name##_cdecl args : missingCall(#name);           \
    }                                                                                                                  \
    static bool has_##name()                                                                                           \
    {                                                                                                                  \
        return name##_stdcall || name##_cdecl;                                                                         \
    }
    static constexpr EsdResult kMissing = EsdResult(0x7FFFFFFF);
    // Names the entry point in the log and answers kMissing.
    static EsdResult missingCall(const char *name);
    CH_ESD_FUNCTIONS(CH_ESD_DECLARE)
#undef CH_ESD_DECLARE

    static VendorLibrary &library();

    static constexpr EsdResult kSuccess = 0;
};
