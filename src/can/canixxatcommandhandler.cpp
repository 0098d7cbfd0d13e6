#include "canixxatcommandhandler.h"

#include "canzapltexts_p.h"
#include "vendoradapters_p.h"

namespace {
const CanZaplTexts kTexts = [] {
    CanZaplTexts t { "CAN Ixxat", ConnectionType::CAN_Ixxat };
    t.bitrateLabel = "Bitrate:";
    t.readOk = "OK; Last sent address:";
    t.readOkLength = "Length:";
    t.notOpen = "The device is open:";
    t.notOpenShowsState = true;
    t.triedToRead = " Tried to read data; Elapsed time:";
    t.timedOut = " Communication timeout!";
    t.handlerClosed = "CAN handler closed:";
    t.clearId = "Clearing CAN ID:";
    t.cleared = "Cleared timeouted addresses";
    return t;
}();
} // namespace

CANIxxatCommandHandler::CANIxxatCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(new IxxatAdapter({ true }), kTexts, parent)
{ }

CANIxxatCommandHandler::~CANIxxatCommandHandler() = default;
