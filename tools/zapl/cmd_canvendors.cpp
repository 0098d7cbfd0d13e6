// The vendor CAN link kinds: kvaser, peak, esd, ixxat; each for ZAPL requests and as a CANopen
// master. The argument after "KIND:" names the same channel or net for both.
#include "canesdcommandhandler.h"
#include "canixxatcommandhandler.h"
#include "cankvasercommandhandler.h"
#include "canopenesdcommandhandler.h"
#include "canopenixxatcommandhandler.h"
#include "canopenkvasercommandhandler.h"
#include "canopenpeakcommandhandler.h"
#include "canpeakcommandhandler.h"
#include "requesttext.h"
#include "zapl.h"

namespace {
// The number after "KIND:", or `fallback` when there is none; false with *error on bad input.
bool argumentNumber(
    const QString &kind, const QString &argument, int fallback, int min, int max, int *value, zapl::LinkError *error)
{
    if (argument.isEmpty()) {
        *value = fallback;
        return true;
    }
    qint64 n = 0;
    QString why;
    if (!zapl::parseNumber(argument, min, max, &n, &why)) {
        error->badInput(QStringLiteral("%1 link: %2").arg(kind, why));
        return false;
    }
    *value = int(n);
    return true;
}

// The options every vendor link shares, then the open at --bitrate with `device`.
template<typename Handler>
std::unique_ptr<CommandHandlerInterface> openVendor(std::unique_ptr<Handler> handler, const QVariant &device,
    const QString &what, const zapl::Options &options, zapl::LinkError *error)
{
    zapl::prepareCanHandler(*handler, options);
    if (!handler->openDevice(device))
        return error->failed(QStringLiteral("cannot open %1 at %2 kbit/s").arg(what).arg(options.bitrate));
    return handler;
}

std::unique_ptr<CANopenHandlerInterface> openMaster(std::unique_ptr<CANopenHandlerInterface> handler,
    const QString &what, const zapl::Options &options, zapl::LinkError *error)
{
    if (!handler->openDevice(QVariant(options.bitrate)))
        return error->failed(QStringLiteral("cannot open %1 at %2 kbit/s").arg(what).arg(options.bitrate));
    return handler;
}

std::unique_ptr<CommandHandlerInterface> openKvaser(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    int channel = 0;
    if (!argumentNumber(QStringLiteral("kvaser"), argument, 0, 0, 255, &channel, error))
        return nullptr;
    return openVendor(std::make_unique<CANKvaserCommandHandler>(), QVariantList { options.bitrate, channel },
        QStringLiteral("Kvaser channel %1").arg(channel), options, error);
}

std::unique_ptr<CANopenHandlerInterface> openKvaserMaster(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    // The CANopen master of this adapter always takes channel 0.
    int channel = 0;
    if (!argumentNumber(QStringLiteral("kvaser"), argument, 0, 0, 0, &channel, error))
        return nullptr;
    return openMaster(
        std::make_unique<CANopenKvaserCommandHandler>(), QStringLiteral("Kvaser channel 0"), options, error);
}

// PEAK nets count the USB channels from 1 (net 1 is the library's channel 0x51).
std::unique_ptr<CommandHandlerInterface> openPeak(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    int net = 1;
    if (!argumentNumber(QStringLiteral("peak (ZAPL)"), argument, 1, 1, 2, &net, error))
        return nullptr;
    auto handler = std::make_unique<CANPeakCommandHandler>();
    handler->setNetID(net);
    return openVendor(std::move(handler), options.bitrate, QStringLiteral("PEAK net %1").arg(net), options, error);
}

std::unique_ptr<CANopenHandlerInterface> openPeakMaster(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    int net = 1;
    if (!argumentNumber(QStringLiteral("peak"), argument, 1, 1, 8, &net, error))
        return nullptr;
    auto handler = std::make_unique<CANopenPeakCommandHandler>();
    handler->setChannelID(net);
    return openMaster(std::move(handler), QStringLiteral("PEAK net %1").arg(net), options, error);
}

std::unique_ptr<CommandHandlerInterface> openEsd(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    int net = 0;
    if (!argumentNumber(QStringLiteral("esd"), argument, 0, 0, 255, &net, error))
        return nullptr;
    auto handler = std::make_unique<CANEsdCommandHandler>();
    handler->setNetID(net);
    return openVendor(std::move(handler), options.bitrate, QStringLiteral("esd net %1").arg(net), options, error);
}

std::unique_ptr<CANopenHandlerInterface> openEsdMaster(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    // The CANopen master of this adapter always takes net 0.
    int net = 0;
    if (!argumentNumber(QStringLiteral("esd (CANopen)"), argument, 0, 0, 0, &net, error))
        return nullptr;
    return openMaster(std::make_unique<CANopenEsdCommandHandler>(), QStringLiteral("esd net 0"), options, error);
}

bool noArgument(const QString &argument, zapl::LinkError *error)
{
    if (!argument.isEmpty())
        error->badInput(QStringLiteral("the ixxat link takes no argument (got '%1')").arg(argument));
    return argument.isEmpty();
}

std::unique_ptr<CommandHandlerInterface> openIxxat(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    if (!noArgument(argument, error))
        return nullptr;
    return openVendor(
        std::make_unique<CANIxxatCommandHandler>(), options.bitrate, QStringLiteral("IXXAT adapter"), options, error);
}

std::unique_ptr<CANopenHandlerInterface> openIxxatMaster(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    if (!noArgument(argument, error))
        return nullptr;
    return openMaster(std::make_unique<CANopenIxxatCommandHandler>(), QStringLiteral("IXXAT adapter"), options, error);
}

void registerVendor(const char *kind, const char *syntax, const char *help,
    const zapl::LinkFactory<CommandHandlerInterface> &zaplFactory,
    const zapl::LinkFactory<CANopenHandlerInterface> &canopenFactory)
{
    zapl::LinkKind link;
    link.kind = QLatin1String(kind);
    link.syntax = QLatin1String(syntax);
    link.help = QLatin1String(help);
    link.framing = zapl::Framing::Can;
    link.zapl = zaplFactory;
    link.canopen = canopenFactory;
    zapl::registerLink(link);
}
} // namespace

ZAPL_REGISTER(canvendors)
{
    registerVendor("kvaser", "kvaser[:CHANNEL]", "a Kvaser channel, 0 by default; CANopen on channel 0 only",
        openKvaser, openKvaserMaster);
    registerVendor(
        "peak", "peak[:NET]", "a PEAK USB channel, 1 by default; ZAPL on nets 1 and 2", openPeak, openPeakMaster);
    registerVendor("esd", "esd[:NET]", "an esd net, 0 by default; CANopen on net 0 only", openEsd, openEsdMaster);
    registerVendor("ixxat", "ixxat", "the first IXXAT adapter", openIxxat, openIxxatMaster);
}
