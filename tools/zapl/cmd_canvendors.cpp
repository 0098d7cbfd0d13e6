#include "zapl.h"

#include "canesdcommandhandler.h"
#include "canixxatcommandhandler.h"
#include "cankvasercommandhandler.h"
#include "canpeakcommandhandler.h"

namespace {
// The options every vendor link shares, then the open at --bitrate with `device`.
std::unique_ptr<CommandHandlerInterface> openVendor(std::unique_ptr<CommandHandlerInterface> handler,
    const QVariant &device, const QString &what, const zapl::Options &options, QString *error)
{
    handler->setDebugEnabled(options.debug);
    // Only frames on the reply identifier are replies; anything else on the bus is not.
    handler->filterAddId(static_cast<uint>(options.replyId));
    if (options.timeoutMs > 0) {
        handler->setDefaultTimeoutMS(options.timeoutMs);
        handler->setMaxTimeoutMS(options.timeoutMs);
    }
    if (!handler->openDevice(device)) {
        *error = QStringLiteral("cannot open %1 at %2 kbit/s").arg(what).arg(options.bitrate);
        return nullptr;
    }
    return handler;
}

// The number after "KIND:", or `fallback` when there is none.
bool argumentNumber(const QString &argument, int fallback, qint64 max, int *value, QString *error)
{
    if (argument.isEmpty()) {
        *value = fallback;
        return true;
    }
    qint64 n = 0;
    if (!zapl::parseNumber(argument, 0, max, &n, error))
        return false;
    *value = int(n);
    return true;
}

template<typename Handler> std::unique_ptr<Handler> withReplyId(const zapl::Options &options)
{
    auto handler = std::make_unique<Handler>();
    handler->setReplyID(static_cast<uchar>(options.replyId));
    return handler;
}

std::unique_ptr<CommandHandlerInterface> openKvaser(
    const QString &argument, const zapl::Options &options, QString *error)
{
    int channel = 0;
    if (!argumentNumber(argument, 0, 255, &channel, error))
        return nullptr;
    return openVendor(withReplyId<CANKvaserCommandHandler>(options), QVariantList { options.bitrate, channel },
        QStringLiteral("Kvaser channel %1").arg(channel), options, error);
}

std::unique_ptr<CommandHandlerInterface> openPeak(const QString &argument, const zapl::Options &options, QString *error)
{
    int net = 1;
    if (!argumentNumber(argument, 1, 2, &net, error))
        return nullptr;
    auto handler = withReplyId<CANPeakCommandHandler>(options);
    handler->setNetID(net);
    return openVendor(std::move(handler), options.bitrate, QStringLiteral("PEAK net %1").arg(net), options, error);
}

std::unique_ptr<CommandHandlerInterface> openEsd(const QString &argument, const zapl::Options &options, QString *error)
{
    int net = 0;
    if (!argumentNumber(argument, 0, 255, &net, error))
        return nullptr;
    auto handler = withReplyId<CANEsdCommandHandler>(options);
    handler->setNetID(net);
    return openVendor(std::move(handler), options.bitrate, QStringLiteral("esd net %1").arg(net), options, error);
}

std::unique_ptr<CommandHandlerInterface> openIxxat(
    const QString &argument, const zapl::Options &options, QString *error)
{
    if (!argument.isEmpty()) {
        *error = QStringLiteral("ixxat link takes no argument");
        return nullptr;
    }
    return openVendor(
        withReplyId<CANIxxatCommandHandler>(options), options.bitrate, QStringLiteral("IXXAT adapter"), options, error);
}
} // namespace

ZAPL_REGISTER(canvendors)
{
    zapl::registerLink({ QStringLiteral("kvaser"),
        QStringLiteral("kvaser[:CHANNEL]  a Kvaser adapter channel, 0 by default (--bitrate, --reply-id)"),
        openKvaser });
    zapl::registerLink({ QStringLiteral("peak"),
        QStringLiteral("peak[:NET]  a PEAK USB adapter, net 1 or 2 (--bitrate, --reply-id)"), openPeak });
    zapl::registerLink({ QStringLiteral("esd"),
        QStringLiteral("esd[:NET]  an esd adapter on a net, 0 by default (--bitrate, --reply-id)"), openEsd });
    zapl::registerLink({ QStringLiteral("ixxat"),
        QStringLiteral("ixxat  the first IXXAT adapter (--bitrate, --reply-id)"), openIxxat });
}
