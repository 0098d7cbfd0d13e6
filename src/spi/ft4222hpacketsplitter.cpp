#include "ft4222hpacketsplitter_p.h"

void FT4222HPacketSplitter::append(const quint8 *data, int length)
{
    if (data && length > 0)
        m_bytes.insert(m_bytes.end(), data, data + length);
}

void FT4222HPacketSplitter::compact()
{
    // Erase consumed bytes in one go rather than per byte; at most six bytes remain.
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + std::ptrdiff_t(m_head));
    m_head = 0;
}
