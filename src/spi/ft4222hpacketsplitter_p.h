#pragma once

#include <QtGlobal>
#include <vector>

// Splits the byte stream the module sends into 7-byte packets (sync 0x50, id, time stamp or
// register, 32-bit value most significant byte first). No I/O: bytes in, decisions out.
// A byte that does not start a packet is dropped and reported, so a lost sync recovers
// byte by byte.
class FT4222HPacketSplitter
{
public:
    struct Packet
    {
        quint8 sync;
        quint8 id;
        quint8 timeStamp;
        qint32 value;
    };
    static constexpr quint8 kSync = 0x50;
    static constexpr int kPacketLength = 7;

    void append(const quint8 *data, int length);
    void clear()
    {
        m_bytes.clear();
        m_head = 0;
    }
    int size() const { return int(m_bytes.size() - m_head); }

    // Takes whole packets while more than six bytes are buffered: onPacket(const Packet &) for
    // each, onDropped(qint8 byte, int bufferedBeforeRemoval) for each byte skipped.
    template<typename OnPacket, typename OnDropped> void split(OnPacket onPacket, OnDropped onDropped)
    {
        while (size() >= kPacketLength) {
            const int before = size();
            const quint8 first = m_bytes[m_head++];
            if (first != kSync) {
                onDropped(qint8(first), before);
                continue;
            }
            const quint8 *p = &m_bytes[m_head];
            m_head += kPacketLength - 1;
            onPacket(Packet { first, p[0], p[1],
                qint32((quint32(p[2]) << 24) | (quint32(p[3]) << 16) | (quint32(p[4]) << 8) | p[5]) });
        }
        compact();
    }

private:
    void compact();

    std::vector<quint8> m_bytes;
    size_t m_head = 0; // bytes before it are consumed
};
