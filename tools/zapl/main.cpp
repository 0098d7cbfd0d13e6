// The command line: options, help, version, completion, and the dispatch to one command.
#include "console.h"
#include "requesttext.h"
#include "zapl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
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

QString formatName()
{
    return QStringLiteral("format");
}

QList<QCommandLineOption> globalOptions()
{
    return {
        { QStringLiteral("link"), QStringLiteral("connection to use, see Links (default: virtual)"),
            QStringLiteral("KIND[:ARG]") },
        { QStringLiteral("bitrate"), QStringLiteral("CAN bit rate: 500, 500k, 500000 or 1M (default 1M)"),
            QStringLiteral("RATE") },
        { QStringLiteral("reply-id"),
            QStringLiteral("the host's address; on CAN the identifier replies come on (default 2)"),
            QStringLiteral("ID") },
        { QStringLiteral("address"), QStringLiteral("module address (default 1)"), QStringLiteral("N") },
        { QStringLiteral("timeout"), QStringLiteral("reply time-out in milliseconds"), QStringLiteral("MS") },
        { QStringLiteral("usb"), QStringLiteral("USB reading strategy on serial links") },
        { QStringLiteral("debug"), QStringLiteral("the library's debug lines on standard error") },
        { { QStringLiteral("v"), QStringLiteral("verbose") }, QStringLiteral("every frame on standard error") },
        { { QStringLiteral("h"), QStringLiteral("help") },
            QStringLiteral("this text; zapl COMMAND --help explains one command") },
        { QStringLiteral("help-all"), QStringLiteral("the help of every command in one text") },
        { QStringLiteral("version"), QStringLiteral("the version of zapl") },
    };
}

QCommandLineOption formatOption()
{
    return { formatName(), QStringLiteral("results as text, json (JSON Lines) or csv (default text)"),
        QStringLiteral("FORMAT") };
}

QList<QCommandLineOption> optionsOf(const Subcommand *command)
{
    QList<QCommandLineOption> list;
    if (command) {
        list = command->options;
        if (command->formats)
            list << formatOption();
    }
    return list;
}

// Two aligned columns, as every help list is printed.
QString columns(const QList<QPair<QString, QString>> &rows)
{
    constexpr int kMaxLeft = 30;
    int width = 0;
    for (const auto &row : rows)
        width = qMax(width, row.first.size() <= kMaxLeft ? int(row.first.size()) : 0);
    QString text;
    for (const auto &row : rows) {
        text += QStringLiteral("  ") + row.first;
        if (row.first.size() > width)
            text += QLatin1Char('\n') + QString(width + 2, QLatin1Char(' '));
        else
            text += QString(width - row.first.size(), QLatin1Char(' '));
        text += QStringLiteral("  ") + row.second + QLatin1Char('\n');
    }
    return text;
}

QString optionText(const QList<QCommandLineOption> &options)
{
    QList<QPair<QString, QString>> rows;
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString left = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += QLatin1Char(' ') + option.valueName();
        rows.append({ left, option.description() });
    }
    return columns(rows);
}

const char *const kExitCodes = "Exit codes:\n"
                               "  0    done\n"
                               "  1    a request got no answer in time\n"
                               "  2    bad input: the command line or a request is wrong; nothing was sent for it\n"
                               "  3    the link could not be opened, or it vanished\n"
                               "  4    a reply that cannot be trusted: wrong checksum, or from another module\n"
                               "  5    the module or node refused: error status, SDO abort, LSS error\n"
                               "  130  interrupted by Ctrl-C before the work was done\n"
                               "With several outcomes the largest code is the exit code.\n";

QString linkText()
{
    QList<QPair<QString, QString>> rows;
    for (const LinkKind &link : links()) {
        QStringList services;
        if (link.zapl)
            services << QStringLiteral("ZAPL");
        if (link.canopen)
            services << QStringLiteral("CANopen");
        if (link.spi)
            services << QStringLiteral("SPI");
        rows.append({ link.syntax, link.help + QStringLiteral(" [") + services.join(QStringLiteral(", ")) + "]" });
    }
    return columns(rows);
}

QString overview()
{
    QList<QPair<QString, QString>> commands;
    for (const Subcommand &c : subcommands())
        commands.append({ c.name + QLatin1Char(' ') + c.arguments, c.summary });
    return QStringLiteral("Usage: zapl [options] COMMAND [arguments]\n"
                          "A host for motion-controller modules: ZAPL requests over serial, CAN and SPI\n"
                          "links, a CANopen master, port listing and simulated hardware.\n\n"
                          "Commands:\n")
        + columns(commands) + QStringLiteral("\nOptions:\n") + optionText(globalOptions())
        + QStringLiteral("\nLinks (--link):\n") + linkText() + QLatin1Char('\n') + QLatin1String(kExitCodes)
        + QStringLiteral("\nzapl help COMMAND or zapl COMMAND --help explains one command.\n");
}

