#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

class CommandHandlerInterface;

namespace zapl {

// Options that every subcommand understands; main() takes them out of the argument list
// wherever they stand.
struct Options
{
    QString link = QStringLiteral("virtual"); // KIND[:ARGUMENT]
    int bitrate = 1000; // kbit/s, CAN links
    int replyId = 2; // CAN identifier the modules answer on
    int address = 1; // module address
    int timeoutMs = -1; // reply time-out; -1 keeps the handler's default
    bool usb = false; // USB reading strategy on serial links
    bool debug = false; // handler debug lines
    bool verbose = false; // traffic as the handler reports it
};

struct Subcommand
{
    QString name;
    QString synopsis; // one line for the overview, e.g. "send REQUEST...  send requests"
    QString help; // full text for "zapl help NAME"
    std::function<int(const QStringList &args, const Options &options)> run;
};

// Creates and opens a handler for the argument after "KIND:" (may be empty). Returns null
// with *error set when the link cannot be opened.
using LinkFactory = std::function<std::unique_ptr<CommandHandlerInterface>(
    const QString &argument, const Options &options, QString *error)>;
struct LinkKind
{
    QString kind;
    QString help; // one line, e.g. "serial:PATH[@BAUD]  a serial line or pseudo-terminal"
    LinkFactory open;
};

// "zapl simulate KIND ..." runs one of these until interrupted; the first line it prints is
// the path a host opens.
struct Simulator
{
    QString kind;
    QString help; // one line, e.g. "serial [--modules 1,3,7] [--latency MS]  ZAPL modules on a pseudo-terminal"
    std::function<int(const QStringList &args, const Options &options)> run;
};

bool registerSubcommand(const Subcommand &subcommand);
bool registerSimulator(const Simulator &simulator);
bool registerLink(const LinkKind &link);
const LinkKind *findLink(const QString &kind);
QList<LinkKind> links();

// Opens options.link through its registered kind; prints nothing.
std::unique_ptr<CommandHandlerInterface> openLink(const Options &options, QString *error);

QTextStream &out();
QTextStream &err();

// Whole-number argument within [min, max]; false with *error naming the input otherwise.
bool parseNumber(const QString &text, qint64 min, qint64 max, qint64 *value, QString *error);

} // namespace zapl

// Registers at start-up from any cmd_*.cpp: ZAPL_REGISTER(unique_name) { zapl::registerSubcommand(...); }
#define ZAPL_REGISTER(name)                                                                                            \
    static void zaplRegister_##name();                                                                                 \
    static const bool zaplRegistered_##name = (zaplRegister_##name(), true);                                           \
    static void zaplRegister_##name()
