#include "canopensocketcommandhandler.h"

#include "connectiontype.h"
#include "qtcanadapter_p.h"

CANopenSocketCommandHandler::CANopenSocketCommandHandler(QObject *parent)
    : CANopenServiceHandler(
        { "CANopen Socket", ConnectionType::CANopen_Socket, 0, false, false }, new QtCanAdapter, parent)
{
    qtCan().attachTo(this);
}

CANopenSocketCommandHandler::~CANopenSocketCommandHandler() = default;

QtCanAdapter &CANopenSocketCommandHandler::qtCan() const
{
    return *static_cast<QtCanAdapter *>(adapter());
}

bool CANopenSocketCommandHandler::openDevice(QVariant device)
{
    const CanTrace trace = CH_CAN_TRACE(debugOutput);
    trace.line() << "bitrate:" << canBitRateOf(device);
    int kbit = 0;
    QString error;
    if (!qtCan().takeOpenArgument(device, kbit, error)) {
        deviceOpen = false;
        trace.line() << error;
        return false;
    }
    return bringAdapterUp(kbit, trace);
}

bool CANopenSocketCommandHandler::reopenDevice()
{
    return openDevice(QVariantList { dataRate, qtCan().interfaceName(), qtCan().plugin() });
}

QString CANopenSocketCommandHandler::interfaceName() const
{
    return qtCan().interfaceName();
}

QString CANopenSocketCommandHandler::pluginName() const
{
    return qtCan().plugin();
}

QString CANopenSocketCommandHandler::openError() const
{
    return qtCan().lastError();
}
