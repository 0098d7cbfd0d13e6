#include "cankvasercommandhandler.h"

#include "canzapltexts_p.h"
#include "vendoradapters_p.h"

namespace {
const CanZaplTexts kTexts = [] {
    CanZaplTexts t { "CAN Kvaser", ConnectionType::CAN_Kvaser };
    t.processEventsWhenForced = true;
    return t;
}();

int channelOf(const QVariant &device, int current)
{
    const QVariantList list = device.toList();
    return list.size() >= 2 ? list.at(1).toInt() : current;
}
} // namespace

CANKvaserCommandHandler::CANKvaserCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(new KvaserAdapter({ true, true }), kTexts, parent)
{ }

CANKvaserCommandHandler::~CANKvaserCommandHandler() = default;

KvaserAdapter &CANKvaserCommandHandler::kvaser() const
{
    return static_cast<KvaserAdapter &>(adapter());
}

bool CANKvaserCommandHandler::openAdapter(const QVariant &device, int bitRate, const CanTrace &trace)
{
    kvaser().setChannel(channelOf(device, kvaser().channel()));
    return CANZAPLCommandHandler::openAdapter(device, bitRate, trace);
}

QVariant CANKvaserCommandHandler::reopenArgument() const
{
    return QVariantList { dataRate(), kvaser().channel() };
}

QString CANKvaserCommandHandler::openLineExtra(const QVariant &device) const
{
    return QStringLiteral("channel: ") + QString::number(channelOf(device, kvaser().channel()));
}
