#include "serialserver.h"

#include <QElapsedTimer>
#include <chrono>

namespace {
constexpr int kFrameSize = 9;
constexpr int kPollMs = 10;
// A partial frame older than this is line noise; dropping it lets framing recover.
constexpr int kResyncIdleMs = 50;

// Byte arrays handed across threads are copied deeply: the reference count of implicitly
// shared data is a lock-free atomic in QtCore, and a private copy needs no reasoning about it.
QByteArray deep(const QByteArray &bytes)
{
    return QByteArray(bytes.constData(), bytes.size());
}
} // namespace

SerialServer::SerialServer(const QList<quint8> &addresses, quint8 hostAddress)
    : m_path(m_pty.path()), m_hostAddress(hostAddress)
{
    for (quint8 a : addresses)
        m_modules.push_back(std::make_unique<ZaplModuleModel>(a));
}

SerialServer::~SerialServer()
{
    stop();
}

ZaplModuleModel *SerialServer::module(quint8 address)
{
    for (const auto &m : m_modules)
        if (m->address() == address)
            return m.get();
    return nullptr;
}

bool SerialServer::start()
{
    if (!m_pty.isOpen() || m_thread.joinable())
        return false;
    m_stop = false;
    m_thread = std::thread(&SerialServer::serve, this);
    return true;
}

void SerialServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SerialServer::unplug()
{
    if (m_thread.joinable()) {
        m_unplug = true;
        return;
    }
    m_lineClosed = true;
    m_pty.close();
}

void SerialServer::setFaults(const Faults &faults)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_faults = faults;
    m_faults.strayBytes = deep(faults.strayBytes);
}

SerialServer::Faults SerialServer::faults() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    Faults copy = m_faults;
    copy.strayBytes = deep(m_faults.strayBytes);
    return copy;
}

QList<QByteArray> SerialServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    QList<QByteArray> copy;
    for (const QByteArray &r : m_requests)
        copy.append(deep(r));
    return copy;
}

int SerialServer::requestCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests.size();
}

void SerialServer::releaseRest()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_releaseRest = true;
    }
    m_wake.notify_all();
}

bool SerialServer::holdUntilReleased()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_wake.wait_for(lock, std::chrono::seconds(10), [this] { return m_releaseRest || m_stop.load(); });
    m_releaseRest = false;
    return !m_stop;
}

bool SerialServer::pause(int ms)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (ms > 0)
        m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
    return !m_stop;
}

void SerialServer::serve()
{
    QByteArray pending;
    QElapsedTimer sinceLastByte;
    sinceLastByte.start();
    while (!m_stop) {
        if (m_unplug.exchange(false)) {
            m_lineClosed = true;
            m_pty.close();
        }
        if (m_lineClosed) {
            pause(kPollMs);
            continue;
        }
        const QByteArray in = m_pty.read(kPollMs);
        if (in.isEmpty()) {
            if (!pending.isEmpty() && sinceLastByte.elapsed() > kResyncIdleMs)
                pending.clear();
            continue;
        }
        sinceLastByte.restart();
        pending += in;
        while (pending.size() >= kFrameSize && !m_lineClosed && !m_stop) {
            const QByteArray request = pending.left(kFrameSize);
            pending.remove(0, kFrameSize);
            answer(request);
        }
    }
}

void SerialServer::answer(const QByteArray &request)
{
    Faults f;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_requests.append(deep(request));
        f = m_faults;
        f.strayBytes = deep(m_faults.strayBytes);
        m_faults.closeOnRequest = false;
    }
    if (f.closeOnRequest) {
        m_lineClosed = true;
        m_pty.close();
        return;
    }
    QByteArray reply;
    for (const auto &m : m_modules) {
        reply = m->handleSerial(request, m_hostAddress);
        if (!reply.isEmpty())
            break;
    }
    if (reply.isEmpty() || f.silent)
        return;
    if (f.corruptChecksum)
        reply[kFrameSize - 1] = char(quint8(reply.at(kFrameSize - 1)) + 1);
    if (!pause(f.latencyMs))
        return;
    const int parts = qBound(1, f.splitParts, kFrameSize);
    int sent = 0;
    for (int i = 0; i < parts; ++i) {
        const int end = kFrameSize * (i + 1) / parts;
        const QByteArray part = reply.mid(sent, end - sent);
        m_pty.write(i == 0 ? f.strayBytes + part : part);
        sent = end;
        if (i + 1 < parts && !(f.holdRest ? holdUntilReleased() : pause(f.splitGapMs)))
            return;
    }
}
