// The Qt SerialBus link kinds, socketcan:IFACE and qtcan:PLUGIN:IFACE, for ZAPL requests and as a
// CANopen master; and "zapl simulate qtcan": modules and CANopen nodes on a Qt SerialBus bus.
#include "canopennode.h"
#include "canopensocketcommandhandler.h"
#include "cansocketcommandhandler.h"
#include "console.h"
#include "qtcanserver.h"
#include "requesttext.h"
#include "zapl.h"

#include <QCanBus>
#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
const char *const kSocketcan = "socketcan";

// [kbit/s, interface, plugin] from the argument after the kind: "IFACE" for socketcan,
// "PLUGIN:IFACE" for qtcan (the interface may hold colons: a bus server's address).
QVariant deviceOf(const QString &kind, const QString &argument, const zapl::Options &options, QString *why)
{
    QString plugin = QLatin1String(kSocketcan);
    QString interface = argument;
    if (kind != QLatin1String(kSocketcan)) {
        const int colon = argument.indexOf(QLatin1Char(':'));
        plugin = colon < 0 ? QString() : argument.left(colon);
        interface = colon < 0 ? QString() : argument.mid(colon + 1);
        if (plugin.isEmpty() || interface.isEmpty()) {
            *why = QStringLiteral("the qtcan link needs a plugin and an interface: qtcan:PLUGIN:INTERFACE "
                                  "(plugins here: %1)")
                       .arg(QCanBus::instance()->plugins().join(QLatin1String(", ")));
            return QVariant();
        }
    } else if (interface.isEmpty()) {
        *why = QStringLiteral("the socketcan link needs an interface: socketcan:IFACE");
        return QVariant();
    }
    return QVariantList { options.bitrate, interface, plugin };
}

template<typename Handler, typename Base>
std::unique_ptr<Base> open(const QString &kind, const QString &argument, const zapl::Options &options,
    zapl::LinkError *error, const std::function<void(Handler &)> &prepare)
{
    QString why;
    const QVariant device = deviceOf(kind, argument, options, &why);
    if (!device.isValid())
        return error->badInput(why);
    auto handler = std::make_unique<Handler>();
    prepare(*handler);
    if (!handler->openDevice(device))
        return error->failed(handler->openError());
    return handler;
}

zapl::LinkKind linkKind(const QString &kind, const QString &syntax, const QString &help)
{
    zapl::LinkKind link;
    link.kind = kind;
    link.syntax = syntax;
    link.help = help;
    link.framing = zapl::Framing::Can;
    link.zapl = [kind](const QString &argument, const zapl::Options &options, zapl::LinkError *error) {
        return open<CANSocketCommandHandler, CommandHandlerInterface>(kind, argument, options, error,
            [&options](CANSocketCommandHandler &handler) { zapl::prepareCanHandler(handler, options); });
    };
    link.canopen = [kind](const QString &argument, const zapl::Options &options, zapl::LinkError *error) {
        return open<CANopenSocketCommandHandler, CANopenHandlerInterface>(
            kind, argument, options, error, [](CANopenSocketCommandHandler &) {});
    };
    return link;
}

int simulateQtcan(const zapl::Invocation &call)
{
    const QCommandLineParser &p = *call.parser;
    const QString plugin = p.isSet(QStringLiteral("plugin")) ? p.value(QStringLiteral("plugin")) : "virtualcan";
    const QString interface = p.isSet(QStringLiteral("interface")) ? p.value(QStringLiteral("interface")) : "can0";
    QList<quint8> modules { static_cast<quint8>(call.options.address) };
    QList<quint8> canopenNodes;
    QString error;
    if (p.isSet(QStringLiteral("modules")))
        zapl::parseAddresses(p.value(QStringLiteral("modules")), 0, &modules, &error);
    const QString nodes = p.values(QStringLiteral("canopen-node")).join(QLatin1Char(','));
    if (error.isEmpty() && !nodes.isEmpty() && zapl::parseAddresses(nodes, 1, &canopenNodes, &error)
        && canopenNodes.last() > 127)
        error = QStringLiteral("--canopen-node: a node is 1..127");
    if (!error.isEmpty()) {
        zapl::err() << "zapl simulate qtcan: " << error << "\n";
        return zapl::ExitBadInput;
    }
    QtCanServer server(modules, static_cast<quint32>(call.options.replyId));
    if (!server.start(plugin, interface, &error)) {
        zapl::err() << "zapl simulate qtcan: cannot join " << plugin << " " << interface << ": " << error << "\n";
        return zapl::ExitLink;
    }
    std::vector<std::unique_ptr<CanOpenNode>> canopen;
    QStringList listed;
    for (quint8 id : canopenNodes) {
        canopen.emplace_back(new CanOpenNode(id));
        canopen.back()->attachTo(server.bus());
    }
    for (quint8 a : modules)
        listed << QString::number(a);
    zapl::out() << "qtcan:" << plugin << ":" << interface << "\n";
    zapl::out() << "modules " << listed.join(QLatin1Char(',')) << " answering on identifier " << call.options.replyId
                << " on " << plugin << " " << interface << "; Ctrl-C to stop\n"
                << Qt::flush;
    QString lost;
    QObject::connect(&server, &QtCanServer::lost, &server, [&lost](const QString &why) {
        lost = why;
        QCoreApplication::exit(zapl::ExitLink); // ends the wait below
    });
    const bool stopped = zapl::Interrupt::waitForInterrupt();
    zapl::Interrupt::acknowledge();
    canopen.clear();
    server.stop();
    zapl::out() << "served " << server.framesIn() << " frames in, " << server.framesOut() << " out\n";
    if (!stopped && !lost.isEmpty()) {
        zapl::err() << "zapl simulate qtcan: the bus went away: " << lost << "\n";
        return zapl::ExitLink;
    }
    return zapl::ExitOk;
}

QCommandLineOption valueOption(const char *name, const char *help, const char *value)
{
    return { QLatin1String(name), QLatin1String(help), QLatin1String(value) };
}
} // namespace

ZAPL_REGISTER(qtcan)
{
    zapl::registerLink(linkKind(QLatin1String(kSocketcan), QStringLiteral("socketcan:IFACE"),
        QStringLiteral("a SocketCAN interface such as can0 or vcan0 (--bitrate, --reply-id)")));
    zapl::registerLink(linkKind(QStringLiteral("qtcan"), QStringLiteral("qtcan:PLUGIN:IFACE"),
        QStringLiteral("an interface of a Qt SerialBus plugin, e.g. qtcan:virtualcan:can0")));
    zapl::registerSimulator(
        { QStringLiteral("qtcan"), QStringLiteral("ZAPL modules (and CANopen nodes) on a Qt SerialBus bus"),
            { valueOption("plugin", "the Qt SerialBus plugin (default virtualcan)", "NAME"),
                valueOption("interface", "its interface (default can0)", "NAME"),
                valueOption("modules", "module addresses (default: --address)", "LIST"),
                valueOption("canopen-node", "a CANopen node model on the bus (repeatable)", "ID") },
            simulateQtcan });
}