QString commandHelp(const Subcommand &c)
{
    QString text = QStringLiteral("Usage: zapl [options] %1 %2\n%3\n").arg(c.name, c.arguments, c.help);
    if (c.name == QLatin1String("simulate")) {
        for (const Simulator &s : simulators())
            text += QStringLiteral("\nsimulate %1: %2\n").arg(s.kind, s.summary) + optionText(s.options);
        return text + QStringLiteral("\nOptions:\n") + optionText(globalOptions());
    }
    const QList<QCommandLineOption> own = optionsOf(&c);
    if (!own.isEmpty())
        text += QStringLiteral("\nOptions of %1:\n").arg(c.name) + optionText(own);
    return text + QStringLiteral("\nOptions:\n") + optionText(globalOptions());
}

QString helpAll()
{
    QString text = overview();
    for (const Subcommand &c : subcommands())
        text += QStringLiteral("\nCommand %1:\n\n").arg(c.name) + commandHelp(c);
    return text;
}

int runSimulator(const Invocation &call)
{
    const QStringList &args = call.arguments;
    if (args.isEmpty() || !simulators().contains(args.first())) {
        err() << "zapl simulate: "
              << (args.isEmpty() ? QStringLiteral("which simulator?")
                                 : QStringLiteral("unknown simulator '%1'").arg(args.first()))
              << " (one of: " << QStringList(simulators().keys()).join(QStringLiteral(", ")) << ")\n";
        return ExitBadInput;
    }
    const Simulator &simulator = simulators()[args.first()];
    // Every simulator's options passed the parser; only this one's own (and the common) count.
    QStringList allowed;
    for (const QCommandLineOption &o : globalOptions() + simulator.options)
        allowed << o.names();
    for (const QString &name : call.parser->optionNames()) {
        if (!allowed.contains(name)) {
            err() << "zapl simulate " << simulator.kind << ": unknown option '--" << name << "'\n";
            return ExitBadInput;
        }
    }
    Invocation own = call;
    own.arguments.removeFirst();
    if (!own.arguments.isEmpty()) {
        err() << "zapl simulate " << simulator.kind << ": unexpected argument '" << own.arguments.first() << "'\n";
        return ExitBadInput;
    }
    return simulator.run(own);
}

