#pragma once

#include "canopenservicehandler.h"

/// CANopen master on a Kvaser adapter (canlib library), channel 0, named "CANopen Kvaser". The
/// library is held while the channel is open. SYNC has no data byte.
///
/// The library is canlib32.dll on Windows, libcanlib.so.1 or libcanlib.so on Linux.
class COMMANDHANDLER_EXPORT CANopenKvaserCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    /// A closed handler at 1000 kbit/s.
    explicit CANopenKvaserCommandHandler(QObject *parent = nullptr);
    /// Takes an open channel off the bus and closes it.
    ~CANopenKvaserCommandHandler() override;
};
