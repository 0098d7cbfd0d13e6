#include "zapl.h"

#include "commandhandlerinterface.h"

#include <QCoreApplication>
#include <QMap>
#include <cstdio>

namespace zapl {
namespace {
QMap<QString, Subcommand> &subcommands()
{
    static QMap<QString, Subcommand> map;
    return map;
}

QMap<QString, Simulator> &simulators()
{
    static QMap<QString, Simulator> map;
    return map;
}

int runSimulator(const QStringList &args, const Options &options)
{
    if (args.isEmpty() || !simulators().contains(args.first())) {
        err() << "zapl simulate: "
              << (args.isEmpty() ? QStringLiteral("which simulator?")
                                 : QStringLiteral("unknown simulator '%1'").arg(args.first()))
              << " (one of: " << simulators().keys().join(QStringLiteral(", ")) << ")\n";
        return 2;
    }
    return simulators().value(args.first()).run(args.mid(1), options);
}

QString simulateHelp()
{
    QString text = QStringLiteral("zapl simulate KIND [options]\n"
                                  "Serves simulated hardware until interrupted; the first line printed is the\n"
                                  "path to open (for example with --link serial:PATH).\n\nKinds:\n");
    for (const Simulator &s : simulators())
        text += QStringLiteral("  ") + s.help + QStringLiteral("\n");
    return text;
}

QMap<QString, LinkKind> &linkKinds()
{
    static QMap<QString, LinkKind> map;
    return map;
}

const char *const kGlobalHelp = "Global options (anywhere on the line):\n"
                                "  --link KIND[:ARG]   connection to use (default: virtual)\n"
                                "  --bitrate KBIT      CAN bit rate in kbit/s (default 1000)\n"
                                "  --reply-id ID       CAN identifier the modules answer on (default 2)\n"
                                "  --address N         module address (default 1)\n"
                                "  --timeout MS        reply time-out in milliseconds\n"
                                "  --usb               USB reading strategy on serial links\n"
                                "  --debug             handler debug lines on standard error\n"
                                "  --verbose           traffic as the handler reports it\n"
                                "  --help              this text; 'zapl help COMMAND' for one command\n";

void printOverview(QTextStream &s)
{
    s << "usage: zapl [options] COMMAND [arguments]\n\nCommands:\n";
    for (const Subcommand &c : subcommands())
        s << "  " << c.synopsis << "\n";
    s << "\n" << kGlobalHelp << "\nLinks:\n";
    for (const LinkKind &l : linkKinds())
        s << "  " << l.help << "\n";
}
} // namespace

bool registerSubcommand(const Subcommand &subcommand)
{
    subcommands().insert(subcommand.name, subcommand);
    return true;
}

bool registerSimulator(const Simulator &simulator)
{
    simulators().insert(simulator.kind, simulator);
    if (!subcommands().contains(QStringLiteral("simulate")))
        registerSubcommand({ QStringLiteral("simulate"),
            QStringLiteral("simulate KIND ...    serve simulated hardware"), QString(), runSimulator });
    return true;
}

bool registerLink(const LinkKind &link)
{
    linkKinds().insert(link.kind, link);
    return true;
}

const LinkKind *findLink(const QString &kind)
{
    const auto it = linkKinds().constFind(kind);
    return it == linkKinds().constEnd() ? nullptr : &it.value();
}

QList<LinkKind> links()
{
    return linkKinds().values();
}

std::unique_ptr<CommandHandlerInterface> openLink(const Options &options, QString *error)
{
    const int colon = options.link.indexOf(QLatin1Char(':'));
    const QString kind = colon < 0 ? options.link : options.link.left(colon);
    const QString argument = colon < 0 ? QString() : options.link.mid(colon + 1);
    const LinkKind *link = findLink(kind);
    if (!link) {
        *error = QStringLiteral("unknown link kind '%1'").arg(kind);
        return nullptr;
    }
    return link->open(argument, options, error);
}

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

bool parseNumber(const QString &text, qint64 min, qint64 max, qint64 *value, QString *error)
{
    bool ok = false;
    qint64 v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = text.mid(2).toLongLong(&ok, 16);
    else if (text.startsWith(QLatin1String("-0x"), Qt::CaseInsensitive))
        v = -text.mid(3).toLongLong(&ok, 16);
    else
        v = text.toLongLong(&ok, 10);
    if (!ok) {
        *error = QStringLiteral("'%1' is not a number").arg(text);
        return false;
    }
    if (v < min || v > max) {
        *error = QStringLiteral("'%1' is out of range %2..%3").arg(text).arg(min).arg(max);
        return false;
    }
    *value = v;
    return true;
}

} // namespace zapl

namespace {
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("zapl"));
    using namespace zapl;

    Options options;
    QStringList rest;
    const QStringList args = app.arguments().mid(1);
    bool help = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        auto takeValue = [&](QString *target) {
            if (i + 1 >= args.size()) {
                err() << "zapl: option " << a << " needs a value\n";
                return false;
            }
            *target = args.at(++i);
            return true;
        };
        auto takeNumber = [&](int *target, qint64 min, qint64 max) {
            QString text;
            QString error;
            qint64 v = 0;
            if (!takeValue(&text))
                return false;
            if (!parseNumber(text, min, max, &v, &error)) {
                err() << "zapl: " << a << ": " << error << "\n";
                return false;
            }
            *target = static_cast<int>(v);
            return true;
        };
        bool ok = true;
        if (a == QLatin1String("--link"))
            ok = takeValue(&options.link);
        else if (a == QLatin1String("--bitrate"))
            ok = takeNumber(&options.bitrate, 1, 1000000);
        else if (a == QLatin1String("--reply-id"))
            ok = takeNumber(&options.replyId, 0, 0x1FFFFFFF);
        else if (a == QLatin1String("--address"))
            ok = takeNumber(&options.address, 0, 255);
        else if (a == QLatin1String("--timeout"))
            ok = takeNumber(&options.timeoutMs, 1, 600000);
        else if (a == QLatin1String("--usb"))
            options.usb = true;
        else if (a == QLatin1String("--debug"))
            options.debug = true;
        else if (a == QLatin1String("--verbose") || a == QLatin1String("-v"))
            options.verbose = true;
        else if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            help = true;
        else
            rest << a;
        if (!ok)
            return 2;
    }
    if (!options.debug)
        qInstallMessageHandler(quietMessages);

    if (rest.isEmpty() || (help && rest.isEmpty())) {
        printOverview(help ? out() : err());
        return help ? 0 : 2;
    }
    QString name = rest.takeFirst();
    if (name == QLatin1String("help")) {
        if (rest.isEmpty()) {
            printOverview(out());
            return 0;
        }
        name = rest.takeFirst();
        help = true;
    }
    const auto it = subcommands().constFind(name);
    if (it == subcommands().constEnd()) {
        err() << "zapl: unknown command '" << name << "' (see zapl --help)\n";
        return 2;
    }
    if (help) {
        out() << (name == QLatin1String("simulate") ? simulateHelp() : it->help) << "\n\n" << kGlobalHelp;
        return 0;
    }
    const int rc = it->run(rest, options);
    out().flush();
    err().flush();
    return rc;
}
