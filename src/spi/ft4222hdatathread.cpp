#include "ft4222hdatathread_p.h"

#include "chlog_p.h"
#include "ft4222hbridge_p.h"
#include "global.h"

#include <climits>

FT4222HDataThread::FT4222HDataThread(std::shared_ptr<FT4222HBridge> bridge, QObject *parent)
    : QThread(parent), m_bridge(std::move(bridge))
{ }

FT4222HDataThread::~FT4222HDataThread()
{
    // Deleted once joined, or once run() ended when it was orphaned: this wait is short.
    stopAndJoin(ULONG_MAX);
}

void FT4222HDataThread::begin(QThread::Priority priority)
{
    if (isRunning()) // a previous run still winding down
        stopAndJoin(ULONG_MAX);
    m_bytes.clear(); // the thread is not running: nothing else touches the list now
    m_state.store(Running, std::memory_order_relaxed);
    m_running.store(true, std::memory_order_release);
    start(priority);
}

bool FT4222HDataThread::stopAndJoin(unsigned long timeoutMs)
{
    stop();
    return wait(timeoutMs) && m_state.load(std::memory_order_acquire) != Running;
}

void FT4222HDataThread::orphan()
{
    stop();
    if (m_state.exchange(Orphaned, std::memory_order_acq_rel) != Running)
        deleteLater();
}

void FT4222HDataThread::run()
{
    Global::instance()->registerThread(QThread::currentThread(), QStringLiteral("FT422H"));
    CH_DEBUG << "Thread started";
    setPriority(QThread::TimeCriticalPriority);

    constexpr int kPacketLength = FT4222HPacketSplitter::kPacketLength;
    while (m_running.load(std::memory_order_acquire)) {
        quint8 buffer[kPacketLength];
        DWORD_FT received = 0;
        // Under the bridge lock: a close clears the handle under the same lock.
        const FT_STATUS status = m_bridge->withPortA(
            [&](FT_HANDLE port) { return ftd2xx().FT_Read(port, buffer, kPacketLength, &received); });
        // Stopped while reading: the handler may be gone, so nothing goes to it any more.
        if (!m_running.load(std::memory_order_acquire))
            break;
        if (status != kFtOk) {
            // Nothing to poll, or the bridge is gone: wait as long as one read would.
            QThread::msleep(1);
            continue;
        }
        if (received == 0)
            continue;
        m_bytes.append(buffer, int(qMin<DWORD_FT>(received, kPacketLength)));
        m_bytes.split(
            [this](const FT4222HPacketSplitter::Packet &p) { emit newReadPacket(p.sync, p.id, p.timeStamp, p.value); },
            [](qint8 byte, int before) {
                CH_DEBUG << "Missing sync word! "
                         << "SyncWord: " << int(byte) << "BufferLen:" << before;
            });
    }
    Global::instance()->unregisterThread(QThread::currentThread());
    if (m_state.exchange(Ended, std::memory_order_acq_rel) == Orphaned)
        deleteLater();
}
