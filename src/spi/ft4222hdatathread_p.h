#pragma once

#include "ft4222hpacketsplitter_p.h"

#include <QThread>
#include <atomic>
#include <memory>

class FT4222HBridge;

// Polls interface A of the bridge and turns the received bytes into packets. newReadPacket is
// emitted in this thread; the handler connects it directly.
class FT4222HDataThread : public QThread
{
    Q_OBJECT
public:
    explicit FT4222HDataThread(std::shared_ptr<FT4222HBridge> bridge, QObject *parent = nullptr);
    ~FT4222HDataThread() override;

    // Marks the reader running before the thread starts, so a request right after the
    // handler's open never finds it "not running".
    void begin(QThread::Priority priority);
    void stop() { m_running.store(false, std::memory_order_release); }
    // stop() and a wait of up to timeoutMs; true when the thread has ended.
    bool stopAndJoin(unsigned long timeoutMs);
    bool running() const { return m_running.load(std::memory_order_acquire); }
    // For a reader that did not stop in time: it deletes itself once run() has ended (or at
    // once, if it has), through deleteLater in the thread that owns this object.
    void orphan();

signals:
    void newReadPacket(quint8 sync, quint8 id, quint8 timeStamp, qint32 registerValue);

protected:
    void run() override;

private:
    std::shared_ptr<FT4222HBridge> m_bridge;
    FT4222HPacketSplitter m_bytes; // the received bytes: this thread's alone while it runs
    std::atomic<bool> m_running { false };
    // Ended is set as run()'s last step and read after the join, so the join is an ordering
    // edge of its own, whatever QThread::wait() does inside. Of run()'s end and orphan(), the
    // later one sees the other's state and deletes.
    enum State { Idle, Running, Ended, Orphaned };
    std::atomic<int> m_state { Idle };
};
