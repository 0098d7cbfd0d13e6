#include "canopenesdcommandhandler.h"

#include "canrecords_p.h"
#include "connectiontype.h"
#include "vendoradapters_p.h"

#include <cstring>

static_assert(sizeof(CANopenEsdCommandHandler::CMSG) == sizeof(EsdMessage), "esd record layout");

// All 2048 standard identifiers are received, NMT's 0 among them.
CANopenEsdCommandHandler::CANopenEsdCommandHandler(QObject *parent)
    : CANopenServiceHandler(
        { "CANopen ESD", ConnectionType::CANopen_ESD, 0, true, true }, new EsdAdapter({ false, 0 }), parent)
{ }

CANopenEsdCommandHandler::~CANopenEsdCommandHandler() = default;

void CANopenEsdCommandHandler::emitSentCanMessage(CMSG *message)
{
    if (!message)
        return;
    EsdMessage record;
    std::memcpy(&record, message, sizeof record);
    CanMessage frame = canrecords::fromEsd(record).frame;
    frame.extended = false;
    frame.remote = false;
    emitSentCanMessage(frame);
}
