#include "ft4222hbridge_p.h"

#include "chlog_p.h"

#include <cstdint>

FT4222HBridge::~FT4222HBridge()
{
    // Handles left open would outlive the library that owns them.
    close();
}

bool FT4222HBridge::acquireLibraries()
{
    if (m_holdsLibraries)
        return true;
    m_holdsLibraries = FT4222H_loadLibraries();
    return m_holdsLibraries;
}

bool FT4222HBridge::open(Port port, quint32 location)
{
    FT_HANDLE h = nullptr;
    if (ftd2xx().FT_OpenEx(reinterpret_cast<void *>(std::uintptr_t(location)), kFtOpenByLocation, &h) != kFtOk || !h)
        return false;
    ftd2xx().FT_SetTimeouts(h, 1, 100);
    QMutexLocker lock(&m_lock);
    (port == PortA ? m_portA : m_portB) = h;
    return true;
}

void FT4222HBridge::close(Port port)
{
    // Port B is not the reader's: closed without the lock, so a reader stuck in a read cannot
    // hold it up.
    QMutexLocker lock(port == PortA ? &m_lock : nullptr);
    FT_HANDLE &h = port == PortA ? m_portA : m_portB;
    if (!h)
        return;
    const bool closed = ftd2xx().FT_Close(h) == kFtOk;
    h = nullptr;
    if (port == PortA)
        CH_DEBUG << (closed ? "handlePortA closed." : "Could not close handlePortA!");
    else
        CH_DEBUG << (closed ? "handlePortB closed." : "Could not close handlePortB!");
}

void FT4222HBridge::close()
{
    close(PortA);
    close(PortB);
    if (m_holdsLibraries) {
        m_holdsLibraries = false;
        FT4222H_unloadLibraries();
    }
}
