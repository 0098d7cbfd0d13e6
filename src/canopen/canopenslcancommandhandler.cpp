#include "canopenslcancommandhandler.h"

#include "chlog_p.h"
#include "slcaninterface.h"

CANopenSlCanCommandHandler::CANopenSlCanCommandHandler(QObject *parent)
    : CANopenServiceHandler({ 1, false, true }, parent), m_slcan(new SLCANInterface(this))
{
    setObjectName(QStringLiteral("CAN slCan"));
    setDeviceName(objectName());
}

CANopenSlCanCommandHandler::~CANopenSlCanCommandHandler() = default;

void CANopenSlCanCommandHandler::setDataRate(int)
{ }

bool CANopenSlCanCommandHandler::openDevice(QVariant bitRate)
{
    const int rate = bitRate.toInt();
    CH_DEBUG << "bitrate:" << rate;
    deviceOpen = false;
    if (!m_slcan->openPort(m_portName, m_useAckNak))
        return false;
    CH_DEBUG << "SLCAN initialize success";
    if (!m_slcan->setBitrate(baudrateFromBitrate(rate)))
        return false;
    dataRate = rate;
    if (!m_slcan->openChannel())
        return false;
    deviceOpen = true;
    return true;
}

bool CANopenSlCanCommandHandler::closeDevice()
{
    if (!deviceOpen)
        return false;
    m_slcan->closeChannel();
    m_slcan->closePort();
    deviceOpen = false;
    return true;
}

bool CANopenSlCanCommandHandler::sendFrame(const CanMessage &frame)
{
    return m_slcan->sendMessage(frame);
}

bool CANopenSlCanCommandHandler::takeFrame(CanMessage &frame)
{
    return m_slcan->takeMessage(frame);
}
