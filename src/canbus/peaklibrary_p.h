#pragma once

#include "vendorlibrary_p.h"

#include <QtGlobal>

// PCAN-Basic types: DWORD is 32 bits on every platform (the Linux header takes it from the
// driver's __u32), a channel is a WORD.
using PeakStatus = quint32;
using PeakChannel = quint16;

// The library's message record (natural alignment, 16 bytes), under the library's own tag, so
// that a host holding one passes it to the CANopen handler's report helpers as it is.
struct tagTPCANMsg
{
    quint32 id = 0;
    quint8 type = 0; // 0 = standard data frame
    quint8 length = 0;
    quint8 data[8] = {};
};
using PeakMessage = tagTPCANMsg;
static_assert(sizeof(PeakMessage) == 16, "PCAN message record layout");

struct PeakTimestamp
{
    quint32 millis = 0;
    quint16 millisOverflow = 0;
    quint16 micros = 0;
};
static_assert(sizeof(PeakTimestamp) == 8, "PCAN time stamp layout");

#define CH_PEAK_FUNCTIONS(F)                                                                                           \
    F(PeakStatus, CAN_Initialize,                                                                                      \
        (PeakChannel channel, quint16 btr0btr1, quint8 hwType, quint32 ioPort, quint16 interrupt))                     \
    F(PeakStatus, CAN_Uninitialize, (PeakChannel channel))                                                             \
    F(PeakStatus, CAN_Reset, (PeakChannel channel))                                                                    \
    F(PeakStatus, CAN_GetStatus, (PeakChannel channel))                                                                \
    F(PeakStatus, CAN_Read, (PeakChannel channel, PeakMessage * message, PeakTimestamp * timestamp))                   \
    F(PeakStatus, CAN_Write, (PeakChannel channel, PeakMessage * message))                                             \
    F(PeakStatus, CAN_FilterMessages, (PeakChannel channel, quint32 fromId, quint32 toId, quint8 mode))                \
    F(PeakStatus, CAN_GetValue, (PeakChannel channel, quint8 parameter, void *buffer, quint32 length))                 \
    F(PeakStatus, CAN_SetValue, (PeakChannel channel, quint8 parameter, void *buffer, quint32 length))                 \
    F(PeakStatus, CAN_GetErrorText, (PeakStatus error, quint16 language, char *buffer))

// The process-wide PCAN-Basic binding; a library lacking any of its entry points is refused.
struct PeakLibrary
{
#define CH_PEAK_POINTER(Ret, name, params) CH_VENDOR_DECLARE_POINTER(CH_STDCALL, Ret, name, params)
    CH_PEAK_FUNCTIONS(CH_PEAK_POINTER)
#undef CH_PEAK_POINTER

    static VendorLibrary &library();
    // CAN_GetErrorText into a bounded buffer.
    static QString errorText(PeakStatus status);

    static constexpr PeakChannel kUsbBus1 = 0x51;
    static constexpr PeakChannel kUsbBus2 = 0x52;
    static constexpr PeakChannel kNoChannel = 0xFFFF;
    static constexpr PeakStatus kOk = 0;
    static constexpr PeakStatus kBusLight = 0x4;
    static constexpr PeakStatus kBusHeavy = 0x8;
    static constexpr PeakStatus kCaution = 0x02000000;
    static constexpr quint8 kBusOffAutoReset = 0x07;
    static constexpr quint8 kChannelCondition = 0x0D;
    static constexpr quint8 kHardwareName = 0x0E;
    static constexpr quint8 kBitrateAdapting = 0x17;
    static constexpr quint8 kBusSpeedNominal = 0x1A;
};
