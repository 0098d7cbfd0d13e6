// zapl simulate serial / slcan: simulated hardware behind a pseudo-terminal (Unix only).
#include "canopennode.h"
#include "console.h"
#include "requesttext.h"
#include "serialserver.h"
#include "slcanserver.h"
#include "zapl.h"

#include <QCommandLineParser>

namespace {
QString joined(const QList<quint8> &addresses)
{
    QStringList listed;
    for (quint8 a : addresses)
        listed << QString::number(a);
    return listed.join(QLatin1Char(','));
}

// Serves until Ctrl-C or SIGTERM, which is how a simulator ends: exit code 0.
void serveUntilStopped()
{
    zapl::Interrupt::waitForInterrupt();
    zapl::Interrupt::acknowledge();
}

// The value of --NAME within [min, max] into *target; false with *error otherwise.
bool numberOption(const zapl::Invocation &call, const char *name, qint64 min, qint64 max, int *target, QString *error)
{
    const QString key = QLatin1String(name);
    qint64 n = 0;
    if (!call.parser->isSet(key) || !error->isEmpty())
        return true;
    if (!zapl::parseNumber(call.parser->value(key), min, max, &n, error)) {
        *error = QStringLiteral("--%1: %2").arg(key, *error);
        return false;
    }
    *target = int(n);
    return true;
}

bool modulesOption(const zapl::Invocation &call, QList<quint8> *modules, QString *error)
{
    *modules = { static_cast<quint8>(call.options.address) };
    return !call.parser->isSet(QStringLiteral("modules"))
        || zapl::parseAddresses(call.parser->value(QStringLiteral("modules")), 0, modules, error);
}

int simulateSerial(const zapl::Invocation &call)
{
    const QCommandLineParser &p = *call.parser;
    QList<quint8> addresses;
    SerialServer::Faults faults;
    QString error;
    modulesOption(call, &addresses, &error);
    numberOption(call, "latency", 0, 60000, &faults.latencyMs, &error);
    numberOption(call, "split", 1, 9, &faults.splitParts, &error);
    numberOption(call, "split-gap", 0, 60000, &faults.splitGapMs, &error);
    if (!error.isEmpty()) {
        zapl::err() << "zapl simulate serial: " << error << "\n";
        return zapl::ExitBadInput;
    }
    faults.strayBytes = QByteArray::fromHex(p.value(QStringLiteral("stray")).toLatin1());
    faults.silent = p.isSet(QStringLiteral("silent"));
    faults.corruptChecksum = p.isSet(QStringLiteral("corrupt-checksum"));
    faults.closeOnRequest = p.isSet(QStringLiteral("close-on-request"));
    SerialServer server(addresses);
    server.setFaults(faults);
    if (!server.start()) {
        zapl::err() << "zapl simulate serial: no pseudo-terminal available\n";
        return zapl::ExitLink;
    }
    zapl::out() << server.path() << "\n";
    zapl::out() << "modules " << joined(addresses) << " on " << server.path() << "; Ctrl-C to stop\n" << Qt::flush;
    serveUntilStopped();
    server.stop();
    zapl::out() << "served " << server.requestCount() << " requests\n";
    return zapl::ExitOk;
}

int simulateSlcan(const zapl::Invocation &call)
{
    const QCommandLineParser &p = *call.parser;
    QList<quint8> modules;
    QList<quint8> canopenNodes; // CANopen node models beside the ZAPL modules
    SlcanServer::Options o;
    QString error;
    modulesOption(call, &modules, &error);
    numberOption(call, "delay", 0, 60000, &o.delayMs, &error);
    numberOption(call, "split", 1, 9, &o.splitParts, &error);
    for (const QString &node : p.values(QStringLiteral("canopen-node"))) {
        qint64 n = 0;
        if (error.isEmpty() && zapl::parseNumber(node, 1, 127, &n, &error))
            canopenNodes << quint8(n);
    }
    const QString ack = p.value(QStringLiteral("ack"));
    if (ack == QLatin1String("z"))
        o.ack = SlcanServer::Ack::Z;
    else if (ack == QLatin1String("none"))
        o.ack = SlcanServer::Ack::None;
    else if (!ack.isEmpty() && ack != QLatin1String("cr"))
        error = QStringLiteral("--ack takes cr, z or none");
    o.lowerCaseHex = p.isSet(QStringLiteral("lower-case"));
    if (!error.isEmpty()) {
        zapl::err() << "zapl simulate slcan: " << error << "\n";
        return zapl::ExitBadInput;
    }
    SlcanServer server(modules, static_cast<quint32>(call.options.replyId));
    server.setOptions(o);
    std::vector<std::unique_ptr<CanOpenNode>> canopen;
    for (quint8 id : canopenNodes) {
        canopen.emplace_back(new CanOpenNode(id));
        canopen.back()->attachTo(server.bus());
    }
    if (!server.start()) {
        zapl::err() << "zapl simulate slcan: no pseudo-terminal available\n";
        return zapl::ExitLink;
    }
    zapl::out() << server.path() << "\n";
    zapl::out() << "SLCAN adapter with modules " << joined(modules) << " answering on identifier "
                << call.options.replyId << "; Ctrl-C to stop\n"
                << Qt::flush;
    serveUntilStopped();
    canopen.clear();
    server.stop();
    zapl::out() << "served " << server.commands().size() << " command lines\n";
    return zapl::ExitOk;
}

QCommandLineOption valueOption(const char *name, const char *help, const char *value)
{
    return { QLatin1String(name), QLatin1String(help), QLatin1String(value) };
}
} // namespace

ZAPL_REGISTER(simulate_pty)
{
    const QCommandLineOption modules = valueOption("modules", "module addresses (default: --address)", "LIST");
    const QCommandLineOption split = valueOption("split", "each reply goes out in N writes", "N");
    zapl::registerSimulator({ QStringLiteral("serial"), QStringLiteral("ZAPL modules sharing one pseudo-terminal"),
        { modules, valueOption("latency", "pause before each reply", "MS"), split,
            valueOption("split-gap", "pause between the writes of --split", "MS"),
            valueOption("stray", "bytes written before each reply", "HEX"),
            { QStringLiteral("silent"), QStringLiteral("take requests, answer none") },
            { QStringLiteral("corrupt-checksum"), QStringLiteral("every reply's checksum is off by one") },
            { QStringLiteral("close-on-request"), QStringLiteral("the first request closes the line") } },
        simulateSerial });
    zapl::registerSimulator(
        { QStringLiteral("slcan"), QStringLiteral("an SLCAN adapter with ZAPL modules (and CANopen nodes) on its bus"),
            { modules, valueOption("ack", "acknowledge style: cr, z or none", "STYLE"),
                valueOption("delay", "pause before each received frame line", "MS"), split,
                { QStringLiteral("lower-case"), QStringLiteral("hexadecimal digits in lower case") },
                valueOption("canopen-node", "a CANopen node model on the bus (repeatable)", "ID") },
            simulateSlcan });
}
