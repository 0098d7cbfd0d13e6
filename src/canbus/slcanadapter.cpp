#include "slcaninterface.h"
#include "vendoradapters_p.h"

SlcanAdapter::SlcanAdapter() = default;

void SlcanAdapter::attachTo(QObject *owner)
{
    m_slcan.reset(new SLCANInterface(owner));
    QObject::connect(m_slcan.get(), &SLCANInterface::portLost, m_slcan.get(),
        [this](const QString &port, const QString &text) { notify(CanAdapterNotice::DeviceGone, text, port); });
}

SlcanAdapter::~SlcanAdapter() = default;

bool SlcanAdapter::bringUp(int kbitPerSecond, const CanTrace &trace)
{
    m_rate = 0;
    if (!m_slcan->openPort(m_portName, m_useAckNak))
        return false;
    if (trace.debugEnabled())
        trace.line() << "SLCAN initialize success";
    // An unlisted rate fails the open and leaves the port open, as the adapter has no default.
    if (!m_slcan->setBitrate(kbitPerSecond))
        return false;
    m_rate = kbitPerSecond;
    if (!m_slcan->openChannel())
        return false;
    m_slcan->clearQueue();
    return true;
}

bool SlcanAdapter::shutDown(const CanTrace &)
{
    m_slcan->closeChannel();
    m_slcan->closePort();
    return true;
}

bool SlcanAdapter::applyBitRate(int kbitPerSecond, const CanTrace &)
{
    return m_slcan->setBitrate(kbitPerSecond);
}

bool SlcanAdapter::send(const CanMessage &frame, const CanTrace &)
{
    return m_slcan->sendMessage(frame);
}

bool SlcanAdapter::take(CanReceived &received)
{
    CanMessage frame;
    if (!m_slcan->takeMessage(frame))
        return false;
    received = CanReceived();
    received.frame = frame;
    received.rawLength = frame.length;
    return true;
}
