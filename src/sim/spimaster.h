#pragma once

#include <QtGlobal>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

// A module that is SPI master behind a USB-SPI bridge whose host side is SPI slave. The host
// queues bytes with slaveWrite() and raises the data-available line (pulse()); the module then
// clocks the queued bytes out, takes every frame in them (7 bytes from the sync byte 0x50; a
// leading 0x00 is skipped), acknowledges and answers into the host's receive stream, which
// the host drains with slaveRead(). Thread-safe; no threads of its own (the live stream is
// produced lazily when the host reads).
//
// Frames handled: 0x20 read configuration register, 0x30 write configuration register,
// 0x4M read register of motor M, 0x5M write register, 0x70 start live data, 0x80 stop.
// Packets sent: 0xF0 acknowledge, 0x20 configuration reply, 0x4M register reply,
// 0x6C live data of channel C (channels 0-3 in turn, time stamp counting up).
class SimSpiMaster
{
public:
    SimSpiMaster();

    // Host side.
    void slaveWrite(const quint8 *data, size_t length);
    void pulse();
    // Up to `max` bytes, waiting up to timeoutMs for `max` to be available.
    size_t slaveRead(quint8 *buffer, size_t max, int timeoutMs);
    size_t pending();
    void reset();

    // Behaviour. Each frame is acknowledged on its n-th write (counting writes since the last
    // acknowledge); 0 never acknowledges.
    void setAcknowledgeOnWrite(int n);
    void setRegisterRepliesEnabled(bool enabled);
    // Answers of the given kinds are held back until holdAnswers(0) sends them all, in the
    // order they were produced: late answers. Live data is never held.
    enum AnswerKind { Acknowledges = 1, Replies = 2 };
    void holdAnswers(int kinds);
    // The next n register reads are first answered for the register after the one asked.
    void setStrayReplies(int n);
    // The next n configuration read-backs answer a wrong value; -1 every one.
    void setConfigReadbackErrors(int n);
    // Live packets per second; 0 as fast as the host reads.
    void setLiveRate(int packetsPerSecond);
    void setRegister(quint8 motor, quint8 reg, qint32 value);
    qint32 registerValue(quint8 motor, quint8 reg);
    quint32 configRegister(quint8 reg);
    // Raw bytes into the host's stream (noise, partial packets, unknown types).
    void inject(const quint8 *data, size_t length);
    bool isLive();
    int framesTaken();
    int configWrites();

private:
    void takeFrame(const quint8 *frame);
    void queuePacket(quint8 id, quint8 byte2, quint32 value, int kind = 0);
    qint32 &registerSlot(quint8 motor, quint8 reg);
    void produceLive();

    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<quint8> m_slaveTx;
    std::deque<quint8> m_toHost;
    std::vector<quint8> m_held;
    int m_holding = 0;
    int m_strayReplies = 0;
    std::map<std::pair<quint8, quint8>, qint32> m_registers;
    quint32 m_config[8] = {};
    int m_ackOnWrite = 1;
    int m_writesSinceAck = 0;
    bool m_registerReplies = true;
    int m_readbackErrors = 0;
    int m_liveRate = 1000;
    bool m_live = false;
    std::chrono::steady_clock::time_point m_liveStart;
    quint64 m_liveSent = 0;
    int m_framesTaken = 0;
    int m_configWrites = 0;
    static constexpr size_t kMaxQueued = 1 << 16; // a host that stops reading must not exhaust memory
};
