#include "canopenixxatcommandhandler.h"

#include "canopenbitrates_p.h"
#include "chlog_p.h"
#include "ixxatlibrary_p.h"

CANopenIxxatCommandHandler::CANopenIxxatCommandHandler(QObject *parent)
    : CANopenServiceHandler({ 0, false, false }, parent), m_library(new VendorLibraryUse(IxxatLibrary::library()))
{
    setObjectName(QStringLiteral("CAN IXXAT"));
    setDeviceName(objectName());
}

CANopenIxxatCommandHandler::~CANopenIxxatCommandHandler()
{
    // Only a handler that opened the adapter takes the shared objects down.
    if (m_library->held())
        IxxatLibrary::releaseObjects();
    delete m_library;
}

void CANopenIxxatCommandHandler::setDataRate(int kbit)
{
    dataRate = kbit;
    const canopen::AdapterRate rate = canopen::adapterRate(kbit);
    if (!m_library->isLoaded() || !IxxatLibrary::setBusTiming(rate.ixxatBtr0, rate.ixxatBtr1))
        CH_DEBUG << "Failed to set bitrate";
}

bool CANopenIxxatCommandHandler::openDevice(QVariant bitRate)
{
    const int rate = bitRate.toInt();
    CH_DEBUG << "bitrate:" << rate;
    deviceOpen = false;
    if (!m_library->acquire()) {
        m_library->release();
        return false;
    }
    if (!IxxatLibrary::initialise()) {
        IxxatLibrary::releaseObjects();
        m_library->release();
        return false;
    }
    setDataRate(rate);
    deviceOpen = true;
    return true;
}

bool CANopenIxxatCommandHandler::closeDevice()
{
    if (m_library->held())
        IxxatLibrary::releaseObjects();
    m_library->release();
    deviceOpen = false;
    return true;
}

bool CANopenIxxatCommandHandler::sendFrame(const CanMessage &frame)
{
    return m_library->isLoaded() && IxxatLibrary::send(frame.id, frame.data, qBound(0, frame.length, 8));
}

bool CANopenIxxatCommandHandler::takeFrame(CanMessage &frame)
{
    quint32 id = 0;
    quint8 data[8] = {};
    int length = 0;
    if (!m_library->isLoaded() || !IxxatLibrary::receive(&id, data, &length))
        return false;
    frame.id = id;
    frame.setData(data, qMin(length, 8));
    return true;
}
