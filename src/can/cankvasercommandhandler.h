#pragma once

#include "canzaplcommandhandler.h"
#include "commandhandler_global.h"

#include <QString>
#include <QVariant>

class KvaserAdapter;

/// ZAPL over a Kvaser adapter, named "CAN Kvaser". openDevice() takes the bit rate in kbit/s,
/// or a list [bit rate, channel] (channel 0 at first; the channel is kept for reopenDevice()).
/// A channel that does not open shows a critical message box "Kvaser Error" (only with a
/// QApplication, on its thread). The library is held while a channel is open.
///
/// The library is canlib32.dll on Windows, libcanlib.so.1 or libcanlib.so on Linux.
class COMMANDHANDLER_EXPORT CANKvaserCommandHandler : public CANZAPLCommandHandler
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    /// A closed handler on channel 0.
    explicit CANKvaserCommandHandler(QObject *parent = nullptr);
    /// Takes an open channel off the bus and closes it.
    ~CANKvaserCommandHandler() override;

protected:
    /// Takes the channel from a list argument, then brings the adapter up.
    bool openAdapter(const QVariant &device, int bitRate, const CanTrace &trace) override;
    /// The list [data rate, channel].
    QVariant reopenArgument() const override;
    /// "channel:" and the channel.
    QString openLineExtra(const QVariant &device) const override;

private:
    KvaserAdapter &kvaser() const;
};
