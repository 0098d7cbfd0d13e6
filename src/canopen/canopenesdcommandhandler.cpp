#include "canopenesdcommandhandler.h"

#include "connectiontype.h"
#include "vendoradapters_p.h"

// All 2048 standard identifiers are received, NMT's 0 among them.
CANopenEsdCommandHandler::CANopenEsdCommandHandler(QObject *parent)
    : CANopenServiceHandler(
        { "CANopen ESD", ConnectionType::CANopen_ESD, 0, true, true }, new EsdAdapter({ false, 0 }), parent)
{ }

CANopenEsdCommandHandler::~CANopenEsdCommandHandler() = default;
