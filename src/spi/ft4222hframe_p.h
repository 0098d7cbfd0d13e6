#pragma once

#include <QtGlobal>
#include <optional>

// A frame the host queues for the module: sync byte 0x50, identifier, register, 32-bit value
// most significant byte first. While live data flows the module expects a zero byte first.
// No I/O: values in, bytes out.
class FT4222HFrame
{
public:
    enum Identifier : quint8 {
        ReadConfig = 0x20,
        WriteConfig = 0x30,
        ReadRegister = 0x40, // OR motor or bank
        WriteRegister = 0x50, // OR motor or bank
        StartDebugger = 0x70,
        StopDebugger = 0x80
    };
    static constexpr quint8 kSync = 0x50;

    FT4222HFrame(quint8 identifier, quint8 reg, quint32 value, bool live)
        : m_bytes { 0x00, kSync, identifier, reg, quint8(value >> 24), quint8(value >> 16), quint8(value >> 8),
              quint8(value) },
          m_live(live)
    { }
    // A register frame's identifier carries the motor or bank in its low nibble. None when it
    // does not fit: the frame would be another kind, a read a write, a write the start of live data.
    static std::optional<quint8> registerIdentifier(quint8 base, quint8 motor)
    {
        return motor <= 0x0F ? std::optional<quint8>(quint8(base | motor)) : std::nullopt;
    }

    quint8 *data() { return m_live ? m_bytes : m_bytes + 1; }
    quint32 size() const { return m_live ? 8 : 7; }

private:
    quint8 m_bytes[8];
    bool m_live;
};

// Types of the packets the module sends (high nibble of their identifier).
enum FT4222HPacketType : quint8 { ConfigReply = 0x20, RegisterReply = 0x40, LiveData = 0x60, Acknowledge = 0xF0 };
