// The "slcan" link kind: a serial-line CAN adapter, for ZAPL requests and as a CANopen master.
#include "canopenslcancommandhandler.h"
#include "canslcancommandhandler.h"
#include "zapl.h"

namespace {
std::unique_ptr<CommandHandlerInterface> openSlcan(
    const QString &path, const zapl::Options &options, zapl::LinkError *error)
{
    if (path.isEmpty())
        return error->badInput(QStringLiteral("the slcan link needs a port: slcan:PATH"));
    auto handler = std::make_unique<CANSlCanCommandHandler>();
    zapl::prepareCanHandler(*handler, options);
    handler->setComPortName(path);
    if (!handler->openDevice(options.bitrate))
        return error->failed(
            QStringLiteral("cannot open SLCAN adapter '%1' at %2 kbit/s").arg(path).arg(options.bitrate));
    return handler;
}

std::unique_ptr<CANopenHandlerInterface> openSlcanMaster(
    const QString &path, const zapl::Options &options, zapl::LinkError *error)
{
    if (path.isEmpty())
        return error->badInput(QStringLiteral("the slcan link needs a port: slcan:PATH"));
    auto handler = std::make_unique<CANopenSlCanCommandHandler>();
    handler->setComPortName(path);
    if (!handler->openDevice(QVariant(options.bitrate)))
        return error->failed(
            QStringLiteral("cannot open SLCAN adapter '%1' at %2 kbit/s").arg(path).arg(options.bitrate));
    return handler;
}
} // namespace

ZAPL_REGISTER(slcan)
{
    zapl::LinkKind slcan;
    slcan.kind = QStringLiteral("slcan");
    slcan.syntax = QStringLiteral("slcan:PATH");
    slcan.help = QStringLiteral("a serial-line CAN adapter (--bitrate, --reply-id)");
    slcan.framing = zapl::Framing::Can;
    slcan.zapl = openSlcan;
    slcan.canopen = openSlcanMaster;
    slcan.present = zapl::serialPortPresent;
    zapl::registerLink(slcan);
}
