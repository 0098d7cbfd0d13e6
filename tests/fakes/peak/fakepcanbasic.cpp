// Stand-in for PCAN-Basic on a simulated bus. DWORD is 32 bits on Linux as on Windows.

#include "vendorfake.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
using DWORD = quint32;
using WORD = quint16;
using BYTE = quint8;

struct TPCANMsg
{
    DWORD ID;
    BYTE MSGTYPE;
    BYTE LEN;
    BYTE DATA[8];
};
struct TPCANTimestamp
{
    DWORD millis;
    WORD millis_overflow;
    WORD micros;
};

constexpr DWORD PCAN_ERROR_OK = 0;
constexpr DWORD PCAN_ERROR_QRCVEMPTY = 0x20;
constexpr DWORD PCAN_ERROR_QXMTFULL = 0x80;
constexpr DWORD PCAN_ERROR_CAUTION = 0x2000000;
constexpr DWORD PCAN_ERROR_INITIALIZE = 0x4000000;
constexpr DWORD PCAN_ERROR_ILLHW = 0x1400;
constexpr DWORD PCAN_ERROR_ILLPARAMVAL = 0x8000;

struct Channel
{
    WORD handle = 0;
    bool initialised = false;
    long bitsPerSecond = 0;
};
Channel channels[2] = { { 0x51, false, 0 }, { 0x52, false, 0 } };

Channel *channelOf(WORD handle, bool mustBeInitialised = true)
{
    for (Channel &c : channels) {
        if (c.handle == handle && (c.initialised || !mustBeInitialised))
            return &c;
    }
    return nullptr;
}

long bitsPerSecondOf(WORD btr0btr1)
{
    static const struct
    {
        WORD code;
        long bits;
    } table[] = { { 0x0014, 1000000 }, { 0x0016, 800000 }, { 0x001C, 500000 }, { 0x011C, 250000 }, { 0x031C, 125000 },
        { 0x432F, 100000 }, { 0x472F, 50000 }, { 0x532F, 20000 }, { 0x672F, 10000 } };
    for (const auto &row : table) {
        if (row.code == btr0btr1)
            return row.bits;
    }
    return 0;
}
} // namespace

extern "C" {
Q_DECL_EXPORT DWORD CAN_Initialize(WORD channel, WORD btr0btr1, BYTE hwType, DWORD ioPort, WORD interrupt)
{
    const fake::Flags f = fake::flags();
    Channel *c = channelOf(channel, false);
    if (fake::call("CAN_Initialize", { channel, btr0btr1, hwType, ioPort, interrupt }) || f.noDevice || !c)
        return PCAN_ERROR_ILLHW;
    if (f.failOpen)
        return PCAN_ERROR_INITIALIZE;
    c->initialised = true;
    c->bitsPerSecond = bitsPerSecondOf(btr0btr1);
    return f.caution ? PCAN_ERROR_CAUTION : PCAN_ERROR_OK;
}

Q_DECL_EXPORT DWORD CAN_Uninitialize(WORD channel)
{
    Channel *c = channelOf(channel);
    if (fake::call("CAN_Uninitialize", { channel }) || !c)
        return PCAN_ERROR_INITIALIZE;
    c->initialised = false;
    return PCAN_ERROR_OK;
}

Q_DECL_EXPORT DWORD CAN_Reset(WORD channel)
{
    if (fake::call("CAN_Reset", { channel }) || !channelOf(channel))
        return PCAN_ERROR_INITIALIZE;
    fake_set_bus_status(0);
    fake::bus().clear();
    return PCAN_ERROR_OK;
}

Q_DECL_EXPORT DWORD CAN_GetStatus(WORD channel)
{
    if (fake::call("CAN_GetStatus", { channel }) || !channelOf(channel))
        return PCAN_ERROR_INITIALIZE;
    return fake::flags().busStatus;
}

Q_DECL_EXPORT DWORD CAN_Read(WORD channel, TPCANMsg *message, TPCANTimestamp *timestamp)
{
    SimCanFrame frame;
    if (fake::call("CAN_Read", { channel }) || !channelOf(channel))
        return PCAN_ERROR_INITIALIZE;
    if (!fake::bus().take(frame))
        return PCAN_ERROR_QRCVEMPTY;
    message->ID = frame.id;
    message->MSGTYPE = frame.extended ? 0x02 : 0x00;
    message->LEN = frame.length;
    std::memcpy(message->DATA, frame.data, 8);
    if (timestamp)
        *timestamp = TPCANTimestamp { 0, 0, 0 };
    return PCAN_ERROR_OK;
}

Q_DECL_EXPORT DWORD CAN_Write(WORD channel, TPCANMsg *message)
{
    if (fake::call("CAN_Write", { channel, message->ID, message->MSGTYPE, message->LEN }) || !channelOf(channel))
        return PCAN_ERROR_INITIALIZE;
    if (fake::flags().refuseSend)
        return PCAN_ERROR_QXMTFULL;
    if (message->LEN > 8)
        return PCAN_ERROR_ILLPARAMVAL;
    SimCanFrame frame;
    frame.id = message->ID;
    frame.extended = message->MSGTYPE & 0x02;
    frame.length = message->LEN;
    std::memcpy(frame.data, message->DATA, message->LEN);
    fake::bus().transmit(frame);
    return PCAN_ERROR_OK;
}

#ifndef FAKE_WITHOUT_CAN_FilterMessages
Q_DECL_EXPORT DWORD CAN_FilterMessages(WORD channel, DWORD fromId, DWORD toId, BYTE mode)
{
    if (fake::call("CAN_FilterMessages", { channel, fromId, toId, mode }) || !channelOf(channel))
        return PCAN_ERROR_INITIALIZE;
    return PCAN_ERROR_OK;
}
#endif

Q_DECL_EXPORT DWORD CAN_GetValue(WORD channel, BYTE parameter, void *buffer, DWORD length)
{
    if (fake::call("CAN_GetValue", { channel, parameter, length }) || !buffer)
        return PCAN_ERROR_ILLPARAMVAL;
    Channel *c = channelOf(channel, parameter == 0x1A);
    if (!c)
        return PCAN_ERROR_INITIALIZE;
    if (parameter == 0x0E) { // hardware name, a string
        std::snprintf(static_cast<char *>(buffer), length, "fake adapter %u", unsigned(channel));
        return PCAN_ERROR_OK;
    }
    if (length < 4)
        return PCAN_ERROR_ILLPARAMVAL;
    DWORD value = 0;
    if (parameter == 0x1A)
        value = DWORD(fake::reportBitrate(c->bitsPerSecond));
    else if (parameter == 0x0D)
        value = fake::flags().noDevice ? 0 : 1; // channel available
    std::memcpy(buffer, &value, 4);
    return PCAN_ERROR_OK;
}

Q_DECL_EXPORT DWORD CAN_SetValue(WORD channel, BYTE parameter, void *buffer, DWORD length)
{
    DWORD value = 0;
    if (buffer && length >= 4)
        std::memcpy(&value, buffer, 4);
    if (fake::call("CAN_SetValue", { channel, parameter, value, length }) || !buffer)
        return PCAN_ERROR_ILLPARAMVAL;
    return PCAN_ERROR_OK;
}

Q_DECL_EXPORT DWORD CAN_GetErrorText(DWORD error, WORD language, char *buffer)
{
    fake::call("CAN_GetErrorText", { error, language });
    std::snprintf(buffer, 256, error == 0 ? "No error" : "Fake status 0x%X", unsigned(error));
    return PCAN_ERROR_OK;
}
}
