#include "canopenixxatcommandhandler.h"

#include "connectiontype.h"
#include "vendoradapters_p.h"

// A frame the filter rejects does not replace lastFrame here.
CANopenIxxatCommandHandler::CANopenIxxatCommandHandler(QObject *parent)
    : CANopenServiceHandler(
        { "CAN IXXAT", ConnectionType::CANopen_Ixxat, 0, false, false }, new IxxatAdapter({ false }), parent)
{ }

CANopenIxxatCommandHandler::~CANopenIxxatCommandHandler() = default;
