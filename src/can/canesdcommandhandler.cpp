#include "canesdcommandhandler.h"

#include "canzapltexts_p.h"
#include "vendoradapters_p.h"

namespace {
const CanZaplTexts kTexts = [] {
    CanZaplTexts t { "CAN ESD", ConnectionType::CAN_ESD };
    t.cleared = "cleared timeOutedDevices.";
    return t;
}();
} // namespace

// Every standard identifier but 0 is received.
CANEsdCommandHandler::CANEsdCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(new EsdAdapter({ true, 1 }), kTexts, parent)
{ }

CANEsdCommandHandler::~CANEsdCommandHandler() = default;

void CANEsdCommandHandler::setNetID(int net)
{
    static_cast<EsdAdapter &>(adapter()).setNet(net);
}
