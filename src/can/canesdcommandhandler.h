#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

// ZAPL over an esd adapter on a net number. Holds the esd library from construction to
// destruction.
class COMMANDHANDLER_EXPORT CANEsdCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANEsdCommandHandler(QObject *parent = nullptr);
    ~CANEsdCommandHandler() override;

    void setNetID(int net);
};
