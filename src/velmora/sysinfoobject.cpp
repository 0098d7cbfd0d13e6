#include "sysinfoobject.h"

#include <mutex>

namespace {
constexpr int kMaxRecords = 10000; // a long-running host must not grow without bound
}

SysInfoObject *SysInfoObject::instance()
{
    static SysInfoObject object;
    return &object;
}

void SysInfoObject::addCom(const QString &device)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_connections.append(device);
}

void SysInfoObject::removeCom(const QString &device)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_connections.removeOne(device);
}

void SysInfoObject::setRx(const QString &device, int commands, qint64 elapsedMs)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_rx.size() >= kMaxRecords)
            m_rx.removeFirst();
        m_rx.append(RxReport { device, commands, elapsedMs });
    }
    emit rxReported(device, commands, elapsedMs);
}

QStringList SysInfoObject::connections() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_connections;
}

QList<SysInfoObject::RxReport> SysInfoObject::rxReports() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_rx;
}

void SysInfoObject::clearRecords()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_rx.clear();
}
