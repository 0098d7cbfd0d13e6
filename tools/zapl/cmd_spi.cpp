// zapl spi ... and the "spi" link kind: register access, monitoring-unit set-up and live data
// over the USB-SPI bridge.
#include "console.h"
#include "requesttext.h"
#include "zapl.h"

#include "ft4222hcommandhandler.h"
#include "vexadebuggerdataset.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QVariant>
#include <limits>

namespace {
std::unique_ptr<FT4222HCommandHandler> openBridge(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    if (!argument.isEmpty())
        return error->badInput(QStringLiteral("the spi link takes no argument (got '%1')").arg(argument));
    std::unique_ptr<FT4222HCommandHandler> handler(new FT4222HCommandHandler);
    handler->setDebugEnabled(options.debug);
    if (!handler->openDevice(QVariant()))
        return error->failed(
            QStringLiteral("no USB-SPI bridge could be opened (interfaces \"FT4222 A\" and \"FT4222 B\")"));
    return handler;
}

bool number(const QString &text, qint64 min, qint64 max, qint64 *value)
{
    QString error;
    if (zapl::parseNumber(text, min, max, value, &error))
        return true;
    zapl::err() << "zapl spi: " << error << "\n";
    return false;
}

void setChannel(VexaDebuggerDataset &d, int n, quint32 v)
{
    d.channelLow[n] = quint8(v);
    d.channelMidLow[n] = quint8(v >> 8);
    d.channelMidHigh[n] = quint8(v >> 16);
    d.channelHigh[n] = quint8((v >> 24) & 0x3F);
    d.channelFlag30[n] = quint8((v >> 30) & 1);
    d.channelFlag31[n] = quint8(v >> 31);
}

// KEY=VALUE with keys channel0..channel3, general, trigger, singleshot.
bool applySetting(VexaDebuggerDataset &d, const QString &setting)
{
    const int eq = setting.indexOf(QLatin1Char('='));
    const QString key = setting.left(eq).trimmed().toLower();
    if (eq < 0) {
        zapl::err() << "zapl spi: expected KEY=VALUE, got '" << setting << "'\n";
        return false;
    }
    qint64 v = 0;
    if (!number(setting.mid(eq + 1).trimmed(), std::numeric_limits<qint32>::min(), 0xFFFFFFFFLL, &v))
        return false;
    const quint32 value = quint32(v);
    if (key.startsWith(QLatin1String("channel")) && key.size() == 8 && key.at(7) >= QLatin1Char('0')
        && key.at(7) <= QLatin1Char('3')) {
        setChannel(d, key.at(7).digitValue(), value);
    } else if (key == QLatin1String("general")) {
        d.generalLow = quint8(value);
        d.generalNibble8 = quint8((value >> 8) & 0xF);
        d.generalNibble12 = quint8((value >> 12) & 0xF);
        d.generalHigh = quint16(value >> 16);
    } else if (key == QLatin1String("trigger")) {
        d.triggerValue = value;
    } else if (key == QLatin1String("singleshot")) {
        d.singleShotValues = value;
    } else {
        zapl::err() << "zapl spi: unknown setting '" << key << "'\n";
        return false;
    }
    return true;
}

bool readDatasetFile(VexaDebuggerDataset &d, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        zapl::err() << "zapl spi: cannot read " << path << "\n";
        return false;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        QString line = QString::fromUtf8(file.readLine(4096));
        line = line.left(line.indexOf(QLatin1Char('#'))).trimmed();
        if (!line.isEmpty() && !applySetting(d, line)) {
            zapl::err() << "zapl spi: " << path << ":" << lineNumber << "\n";
            return false;
        }
    }
    return true;
}

const QStringList kRegisterKeys
    = { QStringLiteral("operation"), QStringLiteral("register"), QStringLiteral("motor"), QStringLiteral("value") };

