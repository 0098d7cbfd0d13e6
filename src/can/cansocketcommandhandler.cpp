#include "cansocketcommandhandler.h"

#include "canzapltexts_p.h"
#include "connectiontype.h"
#include "qtcanadapter_p.h"

namespace {
const CanZaplTexts kTexts { "CAN Socket", ConnectionType::CAN_Socket };
} // namespace

CANSocketCommandHandler::CANSocketCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(new QtCanAdapter, kTexts, parent)
{
    qtCan().attachTo(this);
}

CANSocketCommandHandler::~CANSocketCommandHandler() = default;

QtCanAdapter &CANSocketCommandHandler::qtCan() const
{
    return static_cast<QtCanAdapter &>(adapter());
}

bool CANSocketCommandHandler::openAdapter(const QVariant &device, int, const CanTrace &trace)
{
    int kbit = 0;
    QString error;
    if (!qtCan().takeOpenArgument(device, kbit, error)) {
        trace.line() << error;
        return false;
    }
    setConnectionType(qtCan().plugin() == QLatin1String(QtCanAdapter::kDefaultPlugin) ? ConnectionType::CAN_Socket
                                                                                      : ConnectionType::CAN_OTHER);
    return qtCan().bringUp(kbit, trace);
}

QVariant CANSocketCommandHandler::reopenArgument() const
{
    return QVariantList { dataRate(), qtCan().interfaceName(), qtCan().plugin() };
}

QString CANSocketCommandHandler::interfaceName() const
{
    return qtCan().interfaceName();
}

QString CANSocketCommandHandler::pluginName() const
{
    return qtCan().plugin();
}

QString CANSocketCommandHandler::openError() const
{
    return qtCan().lastError();
}
