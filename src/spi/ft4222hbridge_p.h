#pragma once

#include "ft4222htypes.h"
#include "ftdilibraries_p.h"

#include <QMutex>
#include <QMutexLocker>

// One session with a bridge: the handles of its two interfaces, the hold on the vendor
// libraries, and the lock that lets one vendor call at a time reach interface A, which the
// handler writes and the reader thread reads. Ending the session closes what is open and
// releases the libraries.
class FT4222HBridge
{
public:
    enum Port { PortA, PortB };

    FT4222HBridge() = default;
    ~FT4222HBridge();
    Q_DISABLE_COPY(FT4222HBridge)

    // Loads the libraries and holds them until close(); true when held.
    bool acquireLibraries();
    // Opens the interface at `location` into `port`, with a 1 ms read and a 100 ms write time-out.
    bool open(Port port, quint32 location);
    // Both ports (with their log lines), then the libraries.
    void close();
    void close(Port port);

    // For the thread that opens and closes: the only writer, so it reads without the lock.
    FT_HANDLE handle(Port port) const { return port == PortA ? m_portA : m_portB; }

    // One vendor call on interface A, under the lock; kFtInvalidHandle while it is closed.
    template<typename Call> FT_STATUS withPortA(Call call)
    {
        QMutexLocker lock(&m_lock);
        return m_portA ? call(m_portA) : kFtInvalidHandle;
    }

private:
    QMutex m_lock;
    FT_HANDLE m_portA = nullptr; // written under m_lock
    FT_HANDLE m_portB = nullptr; // interface B: the opening thread's alone
    bool m_holdsLibraries = false;
};