int runRegister(FT4222HCommandHandler &handler, const QStringList &args, qint64 motor, const zapl::Options &options)
{
    const bool write = args.first() == QLatin1String("write");
    qint64 reg = 0;
    qint64 value = 0;
    if (!number(args.at(1), 0, 255, &reg)
        || (write && !number(args.at(2), std::numeric_limits<qint32>::min(), 0xFFFFFFFFLL, &value)))
        return zapl::ExitBadInput;
    Command request(quint8(options.address), write ? 146 : 148, quint16(reg), quint8(motor), qint32(quint32(value)));
    Command reply;
    handler.doDirectRequest(&request, &reply);
    if (!reply.isValid()) {
        zapl::err() << "zapl spi: no answer for register " << reg << "\n";
        return zapl::ExitNoReply;
    }
    zapl::Records(options.format, kRegisterKeys)
        .add({ args.first(), int(reg), int(motor), int(reply.value()) },
            QStringLiteral("register %1 motor %2%3%4 (0x%5)")
                .arg(reg)
                .arg(motor)
                .arg(write ? QStringLiteral(" <- ") : QStringLiteral(": "))
                .arg(reply.value())
                .arg(QString::number(quint32(reply.value()), 16)));
    return zapl::ExitOk;
}

const QStringList kLiveKeys = { QStringLiteral("channel"), QStringLiteral("timestamp"), QStringLiteral("value") };

int runLive(FT4222HCommandHandler &handler, const QCommandLineParser &p, const zapl::Options &options)
{
    qint64 seconds = 1;
    QString error;
    if (p.isSet(QStringLiteral("seconds"))
        && !zapl::parseNumber(p.value(QStringLiteral("seconds")), 1, 3600, &seconds, &error)) {
        zapl::err() << "zapl spi live: --seconds: " << error << "\n";
        return zapl::ExitBadInput;
    }
    struct Summary
    {
        qint64 count = 0;
        qint64 sum = 0;
        int min = std::numeric_limits<int>::max();
        int max = std::numeric_limits<int>::min();
    };
    QMap<int, Summary> channels;
    zapl::Records records(options.format, kLiveKeys);
    // Emitted in the reader thread; queued into this one, where printing is safe.
    const QMetaObject::Connection packets = QObject::connect(
        &handler, &FT4222HCommandHandler::liveDataAvailable, &handler,
        [&channels, &records](uchar channel, uchar timestamp, int value) {
            records.add({ int(channel), int(timestamp), value },
                QStringLiteral("%1,%2,%3").arg(channel).arg(timestamp).arg(value));
            Summary &s = channels[channel];
            ++s.count;
            s.sum += value;
            s.min = qMin(s.min, value);
            s.max = qMax(s.max, value);
        },
        Qt::QueuedConnection);
    if (!handler.startDebugger()) {
        QObject::disconnect(packets);
        zapl::err() << "zapl spi: the module did not acknowledge the start\n";
        return zapl::ExitRefused;
    }
    zapl::Interrupt::waitForInterrupt(int(seconds * 1000));
    const bool stopped = handler.stopDebugger();
    QCoreApplication::processEvents(); // packets queued before the stop
    QObject::disconnect(packets);
    for (auto it = channels.constBegin(); it != channels.constEnd(); ++it) {
        const Summary &s = it.value();
        zapl::err() << "channel " << it.key() << ": " << s.count << " packets, min " << s.min << ", max " << s.max
                    << ", mean " << QString::number(double(s.sum) / double(s.count), 'f', 2) << "\n";
    }
    if (!stopped)
        zapl::err() << "zapl spi: the module did not acknowledge the stop\n";
    return stopped ? zapl::ExitOk : zapl::ExitRefused;
}

int runConfigure(FT4222HCommandHandler &handler, const QCommandLineParser &p)
{
    VexaDebuggerDataset dataset;
    if (p.isSet(QStringLiteral("file")) && !readDatasetFile(dataset, p.value(QStringLiteral("file"))))
        return zapl::ExitBadInput;
    for (const QString &setting : p.values(QStringLiteral("set")))
        if (!applySetting(dataset, setting))
            return zapl::ExitBadInput;
    if (!handler.initializeDebugger(&dataset)) {
        zapl::err() << "zapl spi: the monitoring unit was not configured\n";
        return zapl::ExitRefused;
    }
    zapl::out() << "configured\n";
    return zapl::ExitOk;
}

