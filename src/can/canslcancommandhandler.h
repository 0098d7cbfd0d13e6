#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

#include <QString>

// ZAPL over a serial-line CAN adapter.
class COMMANDHANDLER_EXPORT CANSlCanCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANSlCanCommandHandler(QObject *parent = nullptr);
    ~CANSlCanCommandHandler() override;

    // Ignored while the device is open.
    void setComPortName(const QString &name);
    QString comPortName() const;
    // Wait for the adapter's acknowledge after each frame.
    void setAckNakUsage(bool use);
};
