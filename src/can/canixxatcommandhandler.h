#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

// ZAPL over an IXXAT adapter. The adapter objects are process-wide: one IXXAT connection
// exists at a time, shared with the CANopen IXXAT handler.
class COMMANDHANDLER_EXPORT CANIxxatCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANIxxatCommandHandler(QObject *parent = nullptr);
    ~CANIxxatCommandHandler() override;
};
