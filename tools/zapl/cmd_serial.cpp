#include "zapl.h"

#include "serialcommandhandler.h"
#include "serialserver.h"

#include <csignal>
#include <pthread.h>

namespace {
constexpr int kDefaultBaud = 115200;

std::unique_ptr<CommandHandlerInterface> openSerial(
    const QString &argument, const zapl::Options &options, QString *error)
{
    const int at = argument.lastIndexOf(QLatin1Char('@'));
    const QString path = at < 0 ? argument : argument.left(at);
    qint64 baud = kDefaultBaud;
    if (at >= 0 && !zapl::parseNumber(argument.mid(at + 1), 1, 100000000, &baud, error))
        return nullptr;
    if (path.isEmpty()) {
        *error = QStringLiteral("serial link needs a port: serial:PATH[@BAUD]");
        return nullptr;
    }
    auto handler = std::make_unique<SerialCommandHandler>();
    // The object name selects the reading strategy.
    handler->setObjectName(
        (options.usb ? QStringLiteral("USB construct No: ") : QStringLiteral("Serial construct No: "))
        + QString::number(1));
    handler->setDebugEnabled(options.debug);
    if (options.timeoutMs > 0) {
        handler->setDefaultTimeoutMS(options.timeoutMs);
        handler->setMaxTimeoutMS(options.timeoutMs);
    }
    if (!handler->openDevice(path)) {
        *error = QStringLiteral("cannot open serial port '%1'").arg(path);
        return nullptr;
    }
    if (!handler->setDataRate(static_cast<int>(baud))) {
        *error = QStringLiteral("serial port '%1' refuses %2 baud").arg(path).arg(baud);
        return nullptr;
    }
    return handler;
}

bool parseAddresses(const QString &text, QList<quint8> *addresses, QString *error)
{
    addresses->clear();
    for (const QString &item : text.split(QLatin1Char(','))) {
        qint64 a = 0;
        if (!zapl::parseNumber(item.trimmed(), 0, 255, &a, error))
            return false;
        if (!addresses->contains(quint8(a)))
            addresses->append(quint8(a));
    }
    return true;
}

int simulateSerial(const QStringList &args, const zapl::Options &options)
{
    QList<quint8> addresses { static_cast<quint8>(options.address) };
    SerialServer::Faults faults;
    QString error;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        qint64 n = 0;
        bool ok = true;
        if (a == QLatin1String("--modules") && hasValue) {
            ok = parseAddresses(args.at(++i), &addresses, &error);
        } else if (a == QLatin1String("--latency") && hasValue) {
            ok = zapl::parseNumber(args.at(++i), 0, 60000, &n, &error);
            faults.latencyMs = int(n);
        } else if (a == QLatin1String("--split") && hasValue) {
            ok = zapl::parseNumber(args.at(++i), 1, 9, &n, &error);
            faults.splitParts = int(n);
        } else if (a == QLatin1String("--split-gap") && hasValue) {
            ok = zapl::parseNumber(args.at(++i), 0, 60000, &n, &error);
            faults.splitGapMs = int(n);
        } else if (a == QLatin1String("--stray") && hasValue) {
            faults.strayBytes = QByteArray::fromHex(args.at(++i).toLatin1());
        } else if (a == QLatin1String("--silent")) {
            faults.silent = true;
        } else if (a == QLatin1String("--corrupt-checksum")) {
            faults.corruptChecksum = true;
        } else if (a == QLatin1String("--close-on-request")) {
            faults.closeOnRequest = true;
        } else {
            error = QStringLiteral("unknown or incomplete option '%1'").arg(a);
            ok = false;
        }
        if (!ok) {
            zapl::err() << "zapl simulate serial: " << error << "\n";
            return 2;
        }
    }

    // Block the stop signals in every thread so that only sigwait() below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SerialServer server(addresses);
    server.setFaults(faults);
    if (!server.start()) {
        zapl::err() << "zapl simulate serial: no pseudo-terminal available\n";
        return 1;
    }
    QStringList listed;
    for (quint8 a : addresses)
        listed << QString::number(a);
    zapl::out() << server.path() << "\n";
    zapl::out() << "modules " << listed.join(QLatin1Char(',')) << " on " << server.path() << "; Ctrl-C to stop\n";
    zapl::out().flush();
    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    zapl::out() << "served " << server.requestCount() << " requests\n";
    return 0;
}
} // namespace

ZAPL_REGISTER(serial)
{
    zapl::registerLink({ QStringLiteral("serial"),
        QStringLiteral("serial:PATH[@BAUD]  a serial line, USB virtual COM port or pseudo-terminal "
                       "(--usb: USB reading strategy)"),
        openSerial });
    zapl::registerSimulator({ QStringLiteral("serial"),
        QStringLiteral("serial [--modules 1,3,7] [--latency MS] [--silent] [--corrupt-checksum] [--stray HEX]\n"
                       "         [--split N] [--split-gap MS] [--close-on-request]\n"
                       "         ZAPL modules sharing one pseudo-terminal"),
        simulateSerial });
}
