#include "spimaster.h"

#include <algorithm>

namespace {
constexpr quint8 kSync = 0x50;
constexpr int kFrameLength = 7;
} // namespace

SimSpiMaster::SimSpiMaster()
{
    reset();
}

void SimSpiMaster::reset()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_slaveTx.clear();
    m_toHost.clear();
    m_held.clear();
    m_holding = 0;
    m_strayReplies = 0;
    m_registers.clear();
    std::fill(std::begin(m_config), std::end(m_config), 0u);
    m_ackOnWrite = 1;
    m_writesSinceAck = 0;
    m_registerReplies = true;
    m_readbackErrors = 0;
    m_liveRate = 1000;
    m_live = false;
    m_liveSent = 0;
    m_framesTaken = 0;
    m_configWrites = 0;
}

void SimSpiMaster::slaveWrite(const quint8 *data, size_t length)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_slaveTx.size() + length <= kMaxQueued)
        m_slaveTx.insert(m_slaveTx.end(), data, data + length);
}

void SimSpiMaster::pulse()
{
    std::lock_guard<std::mutex> lock(m_lock);
    size_t i = 0;
    while (i < m_slaveTx.size()) {
        if (m_slaveTx[i] != kSync) {
            ++i; // padding zero or noise between frames
            continue;
        }
        if (m_slaveTx.size() - i < kFrameLength)
            break;
        takeFrame(&m_slaveTx[i]);
        i += kFrameLength;
    }
    // Clocking out empties the slave buffer; an incomplete frame is lost like on the wire.
    m_slaveTx.clear();
    m_arrived.notify_all();
}

void SimSpiMaster::takeFrame(const quint8 *f)
{
    ++m_framesTaken;
    if (m_ackOnWrite <= 0 || ++m_writesSinceAck < m_ackOnWrite)
        return; // the module missed this write; the host retries
    m_writesSinceAck = 0;
    queuePacket(0xF0, 0, 0, Acknowledges);
    const quint8 id = f[1];
    const quint8 reg = f[2];
    const quint32 value = (quint32(f[3]) << 24) | (quint32(f[4]) << 16) | (quint32(f[5]) << 8) | f[6];
    switch (id & 0xF0) {
    case 0x20: {
        quint32 answer = reg < 8 ? m_config[reg] : 0;
        if (m_readbackErrors != 0) {
            answer ^= 1;
            if (m_readbackErrors > 0)
                --m_readbackErrors;
        }
        queuePacket(0x20, reg, answer, Replies);
        break;
    }
    case 0x30:
        if (reg < 8)
            m_config[reg] = value;
        ++m_configWrites;
        break;
    case 0x40:
        if (m_strayReplies > 0) {
            --m_strayReplies;
            const quint8 other = quint8(reg + 1);
            queuePacket(id, other, quint32(registerSlot(quint8(id & 0x0F), other)), Replies);
        }
        if (m_registerReplies)
            queuePacket(id, reg, quint32(registerSlot(quint8(id & 0x0F), reg)), Replies);
        break;
    case 0x50:
        registerSlot(quint8(id & 0x0F), reg) = qint32(value);
        break;
    case 0x70:
        m_live = true;
        m_liveStart = std::chrono::steady_clock::now();
        m_liveSent = 0;
        break;
    case 0x80:
        m_live = false;
        break;
    default:
        break;
    }
}

void SimSpiMaster::queuePacket(quint8 id, quint8 byte2, quint32 value, int kind)
{
    const bool held = (kind & m_holding) != 0;
    if ((held ? m_held.size() : m_toHost.size()) + kFrameLength > kMaxQueued)
        return;
    const quint8 p[kFrameLength]
        = { kSync, id, byte2, quint8(value >> 24), quint8(value >> 16), quint8(value >> 8), quint8(value) };
    if (held)
        m_held.insert(m_held.end(), p, p + kFrameLength);
    else
        m_toHost.insert(m_toHost.end(), p, p + kFrameLength);
}

qint32 &SimSpiMaster::registerSlot(quint8 motor, quint8 reg)
{
    // emplace rather than operator[]: the latter's piecewise construction leaves a unique symbol
    // in the FTDI fakes, which then can never be unloaded.
    return m_registers.emplace(std::make_pair(motor, reg), 0).first->second;
}

void SimSpiMaster::produceLive()
{
    if (!m_live)
        return;
    quint64 due = m_liveSent + 64;
    if (m_liveRate > 0) {
        const auto us
            = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_liveStart)
                  .count();
        due = quint64(us) * quint64(m_liveRate) / 1000000u;
    }
    while (m_liveSent < due && m_toHost.size() + kFrameLength <= kMaxQueued) {
        const quint8 channel = quint8(m_liveSent % 4);
        const qint32 value = qint32(m_liveSent / 4) * (channel % 2 ? -1 : 1) * qint32(channel + 1);
        queuePacket(quint8(0x60 | channel), quint8(m_liveSent / 4), quint32(value));
        ++m_liveSent;
    }
}

size_t SimSpiMaster::slaveRead(quint8 *buffer, size_t max, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        produceLive();
        if (m_toHost.size() >= max || std::chrono::steady_clock::now() >= deadline)
            break;
        // Live packets fall due with time, not with a notification: look again soon.
        const auto step
            = m_live ? std::min(deadline, std::chrono::steady_clock::now() + std::chrono::microseconds(200)) : deadline;
        m_arrived.wait_until(lock, step);
    }
    const size_t n = std::min(max, m_toHost.size());
    std::copy_n(m_toHost.begin(), n, buffer);
    m_toHost.erase(m_toHost.begin(), m_toHost.begin() + std::ptrdiff_t(n));
    return n;
}

size_t SimSpiMaster::pending()
{
    std::lock_guard<std::mutex> lock(m_lock);
    produceLive();
    return m_toHost.size();
}

void SimSpiMaster::setAcknowledgeOnWrite(int n)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_ackOnWrite = n;
    m_writesSinceAck = 0;
}

void SimSpiMaster::setRegisterRepliesEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_registerReplies = enabled;
}

void SimSpiMaster::setConfigReadbackErrors(int n)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_readbackErrors = n;
}

void SimSpiMaster::setLiveRate(int packetsPerSecond)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_liveRate = std::max(packetsPerSecond, 0);
    m_liveStart = std::chrono::steady_clock::now();
    m_liveSent = 0;
}

void SimSpiMaster::holdAnswers(int kinds)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_holding = kinds;
    if (kinds == 0) {
        m_toHost.insert(m_toHost.end(), m_held.begin(), m_held.end());
        m_held.clear();
        m_arrived.notify_all();
    }
}

void SimSpiMaster::setStrayReplies(int n)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_strayReplies = std::max(n, 0);
}

void SimSpiMaster::setRegister(quint8 motor, quint8 reg, qint32 value)
{
    std::lock_guard<std::mutex> lock(m_lock);
    registerSlot(motor, reg) = value;
}

qint32 SimSpiMaster::registerValue(quint8 motor, quint8 reg)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_registers.find({ motor, reg });
    return it == m_registers.end() ? 0 : it->second;
}

quint32 SimSpiMaster::configRegister(quint8 reg)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return reg < 8 ? m_config[reg] : 0;
}

void SimSpiMaster::inject(const quint8 *data, size_t length)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_toHost.size() + length <= kMaxQueued)
        m_toHost.insert(m_toHost.end(), data, data + length);
    m_arrived.notify_all();
}

bool SimSpiMaster::isLive()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_live;
}

int SimSpiMaster::framesTaken()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_framesTaken;
}

int SimSpiMaster::configWrites()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_configWrites;
}
