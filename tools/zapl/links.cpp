// The link table that every command opens its connection through, and what watches it.
#include "canopenhandlerinterface.h"
#include "canzaplcommandhandler.h"
#include "commandhandlerinterface.h"
#include "ft4222hcommandhandler.h"
#include "requesttext.h"
#include "zapl.h"

#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>

namespace zapl {
namespace {
QMap<QString, LinkKind> &linkKinds()
{
    static QMap<QString, LinkKind> map;
    return map;
}

QString kindOf(const QString &link)
{
    return link.section(QLatin1Char(':'), 0, 0);
}

QString argumentOf(const QString &link)
{
    const int colon = link.indexOf(QLatin1Char(':'));
    return colon < 0 ? QString() : link.mid(colon + 1);
}

// The kinds that offer a service, for the line that says which ones do.
template<typename Member> QString kindsOffering(Member member)
{
    QStringList names;
    for (const LinkKind &kind : linkKinds())
        if (kind.*member)
            names << kind.kind;
    return names.join(QStringLiteral(", "));
}

template<typename Handler, typename Member>
std::unique_ptr<Handler> open(const Options &options, LinkError *error, Member member, const char *service)
{
    const LinkKind *kind = linkKind(options, error);
    if (!kind)
        return nullptr;
    if (!(kind->*member))
        return error->badInput(QStringLiteral("the %1 link offers no %2 (links that do: %3)")
                                   .arg(kind->kind, QLatin1String(service), kindsOffering(member)));
    return (kind->*member)(argumentOf(options.link), options, error);
}
} // namespace

std::nullptr_t LinkError::badInput(const QString &why)
{
    code = ExitBadInput;
    text = why;
    return nullptr;
}

std::nullptr_t LinkError::failed(const QString &why)
{
    code = ExitLink;
    text = why;
    return nullptr;
}

bool registerLink(const LinkKind &link)
{
    linkKinds().insert(link.kind, link);
    return true;
}

QList<LinkKind> links()
{
    return linkKinds().values();
}

const LinkKind *linkKind(const Options &options, LinkError *error)
{
    const auto it = linkKinds().constFind(kindOf(options.link));
    if (it != linkKinds().constEnd())
        return &it.value();
    error->badInput(QStringLiteral("unknown link kind '%1' (one of: %2)")
                        .arg(kindOf(options.link), QStringList(linkKinds().keys()).join(QStringLiteral(", "))));
    return nullptr;
}

std::unique_ptr<CommandHandlerInterface> openZaplLink(const Options &options, LinkError *error)
{
    auto handler = open<CommandHandlerInterface>(options, error, &LinkKind::zapl, "ZAPL requests");
    if (handler && options.timeoutMs > 0) {
        handler->setDefaultTimeoutMS(options.timeoutMs);
        handler->setMaxTimeoutMS(options.timeoutMs);
    }
    if (handler)
        handler->setDebugEnabled(options.debug);
    return handler;
}

std::unique_ptr<CANopenHandlerInterface> openCanopenLink(const Options &options, LinkError *error)
{
    auto handler = open<CANopenHandlerInterface>(options, error, &LinkKind::canopen, "CANopen master");
    if (handler && options.timeoutMs > 0)
        handler->setSDOTimeout(unsigned(options.timeoutMs));
    return handler;
}

std::unique_ptr<FT4222HCommandHandler> openSpiLink(const Options &options, LinkError *error)
{
    auto handler = open<FT4222HCommandHandler>(options, error, &LinkKind::spi, "SPI bridge");
    if (handler && options.timeoutMs > 0)
        handler->setMaxTimeoutMS(options.timeoutMs);
    if (handler)
        handler->setDebugEnabled(options.debug);
    return handler;
}

bool serialPortPresent(const QString &name)
{
    if (QFileInfo::exists(name))
        return true;
    const auto ports = QSerialPortInfo::availablePorts();
    return std::any_of(ports.cbegin(), ports.cend(),
        [&name](const QSerialPortInfo &port) { return port.portName() == name || port.systemLocation() == name; });
}

bool parseBitrate(const QString &text, int *kbit, QString *error)
{
    // A whole or decimal number, optionally followed by k or M.
    QString number = text.trimmed();
    double scale = 1;
    if (number.endsWith(QLatin1Char('k'), Qt::CaseInsensitive)) {
        scale = 1000;
        number.chop(1);
    } else if (number.endsWith(QLatin1Char('M'))) {
        scale = 1000000;
        number.chop(1);
    }
    bool ok = !number.isEmpty() && number.at(0).isDigit();
    const double value = ok ? number.toDouble(&ok) : 0;
    if (!ok) {
        *error = QStringLiteral("'%1' is not a bit rate (500, 500k, 500000 or 1M)").arg(text);
        return false;
    }
    // Plain numbers below 10000 are kbit/s, as the adapters count; above, bit/s as ip-link writes.
    const double bitsPerSecond = scale == 1 && value < 10000 ? value * 1000 : value * scale;
    const double kbits = bitsPerSecond / 1000;
    if (kbits != double(qint64(kbits)) || kbits < 1 || kbits > 1000) {
        *error = QStringLiteral("bit rate '%1' is not a whole number of kbit/s from 1k to 1M").arg(text);
        return false;
    }
    *kbit = int(kbits);
    return true;
}

void prepareCanHandler(CANZAPLCommandHandler &handler, const Options &options)
{
    handler.setDebugEnabled(options.debug);
    handler.setReplyID(static_cast<uchar>(options.replyId));
    handler.filterAddId(static_cast<uint>(options.replyId));
}

struct LinkWatch::Private
{
    std::function<bool(const QString &)> present;
    QString argument;
    QString link;
    bool gone = false;
    QString reason;
    QObject context; // ends the connections below with the watch
};

LinkWatch::LinkWatch(QObject *handler, const Options &options) : d(new Private)
{
    d->link = options.link;
    d->argument = argumentOf(options.link);
    const auto it = linkKinds().constFind(kindOf(options.link));
    if (it != linkKinds().constEnd())
        d->present = it->present;
    Private *state = d.get();
    const auto lost = [state](const QString &what) {
        if (!state->gone) {
            state->gone = true;
            state->reason = what;
        }
    };
    // The library reports a port or adapter that went away: a ZAPL handler as the fault "Port
    // Lost" (its handleDetachedDevice also follows every time-out), a CANopen master through
    // handleDetachedDevice, which it sends for nothing else.
    if (auto *zaplHandler = qobject_cast<CommandHandlerInterface *>(handler)) {
        QObject::connect(
            zaplHandler, &CommandHandlerInterface::faultsMessage, &d->context, [lost](const QVariantHash &faults) {
                const auto it = faults.constFind(QStringLiteral("Port Lost"));
                if (it != faults.constEnd())
                    lost(QStringLiteral("%1 lost").arg(it->toString()));
            });
    } else if (auto *master = qobject_cast<CANopenHandlerInterface *>(handler)) {
        QObject::connect(master, &CANopenHandlerInterface::handleDetachedDevice, &d->context,
            [lost](int, const QString &port) { lost(QStringLiteral("%1 lost").arg(port)); });
    }
}

LinkWatch::~LinkWatch() = default;

bool LinkWatch::gone()
{
    if (!d->gone && d->present && !d->present(d->argument)) {
        d->gone = true;
        d->reason = QStringLiteral("no longer present");
    }
    return d->gone;
}

QString LinkWatch::reason() const
{
    return QStringLiteral("the link %1 is gone (%2)").arg(d->link, d->reason);
}

} // namespace zapl
