#include "canopenslcancommandhandler.h"

#include "connectiontype.h"
#include "vendoradapters_p.h"

CANopenSlCanCommandHandler::CANopenSlCanCommandHandler(QObject *parent)
    : CANopenServiceHandler({ "CAN slCan", ConnectionType::CANopen_SLCAN, 1, false, true }, new SlcanAdapter, parent)
{
    static_cast<SlcanAdapter *>(adapter())->attachTo(this);
}

CANopenSlCanCommandHandler::~CANopenSlCanCommandHandler() = default;

void CANopenSlCanCommandHandler::setDataRate(int)
{ }

void CANopenSlCanCommandHandler::setComPortName(const QString &name)
{
    static_cast<SlcanAdapter *>(adapter())->setPortName(name);
}

void CANopenSlCanCommandHandler::setAckNakUsage(bool use)
{
    static_cast<SlcanAdapter *>(adapter())->setAckNakUsage(use);
}

bool CANopenSlCanCommandHandler::closeDevice()
{
    return deviceOpen && CANopenServiceHandler::closeDevice();
}
