#include "zapl.h"

#include "canopennode.h"
#include "canslcancommandhandler.h"
#include "slcanserver.h"

#include <csignal>
#include <pthread.h>

namespace {
std::unique_ptr<CommandHandlerInterface> openSlcan(const QString &path, const zapl::Options &options, QString *error)
{
    if (path.isEmpty()) {
        *error = QStringLiteral("slcan link needs a port: slcan:PATH");
        return nullptr;
    }
    auto handler = std::make_unique<CANSlCanCommandHandler>();
    handler->setDebugEnabled(options.debug);
    handler->setComPortName(path);
    handler->setReplyID(static_cast<uchar>(options.replyId));
    // Only frames on the reply identifier are replies; anything else on the bus is not.
    handler->filterAddId(static_cast<uint>(options.replyId));
    if (options.timeoutMs > 0) {
        handler->setDefaultTimeoutMS(options.timeoutMs);
        handler->setMaxTimeoutMS(options.timeoutMs);
    }
    if (!handler->openDevice(options.bitrate)) {
        *error = QStringLiteral("cannot open SLCAN adapter '%1' at %2 kbit/s").arg(path).arg(options.bitrate);
        return nullptr;
    }
    return handler;
}

int simulateSlcan(const QStringList &args, const zapl::Options &options)
{
    QList<quint8> modules { static_cast<quint8>(options.address) };
    QList<quint8> canopenNodes; // CANopen node models beside the ZAPL modules
    SlcanServer::Options o;
    QString error;
    for (int i = 0; i < args.size() && error.isEmpty(); ++i) {
        const QString &a = args.at(i);
        const QString value = i + 1 < args.size() ? args.at(i + 1) : QString();
        qint64 n = 0;
        if (a == QLatin1String("--modules") && !value.isEmpty()) {
            ++i;
            modules.clear();
            for (const QString &item : value.split(QLatin1Char(','))) {
                if (!zapl::parseNumber(item.trimmed(), 0, 255, &n, &error))
                    break;
                if (!modules.contains(quint8(n)))
                    modules << quint8(n);
            }
        } else if (a == QLatin1String("--ack") && !value.isEmpty()) {
            ++i;
            if (value == QLatin1String("cr"))
                o.ack = SlcanServer::Ack::Cr;
            else if (value == QLatin1String("z"))
                o.ack = SlcanServer::Ack::Z;
            else if (value == QLatin1String("none"))
                o.ack = SlcanServer::Ack::None;
            else
                error = QStringLiteral("--ack takes cr, z or none");
        } else if ((a == QLatin1String("--delay") || a == QLatin1String("--split")) && !value.isEmpty()) {
            ++i;
            if (zapl::parseNumber(value, a == QLatin1String("--split") ? 1 : 0, 60000, &n, &error))
                (a == QLatin1String("--split") ? o.splitParts : o.delayMs) = int(n);
        } else if (a == QLatin1String("--canopen-node") && !value.isEmpty()) {
            ++i;
            if (zapl::parseNumber(value, 1, 127, &n, &error))
                canopenNodes << quint8(n);
        } else if (a == QLatin1String("--lower-case")) {
            o.lowerCaseHex = true;
        } else {
            error = QStringLiteral("unknown or incomplete option '%1'").arg(a);
        }
    }
    if (!error.isEmpty()) {
        zapl::err() << "zapl simulate slcan: " << error << "\n";
        return 2;
    }
    // Only sigwait() below receives the stop signals; the server thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SlcanServer server(modules, static_cast<quint32>(options.replyId));
    server.setOptions(o);
    std::vector<std::unique_ptr<CanOpenNode>> canopen;
    for (quint8 id : canopenNodes) {
        canopen.emplace_back(new CanOpenNode(id));
        canopen.back()->attachTo(server.bus());
    }
    if (!server.start()) {
        zapl::err() << "zapl simulate slcan: no pseudo-terminal available\n";
        return 1;
    }
    QStringList listed;
    for (quint8 a : modules)
        listed << QString::number(a);
    zapl::out() << server.path() << "\n";
    zapl::out() << "SLCAN adapter with modules " << listed.join(QLatin1Char(',')) << " answering on identifier "
                << options.replyId << "; Ctrl-C to stop\n";
    zapl::out().flush();
    int received = 0;
    sigwait(&stopSignals, &received);
    canopen.clear();
    server.stop();
    zapl::out() << "served " << server.commands().size() << " command lines\n";
    return 0;
}
} // namespace

ZAPL_REGISTER(slcan)
{
    zapl::registerLink({ QStringLiteral("slcan"),
        QStringLiteral("slcan:PATH  a serial-line CAN adapter (--bitrate, --reply-id)"), openSlcan });
    zapl::registerSimulator({ QStringLiteral("slcan"),
        QStringLiteral("slcan [--modules 1,3] [--ack cr|z|none] [--delay MS] [--split N] [--lower-case]\n"
                       "         [--canopen-node ID]...  (a CANopen node model on the bus too)\n"
                       "         an SLCAN adapter with ZAPL modules on its bus"),
        simulateSlcan });
}
