#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

#include <QString>
#include <QVariant>

class KvaserAdapter;

// ZAPL over a Kvaser adapter. openDevice takes the bit rate in kbit/s, or a list
// [bit rate, channel].
class COMMANDHANDLER_EXPORT CANKvaserCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANKvaserCommandHandler(QObject *parent = nullptr);
    ~CANKvaserCommandHandler() override;

protected:
    bool openAdapter(const QVariant &device, int bitRate, const CanTrace &trace) override;
    QVariant reopenArgument() const override;
    QString openLineExtra(const QVariant &device) const override;

private:
    KvaserAdapter &kvaser() const;
};