// A bash completion script made from the commands, options and link kinds registered here.
QString completionScript()
{
    QStringList valueOptions;
    QStringList globals;
    for (const QCommandLineOption &o : globalOptions()) {
        for (const QString &name : o.names())
            globals << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        if (!o.valueName().isEmpty())
            valueOptions << QStringLiteral("--") + o.names().constLast();
    }
    QStringList kinds;
    for (const LinkKind &link : links())
        kinds << link.kind;
    QString cases;
    for (const Subcommand &c : subcommands()) {
        QStringList words = c.name == QLatin1String("simulate") ? QStringList(simulators().keys()) : QStringList();
        if (c.name == QLatin1String("help"))
            words = subcommands().keys();
        for (const QString &word : c.arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (word.contains(QLatin1Char('|')))
                words << word.split(QLatin1Char('|'));
        for (const QCommandLineOption &o : optionsOf(&c)) {
            words << QStringLiteral("--") + o.names().constLast();
            if (!o.valueName().isEmpty())
                valueOptions << QStringLiteral("--") + o.names().constLast();
        }
        cases += QStringLiteral("        %1) words=\"%2 $globals\" ;;\n").arg(c.name, words.join(QLatin1Char(' ')));
    }
    valueOptions.removeDuplicates();
    valueOptions.removeAll(QStringLiteral("--link"));
    valueOptions.removeAll(QStringLiteral("--format"));
    return QStringLiteral("# bash completion for zapl, made by \"zapl completion\"\n"
                          "_zapl()\n"
                          "{\n"
                          "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
                          "    local globals=\"%1\" command=\"\" words i\n"
                          "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
                          "        case \"${COMP_WORDS[i]}\" in\n"
                          "        --link|--format|%2) ((i++)) ;;\n"
                          "        -*) ;;\n"
                          "        *) command=\"${COMP_WORDS[i]}\"; break ;;\n"
                          "        esac\n"
                          "    done\n"
                          "    case \"$prev\" in\n"
                          "    --link) COMPREPLY=($(compgen -W \"%3\" -- \"$cur\")); return ;;\n"
                          "    --format) COMPREPLY=($(compgen -W \"text json csv\" -- \"$cur\")); return ;;\n"
                          "    %2) COMPREPLY=(); return ;;\n"
                          "    esac\n"
                          "    case \"$command\" in\n"
                          "        \"\") words=\"%4 $globals\" ;;\n"
                          "%5"
                          "    esac\n"
                          "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
                          "}\n"
                          "complete -F _zapl zapl\n")
        .arg(globals.join(QLatin1Char(' ')), valueOptions.join(QLatin1Char('|')), kinds.join(QLatin1Char(' ')),
            QStringList(subcommands().keys()).join(QLatin1Char(' ')), cases);
}

int runCompletion(const Invocation &call)
{
    if (!call.arguments.isEmpty() && call.arguments != QStringList { QStringLiteral("bash") }) {
        err() << "zapl completion: only bash is known\n";
        return ExitBadInput;
    }
    out() << completionScript();
    return ExitOk;
}

int runHelp(const Invocation &call)
{
    if (call.arguments.isEmpty()) {
        out() << overview();
        return ExitOk;
    }
    const auto it = subcommands().constFind(call.arguments.first());
    if (it == subcommands().constEnd()) {
        err() << "zapl help: unknown command '" << call.arguments.first() << "'\n";
        return ExitBadInput;
    }
    out() << commandHelp(*it);
    return ExitOk;
}

bool isNegativeNumber(const QString &argument)
{
    return argument.size() > 1 && argument.at(0) == QLatin1Char('-') && argument.at(1).isDigit();
}

// The first argument that is neither an option nor an option's value; -1 when there is none.
int commandIndex(const QStringList &args)
{
    QStringList valueOptions;
    for (const QCommandLineOption &o : globalOptions())
        if (!o.valueName().isEmpty())
            valueOptions << QStringLiteral("--") + o.names().constLast();
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--"))
            return i + 1 < args.size() ? i + 1 : -1;
        if (valueOptions.contains(a))
            ++i;
        else if (!a.startsWith(QLatin1Char('-')) || isNegativeNumber(a))
            return i;
    }
    return -1;
}

// Without --debug: no debug lines, and no library warnings either, since zapl says in its own
// one line what went wrong (a lost port, a refused request); critical lines always show.
void quietMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (type == QtWarningMsg && context.category && qstrncmp(context.category, "commandhandler", 14) == 0)
        return;
    fprintf(stderr, "%s\n", qPrintable(message));
}

// Fills options from the parser; false with a line on stderr when a value is wrong.
bool readOptions(const QCommandLineParser &parser, const Subcommand *command, Options *options)
{
    QString error;
    auto number = [&](const char *name, qint64 min, qint64 max, int *target) {
        const QString key = QLatin1String(name);
        qint64 v = 0;
        if (!parser.isSet(key))
            return true;
        if (!parseNumber(parser.value(key), min, max, &v, &error)) {
            err() << "zapl: --" << key << ": " << error << "\n";
            return false;
        }
        *target = int(v);
        return true;
    };
    if (parser.isSet(QStringLiteral("link"))) {
        options->link = parser.value(QStringLiteral("link"));
        options->linkGiven = true;
    }
    if (parser.isSet(QStringLiteral("bitrate"))
        && !parseBitrate(parser.value(QStringLiteral("bitrate")), &options->bitrate, &error)) {
        err() << "zapl: --bitrate: " << error << "\n";
        return false;
    }
    if (!number("reply-id", 0, 255, &options->replyId) || !number("address", 0, 255, &options->address)
        || !number("timeout", 1, 600000, &options->timeoutMs))
        return false;
    options->usb = parser.isSet(QStringLiteral("usb"));
    options->debug = parser.isSet(QStringLiteral("debug"));
    options->verbose = parser.isSet(QStringLiteral("verbose"));
    if (command && command->formats && parser.isSet(formatName())) {
        const QString format = parser.value(formatName());
        if (format == QLatin1String("json")) {
            options->format = Format::Json;
        } else if (format == QLatin1String("csv")) {
            options->format = Format::Csv;
        } else if (format != QLatin1String("text")) {
            err() << "zapl: --format: '" << format << "' is none of text, json, csv\n";
            return false;
        }
    }
    return true;
}

