#include "basictools.h"
#include "canrecords_p.h"
#include "criticalmessage_p.h"
#include "global.h"
#include "kvaserlibrary_p.h"
#include "vendoradapters_p.h"

#include <QCoreApplication>

namespace {
constexpr int kStatusNotInitialised = -8; // what the library answers before it is initialised
} // namespace

KvaserAdapter::KvaserAdapter(const Profile &profile) : m_profile(profile), m_library(KvaserLibrary::library())
{ }

KvaserAdapter::~KvaserAdapter()
{
    // An open channel is closed before the library can go away under it.
    closeChannel();
}

bool KvaserAdapter::channelOpen() const
{
    return m_handle >= 0 && m_library.isLoaded();
}

void KvaserAdapter::closeChannel()
{
    if (channelOpen()) {
        KvaserLibrary::canBusOff(m_handle);
        KvaserLibrary::canClose(m_handle);
    }
    m_handle = -1;
}

bool KvaserAdapter::bringUp(int kbitPerSecond, const CanTrace &trace)
{
    m_rate = 0;
    // A second open (reopenDevice) must not leave the first channel open behind it.
    closeChannel();
    if (!m_library.acquire() || !KvaserLibrary::hasCoreFunctions()) {
        trace.line() << "canInitializeLibrary -> failed";
        m_library.release();
        m_handle = -1;
        return false;
    }
    KvaserLibrary::canInitializeLibrary();
    if (trace.debugEnabled())
        trace.line() << "canInitializeLibrary -> ok";
    m_handle = KvaserLibrary::canOpenChannel(m_channel, KvaserLibrary::kOpenRequireInitAccess);
    if (m_handle < 0)
        m_handle = KvaserLibrary::canOpenChannel(m_channel, KvaserLibrary::kOpenNoInitAccess);
    if (m_handle < 0) {
        trace.line() << "canOpenChannel -> failed! handle=" << m_handle;
        if (m_profile.openFailureBox)
            vendorCriticalMessage(trace.tag(), Global::instance()->mainWindow(),
                QCoreApplication::translate("CANKvaserCommandHandler", "Kvaser Error"),
                QStringLiteral("Failed to open channel\nhandle: ")
                    + BasicTools::iToHex(quint32(m_handle), 2, QStringLiteral("0x")));
        return false;
    }
    trace.line() << "canOpenChannel -> ok";
    applyOwnerRate(kbitPerSecond, trace);
    long frequency = 0;
    unsigned int tseg1 = 0, tseg2 = 0, sjw = 0, samples = 0, syncMode = 0;
    if (KvaserLibrary::canGetBusParams(m_handle, &frequency, &tseg1, &tseg2, &sjw, &samples, &syncMode) >= 0)
        m_rate = int(frequency / 1000);
    const int status = KvaserLibrary::canBusOn(m_handle);
    if (status < 0) {
        trace.line() << "canBusOn -> failed! status=" << status;
        KvaserLibrary::canClose(m_handle);
        m_handle = -1;
        return false;
    }
    if (m_profile.busOnLineShowsHandle)
        trace.line() << "canBusOn -> ok" << m_handle;
    else
        trace.line() << "canBusOn -> ok";
    return true;
}

bool KvaserAdapter::shutDown(const CanTrace &trace)
{
    if (trace.debugEnabled())
        trace.line() << "handle:" << m_handle;
    if (channelOpen()) {
        const int off = KvaserLibrary::canBusOff(m_handle);
        if (trace.debugEnabled())
            trace.line() << (off < 0 ? "canBusOff failed! status:" : "canBusOff -> ok! status:") << off;
        const int closed = KvaserLibrary::canClose(m_handle);
        if (trace.debugEnabled())
            trace.line() << (closed < 0 ? "canClose -> failed! status:" : "canClose -> ok! status:") << closed;
    }
    m_handle = -1;
    m_library.release();
    return true;
}

bool KvaserAdapter::applyBitRate(int kbitPerSecond, const CanTrace &trace)
{
    const int status = m_library.isLoaded()
        ? KvaserLibrary::canSetBusParams(m_handle, canBitRateCodes(kbitPerSecond).kvaserCode, 0, 0, 0, 0, 0)
        : kStatusNotInitialised;
    if (trace.debugEnabled()) {
        if (status < 0)
            trace.line() << "canSetBusParams -> failed! status=" << status;
        else
            trace.line() << "canSetBusParams -> ok";
    }
    return status >= 0;
}

bool KvaserAdapter::send(const CanMessage &frame, const CanTrace &)
{
    if (!channelOpen())
        return false;
    quint8 data[8];
    std::copy(frame.data, frame.data + 8, data);
    return KvaserLibrary::canWrite(m_handle, long(frame.id), data, unsigned(qBound(0, frame.length, 8)), 0) == 0;
}

bool KvaserAdapter::take(CanReceived &received)
{
    if (!channelOpen())
        return false;
    // Room for the largest frame any channel delivers, whatever length it reports.
    quint8 data[64] = {};
    long id = 0;
    unsigned int dlc = 0;
    if (KvaserLibrary::canRead(m_handle, &id, data, &dlc, nullptr, nullptr) != 0)
        return false;
    received = canrecords::fromKvaser(id, data, sizeof data, dlc);
    return true;
}
