#include "canzaplcommandhandler.h"

#include "canzaplengine_p.h"

CANZAPLCommandHandler::CANZAPLCommandHandler(const QString &name, QObject *parent) : CommandHandlerInterface(parent)
{
    m_dataRate = 1000;
    setMaxTimeoutMS(500);
    setDefaultTimeoutMS(500);
    setObjectName(name);
    setDeviceName(objectName());
}

CANZAPLCommandHandler::~CANZAPLCommandHandler() = default;

bool CANZAPLCommandHandler::setDataRate(int rate)
{
    return m_zapl->setDataRate(rate);
}

QString CANZAPLCommandHandler::getFirmwareVersion(uchar address)
{
    return m_zapl->getFirmwareVersion(address);
}

QString CANZAPLCommandHandler::getModuleAndFirmwareVersion(uchar address)
{
    return m_zapl->getModuleAndFirmwareVersion(address);
}

bool CANZAPLCommandHandler::openDevice(QVariant device)
{
    return m_zapl->openDevice(device);
}

bool CANZAPLCommandHandler::closeDevice()
{
    return m_zapl->closeDevice();
}

bool CANZAPLCommandHandler::reopenDevice()
{
    return m_zapl->reopenDevice();
}

void CANZAPLCommandHandler::doDirectRequest(Command *request, Command *reply)
{
    m_zapl->doDirectRequest(request, reply);
}

void CANZAPLCommandHandler::doDirectRequestWithoutAnswer(Command *request)
{
    m_zapl->doDirectRequestWithoutAnswer(request);
}

void CANZAPLCommandHandler::resetTimeOutedDevices()
{
    m_zapl->resetTimeOutedDevices();
}

bool CANZAPLCommandHandler::writeZAPLCommand(CANZAPLRequestCommand *request)
{
    return m_zapl->writeZAPLCommand(request);
}

void CANZAPLCommandHandler::readZAPLCommand(CANZAPLReplyCommand *reply, uchar address)
{
    m_zapl->readZAPLCommand(reply, address);
}

void CANZAPLCommandHandler::readNextZAPLCommand(CANZAPLReplyCommand *reply, uchar address)
{
    m_zapl->readNextZAPLCommand(reply, address);
}

void CANZAPLCommandHandler::sendCANopenBootCommand(uchar nodeId)
{
    m_zapl->sendCANopenBootCommand(nodeId);
}

void CANZAPLCommandHandler::setReplyID(uchar id)
{
    m_zapl->setReplyID(id);
}

uchar CANZAPLCommandHandler::replyID() const
{
    return m_zapl->replyID();
}
