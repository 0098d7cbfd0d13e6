#include "canslcancommandhandler.h"

#include "canzapltexts_p.h"
#include "vendoradapters_p.h"

namespace {
const CanZaplTexts kTexts = [] {
    CanZaplTexts t { "CAN SLCAN", ConnectionType::CAN_SLCAN };
    t.cleared = "cleared timeOutedDevices.";
    t.directDecode = true;
    t.zeroSpareByte = true;
    t.storesRateOnlyOnSuccess = true;
    return t;
}();
} // namespace

CANSlCanCommandHandler::CANSlCanCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(new SlcanAdapter, kTexts, parent)
{
    static_cast<SlcanAdapter &>(adapter()).attachTo(this);
}

CANSlCanCommandHandler::~CANSlCanCommandHandler() = default;

void CANSlCanCommandHandler::setComPortName(const QString &name)
{
    if (!isDeviceOpen())
        static_cast<SlcanAdapter &>(adapter()).setPortName(name);
}

QString CANSlCanCommandHandler::comPortName() const
{
    return static_cast<SlcanAdapter &>(adapter()).portName();
}

void CANSlCanCommandHandler::setAckNakUsage(bool use)
{
    static_cast<SlcanAdapter &>(adapter()).setAckNakUsage(use);
}
