#include "canrecords_p.h"
#include "vendoradapters_p.h"

namespace {
constexpr qint32 kQueueSize = 255;
constexpr qint32 kLastStandardId = 0x7FF;

[[maybe_unused]] QString handleText(qint32 handle)
{
    return QString::number(handle);
}
[[maybe_unused]] QString handleText(void *handle)
{
    return QString::number(reinterpret_cast<quintptr>(handle));
}
} // namespace

EsdAdapter::EsdAdapter(const Profile &profile) : m_profile(profile), m_library(EsdLibrary::library())
{
    m_available = m_library.acquire();
}

EsdAdapter::~EsdAdapter()
{
    // A net left open would outlive the library that owns it.
    closeHandle();
}

void EsdAdapter::closeHandle()
{
    if (m_handle != EsdHandle {} && m_available)
        EsdLibrary::canClose(m_handle);
    m_handle = EsdHandle {};
}

bool EsdAdapter::bringUp(int kbitPerSecond, const CanTrace &trace)
{
    if (!m_available) {
        if (trace.debugEnabled())
            trace.line() << "DLL load error!";
        return false;
    }
    if (!m_profile.loadLineShowsHandle) {
        if (trace.debugEnabled())
            trace.line() << "DLL load success!";
    } else if (trace.debugEnabled() || m_handle != EsdHandle {}) {
        trace.line() << "DLL load success!" << handleText(m_handle);
    }
    // Opening again (reopenDevice) must not leave the first handle open behind it.
    closeHandle();
    const EsdResult result = EsdLibrary::canOpen(m_net, 0, kQueueSize, kQueueSize, 0, 0, &m_handle);
    if (trace.debugEnabled())
        trace.line() << "canOpen:" << result;
    if (result != EsdLibrary::kSuccess) {
        m_handle = EsdHandle {};
        return false;
    }
    applyOwnerRate(kbitPerSecond, trace);
    for (qint32 id = m_profile.firstReceivedId; id <= kLastStandardId; ++id)
        EsdLibrary::canIdAdd(m_handle, id);
    return true;
}

bool EsdAdapter::shutDown(const CanTrace &trace)
{
    if (m_handle == EsdHandle {} && trace.debugEnabled())
        trace.line() << " !this->open";
    closeHandle();
    return true;
}

bool EsdAdapter::applyBitRate(int kbitPerSecond, const CanTrace &)
{
    // The library's answer is not used: an unlisted rate already fell back to 1000 kbit/s.
    if (m_available && m_handle != EsdHandle {})
        EsdLibrary::canSetBaudrate(m_handle, canBitRateCodes(kbitPerSecond).esdIndex);
    return true;
}

bool EsdAdapter::send(const CanMessage &frame, const CanTrace &)
{
    if (!m_available || m_handle == EsdHandle {})
        return false;
    EsdMessage message = canrecords::toEsd(frame);
    qint32 count = 1;
    return EsdLibrary::canSend(m_handle, &message, &count) == EsdLibrary::kSuccess && count > 0;
}

bool EsdAdapter::take(CanReceived &received)
{
    if (!m_available || m_handle == EsdHandle {})
        return false;
    EsdMessage message = {};
    qint32 count = 1;
    if (EsdLibrary::canTake(m_handle, &message, &count) != EsdLibrary::kSuccess || count <= 0)
        return false;
    received = canrecords::fromEsd(message);
    return true;
}
