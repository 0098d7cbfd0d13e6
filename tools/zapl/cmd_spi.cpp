// zapl spi ... and the "spi" link kind: register access, monitoring-unit set-up and live data
// over the USB-SPI bridge.
#include "zapl.h"

#include "ft4222hcommandhandler.h"
#include "vexadebuggerdataset.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QTimer>
#include <QVariant>
#include <limits>

namespace {
std::unique_ptr<FT4222HCommandHandler> openBridge(const zapl::Options &options, QString *error)
{
    std::unique_ptr<FT4222HCommandHandler> handler(new FT4222HCommandHandler);
    handler->setDebugEnabled(options.debug);
    if (options.timeoutMs > 0)
        handler->setMaxTimeoutMS(options.timeoutMs);
    if (!handler->openDevice(QVariant())) {
        *error = QStringLiteral("no USB-SPI bridge could be opened (interfaces \"FT4222 A\" and \"FT4222 B\")");
        return nullptr;
    }
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

// Takes "--NAME VALUE" out of args; false on a malformed value.
bool takeOption(QStringList &args, const QString &name, qint64 min, qint64 max, qint64 *value)
{
    const int i = args.indexOf(name);
    if (i < 0)
        return true;
    if (i + 1 >= args.size()) {
        zapl::err() << "zapl spi: " << name << " needs a value\n";
        return false;
    }
    const QString text = args.at(i + 1);
    args.erase(args.begin() + i, args.begin() + i + 2);
    return number(text, min, max, value);
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

int runRegister(FT4222HCommandHandler &handler, const QStringList &args, qint64 motor, const zapl::Options &options)
{
    const bool write = args.first() == QLatin1String("write");
    qint64 reg = 0;
    qint64 value = 0;
    if (args.size() != (write ? 3 : 2)) {
        zapl::err() << "zapl spi: usage: spi read REG [--motor M] | spi write REG VALUE [--motor M]\n";
        return 2;
    }
    if (!number(args.at(1), 0, 255, &reg)
        || (write && !number(args.at(2), std::numeric_limits<qint32>::min(), 0xFFFFFFFFLL, &value)))
        return 2;
    Command request(quint8(options.address), write ? 146 : 148, quint16(reg), quint8(motor), qint32(quint32(value)));
    Command reply;
    handler.doDirectRequest(&request, &reply);
    if (!reply.isValid()) {
        zapl::err() << "zapl spi: no answer for register " << reg << "\n";
        return 1;
    }
    zapl::out() << "register " << reg << " motor " << motor << (write ? " <- " : ": ") << reply.value() << " (0x"
                << QString::number(quint32(reply.value()), 16) << ")\n";
    return 0;
}

int runLive(FT4222HCommandHandler &handler, const QStringList &args)
{
    QStringList rest = args.mid(1);
    qint64 seconds = 1;
    if (!takeOption(rest, QStringLiteral("--seconds"), 1, 3600, &seconds) || !rest.isEmpty()) {
        zapl::err() << "zapl spi: usage: spi live [--seconds N]\n";
        return 2;
    }
    struct Summary
    {
        qint64 count = 0;
        qint64 sum = 0;
        int min = std::numeric_limits<int>::max();
        int max = std::numeric_limits<int>::min();
    };
    QMap<int, Summary> channels;
    // Emitted in the reader thread; queued into this one, where printing is safe.
    QObject::connect(
        &handler, &FT4222HCommandHandler::liveDataAvailable, &handler,
        [&channels](uchar channel, uchar timestamp, int value) {
            zapl::out() << channel << "," << timestamp << "," << value << "\n";
            Summary &s = channels[channel];
            ++s.count;
            s.sum += value;
            s.min = qMin(s.min, value);
            s.max = qMax(s.max, value);
        },
        Qt::QueuedConnection);
    if (!handler.startDebugger()) {
        zapl::err() << "zapl spi: the module did not acknowledge the start\n";
        return 1;
    }
    QTimer::singleShot(int(seconds * 1000), QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    const bool stopped = handler.stopDebugger();
    QCoreApplication::processEvents(); // packets queued before the stop
    for (auto it = channels.constBegin(); it != channels.constEnd(); ++it) {
        const Summary &s = it.value();
        zapl::out() << "# channel " << it.key() << ": " << s.count << " packets, min " << s.min << ", max " << s.max
                    << ", mean " << QString::number(double(s.sum) / double(s.count), 'f', 2) << "\n";
    }
    if (!stopped)
        zapl::err() << "zapl spi: the module did not acknowledge the stop\n";
    return stopped ? 0 : 1;
}

int runConfigure(FT4222HCommandHandler &handler, const QStringList &args)
{
    VexaDebuggerDataset dataset;
    const QStringList rest = args.mid(1);
    for (int i = 0; i < rest.size(); ++i) {
        const QString &a = rest.at(i);
        if (i + 1 >= rest.size()) {
            zapl::err() << "zapl spi: " << a << " needs a value\n";
            return 2;
        }
        const QString &value = rest.at(++i);
        bool ok = false;
        if (a == QLatin1String("--file"))
            ok = readDatasetFile(dataset, value);
        else if (a == QLatin1String("--set"))
            ok = applySetting(dataset, value);
        else
            zapl::err() << "zapl spi: unknown option " << a << "\n";
        if (!ok)
            return 2;
    }
    if (!handler.initializeDebugger(&dataset)) {
        zapl::err() << "zapl spi: the monitoring unit was not configured\n";
        return 1;
    }
    zapl::out() << "configured\n";
    return 0;
}

int runSpi(const QStringList &arguments, const zapl::Options &options)
{
    QStringList args = arguments;
    qint64 motor = 0;
    if (!takeOption(args, QStringLiteral("--motor"), 0, 15, &motor))
        return 2;
    const QStringList verbs { QStringLiteral("read"), QStringLiteral("write"), QStringLiteral("configure"),
        QStringLiteral("live") };
    if (args.isEmpty() || !verbs.contains(args.first())) {
        zapl::err() << "zapl spi: expected one of " << verbs.join(QStringLiteral(", ")) << " (see zapl help spi)\n";
        return 2;
    }
    if (options.link.section(QLatin1Char(':'), 0, 0) != QLatin1String("spi")) {
        zapl::err() << "zapl spi: needs --link spi\n";
        return 2;
    }
    QString error;
    std::unique_ptr<FT4222HCommandHandler> handler = openBridge(options, &error);
    if (!handler) {
        zapl::err() << "zapl spi: " << error << "\n";
        return 1;
    }
    int rc = 0;
    if (args.first() == QLatin1String("configure"))
        rc = runConfigure(*handler, args);
    else if (args.first() == QLatin1String("live"))
        rc = runLive(*handler, args);
    else
        rc = runRegister(*handler, args, motor, options);
    handler->closeDevice();
    return rc;
}

const char *const kSpiHelp
    = "zapl --link spi spi read REG [--motor M]\n"
      "zapl --link spi spi write REG VALUE [--motor M]\n"
      "zapl --link spi spi configure [--set KEY=VALUE]... [--file PATH]\n"
      "zapl --link spi spi live [--seconds N]\n"
      "Register access and live data of a module behind a USB-SPI bridge.\n"
      "configure writes and verifies the monitoring unit's registers; KEY is channel0..channel3,\n"
      "general, trigger or singleshot (unset ones are 0). A file holds one KEY=VALUE per line,\n"
      "'#' starts a comment.\n"
      "live prints one CSV line per packet (channel,timestamp,value) and a summary per channel\n"
      "on lines starting with '#'.";
} // namespace

ZAPL_REGISTER(spi)
{
    zapl::registerSubcommand(
        { QStringLiteral("spi"), QStringLiteral("spi read|write|configure|live ...  registers and live data over SPI"),
            QString::fromLatin1(kSpiHelp), runSpi });
    zapl::registerLink({ QStringLiteral("spi"), QStringLiteral("spi                 the USB-SPI bridge"),
        [](const QString &, const zapl::Options &options, QString *error) -> std::unique_ptr<CommandHandlerInterface> {
            return openBridge(options, error);
        } });
}