int runSpi(const zapl::Invocation &call)
{
    const QStringList &args = call.arguments;
    const QCommandLineParser &p = *call.parser;
    qint64 motor = 0;
    if (p.isSet(QStringLiteral("motor")) && !number(p.value(QStringLiteral("motor")), 0, 15, &motor))
        return zapl::ExitBadInput;
    static const QMap<QString, int> verbs { { QStringLiteral("read"), 2 }, { QStringLiteral("write"), 3 },
        { QStringLiteral("configure"), 1 }, { QStringLiteral("live"), 1 } };
    if (args.isEmpty() || !verbs.contains(args.first()) || args.size() != verbs.value(args.first())) {
        zapl::err() << "zapl spi: usage: spi read REG | spi write REG VALUE | spi configure | spi live"
                    << " (see zapl spi --help)\n";
        return zapl::ExitBadInput;
    }
    qint64 checked = 0;
    if ((args.first() == QLatin1String("read") || args.first() == QLatin1String("write"))
        && (!number(args.at(1), 0, 255, &checked)
            || (args.size() > 2 && !number(args.at(2), std::numeric_limits<qint32>::min(), 0xFFFFFFFFLL, &checked))))
        return zapl::ExitBadInput;
    if (call.options.format != zapl::Format::Text && args.first() == QLatin1String("configure")) {
        zapl::err() << "zapl spi configure: --format applies to read, write and live\n";
        return zapl::ExitBadInput;
    }
    // The bridge is the link of this command unless --link names another one that offers it.
    zapl::Options options = call.options;
    if (!options.linkGiven)
        options.link = QStringLiteral("spi");
    zapl::LinkError error;
    std::unique_ptr<FT4222HCommandHandler> handler = zapl::openSpiLink(options, &error);
    if (!handler) {
        zapl::err() << "zapl spi: " << error.text << "\n";
        return error.code;
    }
    int rc = zapl::ExitOk;
    if (args.first() == QLatin1String("configure"))
        rc = runConfigure(*handler, p);
    else if (args.first() == QLatin1String("live"))
        rc = runLive(*handler, p, options);
    else
        rc = runRegister(*handler, args, motor, options);
    handler->closeDevice();
    return rc;
}

const char *const kSpiHelp
    = "Register access and live data of a module behind the USB-SPI bridge (the spi link; no\n"
      "--link needed).\n"
      "  read REG [--motor M]          a register of motor M (0..15)\n"
      "  write REG VALUE [--motor M]\n"
      "  configure [--set KEY=VALUE]... [--file PATH]\n"
      "  live [--seconds N]            the monitoring unit's packets for N seconds (default 1)\n"
      "configure writes and verifies the monitoring unit's registers; KEY is channel0..channel3,\n"
      "general, trigger or singleshot (unset ones are 0). A file holds one KEY=VALUE per line,\n"
      "'#' starts a comment.\n"
      "live prints one line per packet (channel,timestamp,value) and a summary per channel on\n"
      "standard error. JSON and CSV keys: read and write: operation, register, motor, value;\n"
      "live: channel, timestamp, value.";
} // namespace

ZAPL_REGISTER(spi)
{
    zapl::Subcommand spi { QStringLiteral("spi"), QStringLiteral("read|write|configure|live ..."),
        QStringLiteral("registers and live data over the SPI bridge"), QLatin1String(kSpiHelp),
        { { QStringLiteral("motor"), QStringLiteral("read, write: motor 0..15 (default 0)"), QStringLiteral("M") },
            { QStringLiteral("set"), QStringLiteral("configure: one setting (repeatable)"),
                QStringLiteral("KEY=VALUE") },
            { QStringLiteral("file"), QStringLiteral("configure: settings from a file"), QStringLiteral("PATH") },
            { QStringLiteral("seconds"), QStringLiteral("live: how long (default 1)"), QStringLiteral("N") } },
        runSpi };
    spi.formats = true;
    zapl::registerSubcommand(spi);
    zapl::LinkKind bridge;
    bridge.kind = QStringLiteral("spi");
    bridge.syntax = QStringLiteral("spi");
    bridge.help = QStringLiteral("the USB-SPI bridge");
    bridge.framing = zapl::Framing::None;
    bridge.zapl = [](const QString &argument, const zapl::Options &options,
                      zapl::LinkError *error) -> std::unique_ptr<CommandHandlerInterface> {
        return openBridge(argument, options, error);
    };
    bridge.spi = openBridge;
    zapl::registerLink(bridge);
}