int run(const QStringList &arguments)
{
    const QString program = arguments.value(0, QStringLiteral("zapl"));
    QStringList args = arguments.mid(1);
    const int at = commandIndex(args);
    const QString name = at < 0 ? QString() : args.at(at);
    const auto found = subcommands().constFind(name);
    const Subcommand *command = found == subcommands().constEnd() ? nullptr : &found.value();

    QCommandLineParser parser;
    parser.addOptions(globalOptions());
    parser.addOptions(optionsOf(command));
    // A negative number is an argument ("sdo write 5 0x2000 0 -5"), not an option: it passes the
    // parser under a stand-in name.
    QStringList valueOptions;
    for (const QCommandLineOption &o : globalOptions() + optionsOf(command))
        if (!o.valueName().isEmpty())
            for (const QString &n : o.names())
                valueOptions << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    QMap<QString, QString> negatives;
    for (int i = 0; i < args.size() && args.at(i) != QLatin1String("--"); ++i) {
        if (valueOptions.contains(args.at(i))) {
            ++i;
        } else if (isNegativeNumber(args.at(i))) {
            const QString standIn = QStringLiteral("\x01%1").arg(i);
            negatives.insert(standIn, args.at(i));
            args[i] = standIn;
        }
    }
    if (!parser.parse(QStringList { program } + args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            err() << "zapl: unknown option '" << (unknown.first().size() == 1 ? "-" : "--") << unknown.first()
                  << "' (see zapl " << (command ? name + QLatin1Char(' ') : QString()) << "--help)\n";
        else
            err() << "zapl: " << parser.errorText() << "\n";
        return ExitBadInput;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out() << "zapl " << QStringLiteral(ZAPL_VERSION) << "\n";
        return ExitOk;
    }
    if (parser.isSet(QStringLiteral("help-all"))) {
        out() << helpAll();
        return ExitOk;
    }
    if (!name.isEmpty() && !command) {
        err() << "zapl: unknown command '" << name << "' (see zapl --help)\n";
        return ExitBadInput;
    }
    if (parser.isSet(QStringLiteral("help")) || !command) {
        if (!command && !parser.isSet(QStringLiteral("help"))) {
            err() << overview();
            return ExitBadInput;
        }
        out() << (command ? commandHelp(*command) : overview());
        return ExitOk;
    }

    Invocation call;
    call.name = name;
    call.parser = &parser;
    if (!readOptions(parser, command, &call.options))
        return ExitBadInput;
    if (!call.options.debug)
        qInstallMessageHandler(quietMessages);
    // Plugins of Qt SerialBus explain missing vendor libraries on every listing; --debug shows it.
    if (!call.options.debug)
        QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus*=false"));
    for (const QString &argument : parser.positionalArguments().mid(1))
        call.arguments << negatives.value(argument, argument);
    return command->run(call);
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
    Subcommand &simulate = subcommands()[QStringLiteral("simulate")];
    if (simulate.name.isEmpty())
        simulate = { QStringLiteral("simulate"), QStringLiteral("KIND [options]"),
            QStringLiteral("serve simulated hardware until Ctrl-C"),
            QStringLiteral("Serves simulated hardware until Ctrl-C or SIGTERM (exit code 0); the first line\n"
                           "printed is the path to open (for example with --link serial:PATH)."),
            {}, runSimulator };
    for (const QCommandLineOption &option : simulator.options) {
        const bool known = std::any_of(simulate.options.cbegin(), simulate.options.cend(),
            [&option](const QCommandLineOption &o) { return o.names() == option.names(); });
        if (!known)
            simulate.options << option;
    }
    return true;
}

} // namespace zapl

ZAPL_REGISTER(main)
{
    zapl::registerSubcommand(
        { QStringLiteral("help"), QStringLiteral("[COMMAND]"), QStringLiteral("the help of zapl or of one command"),
            QStringLiteral("Prints the overview, or the help of one command."), {}, zapl::runHelp });
    zapl::registerSubcommand(
        { QStringLiteral("completion"), QStringLiteral("[bash]"), QStringLiteral("print a bash completion script"),
            QStringLiteral("Prints a bash completion script for zapl; source it, or install it as\n"
                           "share/bash-completion/completions/zapl (cmake --install does)."),
            {}, zapl::runCompletion });
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("zapl"));
    zapl::Interrupt::install();
    int rc = zapl::run(QCoreApplication::arguments());
    // One place decides what an interruption means, whatever the command was doing.
    if (zapl::Interrupt::requested()) {
        zapl::err() << "zapl: interrupted\n";
        rc = zapl::ExitInterrupted;
    }
    zapl::out().flush();
    zapl::err().flush();
    return rc;
}
