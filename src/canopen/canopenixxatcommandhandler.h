#pragma once

#include "canopenservicehandler.h"

// CANopen master on an IXXAT adapter; shares the process-wide adapter objects with the ZAPL
// IXXAT handler.
class COMMANDHANDLER_EXPORT CANopenIxxatCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    explicit CANopenIxxatCommandHandler(QObject *parent = nullptr);
    ~CANopenIxxatCommandHandler() override;
};
