#pragma once

#include "canopenservicehandler.h"

// CANopen master on a Kvaser adapter (canlib library), channel 0.
class COMMANDHANDLER_EXPORT CANopenKvaserCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    explicit CANopenKvaserCommandHandler(QObject *parent = nullptr);
    ~CANopenKvaserCommandHandler() override;
};
