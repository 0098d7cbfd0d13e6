#pragma once

#include "canopenservicehandler.h"

// CANopen master on an esd adapter (ntcan library), net 0. Holds the library from construction
// to destruction.
class COMMANDHANDLER_EXPORT CANopenEsdCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    explicit CANopenEsdCommandHandler(QObject *parent = nullptr);
    ~CANopenEsdCommandHandler() override;
};
