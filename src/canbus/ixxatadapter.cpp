#include "canrecords_p.h"
#include "ixxatlibrary_p.h"
#include "vendoradapters_p.h"

IxxatAdapter::IxxatAdapter(const Profile &profile) : m_profile(profile), m_library(IxxatLibrary::library())
{ }

IxxatAdapter::~IxxatAdapter()
{
    // Only an adapter that opened the objects takes them down; one that never did must not
    // pull the shared objects from under the handler using them.
    if (m_library.held())
        IxxatLibrary::releaseObjects();
}

bool IxxatAdapter::bringUp(int kbitPerSecond, const CanTrace &trace)
{
    if (!m_library.acquire()) {
        if (m_profile.reportsOpen)
            trace.line() << "Failed to load Ixxat library";
        m_library.release();
        return false;
    }
    if (!IxxatLibrary::initialise()) {
        if (m_profile.reportsOpen)
            trace.line() << "Failed to initialize Ixxat CAN";
        IxxatLibrary::releaseObjects();
        m_library.release();
        return false;
    }
    // A rate the line refuses is written as a line; the channel is open all the same.
    applyOwnerRate(kbitPerSecond, trace);
    if (m_profile.reportsOpen)
        trace.line() << "Initialized Ixxat CAN";
    return true;
}

bool IxxatAdapter::shutDown(const CanTrace &trace)
{
    if (m_profile.reportsOpen && trace.debugEnabled())
        trace.line() << "Closing Ixxat device";
    if (m_library.held())
        IxxatLibrary::releaseObjects();
    m_library.release();
    return true;
}

bool IxxatAdapter::applyBitRate(int kbitPerSecond, const CanTrace &trace)
{
    const CanBitRateCodes codes = canBitRateCodes(kbitPerSecond);
    if (m_library.isLoaded() && IxxatLibrary::setBusTiming(codes.ixxatBtr0, codes.ixxatBtr1))
        return true;
    if (trace.debugEnabled())
        trace.line() << "Failed to set bitrate";
    return false;
}

bool IxxatAdapter::send(const CanMessage &frame, const CanTrace &)
{
    return m_library.isLoaded() && IxxatLibrary::send(canrecords::toIxxat(frame));
}

bool IxxatAdapter::take(CanReceived &received)
{
    vci::Message message;
    if (!m_library.isLoaded() || !IxxatLibrary::receive(message))
        return false;
    return canrecords::fromIxxat(message, received);
}
