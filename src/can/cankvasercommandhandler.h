#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

#include <QString>
#include <QVariant>
#include <memory>

class CanKvaserEngine;

// ZAPL over a Kvaser adapter. openDevice takes the bit rate in kbit/s, or a list
// [bit rate, channel].
class COMMANDHANDLER_EXPORT CANKvaserCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANKvaserCommandHandler(QObject *parent = nullptr);
    ~CANKvaserCommandHandler() override;

private:
    std::unique_ptr<CanKvaserEngine> m_engine;
};
