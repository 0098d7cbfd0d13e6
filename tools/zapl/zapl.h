#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QVariant>
#include <functional>
#include <memory>

class CommandHandlerInterface;
class CANopenHandlerInterface;
class CANZAPLCommandHandler;
class FT4222HCommandHandler;
class QCommandLineParser;

namespace zapl {

// Exit codes; README's table and "zapl --help" name them. Several outcomes: the largest wins.
enum Exit : int {
    ExitOk = 0,
    ExitNoReply = 1, // a request got no answer in time
    ExitBadInput = 2, // the command line or a request is wrong; nothing was sent for it
    ExitLink = 3, // the link could not be opened, or it vanished
    ExitBadReply = 4, // a reply that cannot be trusted: wrong checksum, another module
    ExitRefused = 5, // the module or node said no: error status, SDO abort, LSS error
    ExitInterrupted = 130, // Ctrl-C or SIGTERM before the work was done
};

enum class Format { Text, Json, Csv };

// Options of every command; they may stand anywhere on the line.
struct Options
{
    QString link = QStringLiteral("virtual"); // KIND[:ARGUMENT]
    bool linkGiven = false;
    int bitrate = 1000; // kbit/s
    int replyId = 2; // the host's address; on CAN the identifier replies come back on
    int address = 1; // module address
    int timeoutMs = -1; // reply time-out; -1 keeps the handler's (or the command's) default
    bool usb = false; // USB reading strategy on serial links
    bool debug = false; // the library's debug lines on standard error
    bool verbose = false; // every frame on standard error
    Format format = Format::Text;
};

// What a command gets: the options, its own parsed options and its positional arguments.
struct Invocation
{
    QString name;
    Options options;
    const QCommandLineParser *parser = nullptr;
    QStringList arguments;
};

struct Subcommand
{
    QString name;
    QString arguments; // synopsis after the name, e.g. "[REQUEST...]"
    QString summary; // one line for the overview
    QString help; // the text of "zapl help NAME" (options are listed after it)
    QList<QCommandLineOption> options;
    std::function<int(const Invocation &)> run;
    bool formats = false; // takes --format
};
bool registerSubcommand(const Subcommand &subcommand);

// "zapl simulate KIND ..." serves until Ctrl-C; its first line on stdout is the path to open.
// Its options are parsed with every other option; only the kind's own are accepted.
struct Simulator
{
    QString kind;
    QString summary; // one line, e.g. "ZAPL modules sharing one pseudo-terminal"
    QList<QCommandLineOption> options;
    std::function<int(const Invocation &)> run;
};
bool registerSimulator(const Simulator &simulator);

// Why a link could not be had: the link string is wrong (ExitBadInput) or the adapter did not
// open (ExitLink). Factories return error->badInput(...) or error->failed(...).
struct LinkError
{
    int code = ExitOk;
    QString text;
    std::nullptr_t badInput(const QString &why);
    std::nullptr_t failed(const QString &why);
};

template<typename Handler>
using LinkFactory
    = std::function<std::unique_ptr<Handler>(const QString &argument, const Options &options, LinkError *error)>;

enum class Framing { Serial, Can, None }; // what --dry-run prints

// One kind of link ("serial", "kvaser", ...) and every service it offers. A kind registers
// once, from its own cmd_*.cpp, with all of its factories; the argument after "KIND:" means the
// same adapter for each of them.
struct LinkKind
{
    QString kind;
    QString syntax; // e.g. "serial:PATH[@BAUD]"
    QString help; // one line
    Framing framing = Framing::Serial;
    LinkFactory<CommandHandlerInterface> zapl; // ZAPL requests (send, scan)
    LinkFactory<CANopenHandlerInterface> canopen; // a CANopen master (canopen)
    LinkFactory<FT4222HCommandHandler> spi; // the SPI bridge (spi)
    // False once the port behind the argument is gone; empty for kinds that cannot tell.
    std::function<bool(const QString &argument)> present;
};
bool registerLink(const LinkKind &link);
QList<LinkKind> links();

// Opens options.link for one service; null with *error set when it cannot. Applies --timeout and
// --debug to the handler.
std::unique_ptr<CommandHandlerInterface> openZaplLink(const Options &options, LinkError *error);
std::unique_ptr<CANopenHandlerInterface> openCanopenLink(const Options &options, LinkError *error);
std::unique_ptr<FT4222HCommandHandler> openSpiLink(const Options &options, LinkError *error);
// The kind of options.link, or null with *error set (bad input).
const LinkKind *linkKind(const Options &options, LinkError *error);

// Notices a link that vanishes under a command: the handler reporting a lost port or adapter, a
// serial port of the handler reporting that its device is gone, or the kind's presence check
// failing.
class LinkWatch
{
public:
    LinkWatch(QObject *handler, const Options &options);
    ~LinkWatch();
    LinkWatch(const LinkWatch &) = delete;
    LinkWatch &operator=(const LinkWatch &) = delete;
    bool gone();
    QString reason() const; // one line for "zapl COMMAND: ..."

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The settings every ZAPL-over-CAN link shares: the debug switch, the reply identifier, and a
// receive filter that lets only frames on the reply identifier count as replies.
void prepareCanHandler(CANZAPLCommandHandler &handler, const Options &options);

// A serial port that exists: a device path, or a port the system lists (COM3).
bool serialPortPresent(const QString &name);
// "500", "500k", "500000", "1M": kbit/s (a plain number below 10000 is kbit/s).
bool parseBitrate(const QString &text, int *kbit, QString *error);

QTextStream &out();
QTextStream &err();

// Results on stdout in the chosen format: a text line, or one JSON object per line, or CSV
// with a header. Every record carries the same keys, in this order; a null text prints nothing
// in text form (an outcome that only standard error tells).
class Records
{
public:
    Records(Format format, const QStringList &keys);
    void add(const QVariantList &values, const QString &text);

private:
    Format m_format;
    QStringList m_keys;
};

} // namespace zapl

// Registers at start-up from any cmd_*.cpp: ZAPL_REGISTER(unique_name) { zapl::registerSubcommand(...); }
#define ZAPL_REGISTER(name)                                                                                            \
    static void zaplRegister_##name();                                                                                 \
    static const bool zaplRegistered_##name = (zaplRegister_##name(), true);                                           \
    static void zaplRegister_##name()
