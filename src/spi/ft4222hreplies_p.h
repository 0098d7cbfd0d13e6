#pragma once

#include <QtGlobal>
#include <atomic>
#include <optional>

// What the reader thread hands to the caller's thread: the acknowledge, the reply to the
// register read awaited, the last configuration reply, and the packets to count for the
// statistics. Lock-free: a reply is one atomic word, stored whole once its packet is complete
// and taken whole, so its register and value always belong together.
class FT4222HReplies
{
public:
    struct Reply
    {
        quint8 reg;
        qint32 value;
    };

    // Caller's thread.
    void clearAcknowledge() { m_acknowledge.store(false, std::memory_order_relaxed); }
    bool takeAcknowledge() { return m_acknowledge.exchange(false, std::memory_order_acquire); }
    // From now on a register reply is kept only when it is for `reg`; none is kept before.
    void awaitRegister(quint8 reg)
    {
        m_register.store(0, std::memory_order_relaxed);
        m_awaited.store(reg, std::memory_order_release);
    }
    void stopAwaiting()
    {
        m_awaited.store(kNone, std::memory_order_release);
        m_register.store(0, std::memory_order_relaxed);
    }
    std::optional<Reply> takeRegisterReply() { return unpack(m_register.exchange(0, std::memory_order_acquire)); }
    void clearConfigReply() { m_config.store(0, std::memory_order_relaxed); }
    std::optional<Reply> takeConfigReply() { return unpack(m_config.exchange(0, std::memory_order_acquire)); }
    int takePacketCount() { return m_packets.exchange(0, std::memory_order_relaxed); }

    // Reader thread.
    void acknowledge() { m_acknowledge.store(true, std::memory_order_release); }
    // False, and nothing kept, for a reply that no read awaits.
    bool putRegisterReply(quint8 reg, qint32 value)
    {
        if (m_awaited.load(std::memory_order_acquire) != reg)
            return false;
        m_register.store(pack(reg, value), std::memory_order_release);
        return true;
    }
    void putConfigReply(quint8 reg, qint32 value) { m_config.store(pack(reg, value), std::memory_order_release); }
    void countPacket() { m_packets.fetch_add(1, std::memory_order_relaxed); }

private:
    static constexpr quint64 kValid = quint64(1) << 40;
    static constexpr int kNone = -1;
    static quint64 pack(quint8 reg, qint32 value) { return kValid | (quint64(reg) << 32) | quint32(value); }
    static std::optional<Reply> unpack(quint64 word)
    {
        if (!(word & kValid))
            return std::nullopt;
        return Reply { quint8(word >> 32), qint32(quint32(word)) };
    }

    std::atomic<bool> m_acknowledge { false };
    std::atomic<int> m_awaited { kNone };
    std::atomic<quint64> m_register { 0 };
    std::atomic<quint64> m_config { 0 }; // starts clear: no read-back compares against nothing
    std::atomic<int> m_packets { 0 };
};
