// zapl send, zapl mnemonics, and the "virtual" link kind.
#include "canzaplcommand.h"
#include "commandhandlerinterface.h"
#include "console.h"
#include "mnemonics.h"
#include "requesttext.h"
#include "virtualcommandhandler.h"
#include "zapl.h"
#include "zaplcommand.h"

#include <QCommandLineParser>
#include <QVariant>
#include <cerrno>
#include <cstdio>

namespace {
constexpr quint8 kGetVersion = 136;

struct Request
{
    QString text; // the fields as given, one blank apart
    Command command;
};

bool toRequest(const QString &line, int address, Request *request, QString *error)
{
    zapl::RequestFields fields;
    if (!zapl::parseRequestText(line, &fields, error))
        return false;
    request->text = line.simplified();
    Command &c = request->command;
    c.setAddress(quint8(address));
    c.setCommand(fields.command);
    c.setType(fields.type);
    c.setExtendedType(fields.type > 0xFF);
    c.setMotorBank(fields.motor);
    c.setValue(fields.value);
    return true;
}

// A type-0 version query answers eight characters in place of status and value.
bool isTextQuery(const Command &c)
{
    return c.command() == kGetVersion && c.type() == 0;
}

QString frameText(const Command &request, zapl::Framing framing)
{
    Command copy = request;
    if (framing == zapl::Framing::Can) {
        // As the frame goes on the bus: identifier, length, data bytes.
        const CANZAPLRequestCommand frame(&copy);
        return QStringLiteral("%1 [%2] %3")
            .arg(frame.id(), 3, 16, QLatin1Char('0'))
            .arg(frame.length())
            .arg(QString::fromLatin1(frame.data().toHex(' ').toUpper()));
    }
    if (framing == zapl::Framing::Serial)
        return ZAPLRequestCommand(&copy).toString();
    return QString();
}

// Eight characters as they came; what cannot be shown is written as \xNN.
QString printable(const QString &text)
{
    QString shown;
    for (const QChar c : text)
        shown += c.unicode() >= 0x20 && c.unicode() < 0x7F
            ? QString(c)
            : QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    return shown;
}

const ZAPLCommandInterface *frameOf(const QVariant &message)
{
    const int type = message.userType();
    if (type == qMetaTypeId<ZAPLRequestCommand *>())
        return message.value<ZAPLRequestCommand *>();
    if (type == qMetaTypeId<ZAPLReplyCommand *>())
        return message.value<ZAPLReplyCommand *>();
    if (type == qMetaTypeId<CANZAPLRequestCommand *>())
        return message.value<CANZAPLRequestCommand *>();
    if (type == qMetaTypeId<CANZAPLReplyCommand *>())
        return message.value<CANZAPLReplyCommand *>();
    return nullptr;
}

// Watches the traffic that the handler reports: the checksum verdict of serial replies, which
// the reply record does not carry, and the frames that --verbose shows.
struct Traffic
{
    bool verbose = false;
    bool checksumWrong = false;

    void report(CommandHandlerInterface::MessageFlags flag, const QVariant &message)
    {
        const bool request
            = flag == CommandHandlerInterface::Serial_ZAPL_Request || flag == CommandHandlerInterface::CAN_ZAPL_Request;
        const bool reply
            = flag == CommandHandlerInterface::Serial_ZAPL_Reply || flag == CommandHandlerInterface::CAN_ZAPL_Reply;
        // The frames live only during the emission: everything is taken from them right here.
        const ZAPLCommandInterface *frame = frameOf(message);
        if (reply && message.userType() == qMetaTypeId<ZAPLReplyCommand *>()) {
            const auto *serial = static_cast<const ZAPLReplyCommand *>(frame);
            if (serial->isValid() && !serial->isReplyAndCheckSumValid())
                checksumWrong = true;
        }
        if (!verbose)
            return;
        if ((request || reply) && frame)
            zapl::err() << (request ? "  > " : "  < ") << frame->toString() << "   " << frame->toHex() << "\n";
        else if (flag != CommandHandlerInterface::NoError && !request && !reply)
            zapl::err() << "  ! " << message.toString() << "\n";
        zapl::err().flush();
    }
};

struct Result
{
    int code = zapl::ExitOk;
    QString outcome;
    QVariant status;
    QVariant value;
    QVariant text;
    QString line; // after "REQUEST: "
    QString problem; // for stderr, empty when all went well
};

Result exchange(CommandHandlerInterface &handler, Request &request, Traffic &traffic)
{
    Result r;
    const int address = request.command.address();
    traffic.checksumWrong = false;
    if (isTextQuery(request.command)) {
        const QString text = handler.getModuleAndFirmwareVersion(quint8(address));
        if (text.isEmpty()) {
            r = { zapl::ExitNoReply, QStringLiteral("no-reply"), {}, {}, {}, QStringLiteral("no reply"),
                QStringLiteral("no version text from module %1").arg(address) };
        } else {
            r = { zapl::ExitOk, QStringLiteral("ok"), {}, {}, text,
                QLatin1Char('"') + printable(text) + QLatin1Char('"'), QString() };
        }
        return r;
    }
    Command reply;
    handler.doDirectRequest(&request.command, &reply);
    if (!reply.isValid())
        return { zapl::ExitNoReply, QStringLiteral("no-reply"), {}, {}, {}, QStringLiteral("no reply"),
            QStringLiteral("no reply from module %1").arg(address) };
    if (traffic.checksumWrong)
        return { zapl::ExitBadReply, QStringLiteral("bad-checksum"), {}, {}, {}, QStringLiteral("wrong checksum"),
            QStringLiteral("the reply's checksum is wrong; its content cannot be trusted") };
    if (reply.address() != address)
        return { zapl::ExitBadReply, QStringLiteral("other-module"), {}, {}, {},
            QStringLiteral("reply from module %1").arg(reply.address()),
            QStringLiteral("module %1 answered, not module %2").arg(reply.address()).arg(address) };
    r.status = int(reply.status());
    r.value = int(reply.value());
    r.line = QStringLiteral("status %1 value %2").arg(reply.status()).arg(reply.value());
    if (reply.status() != 100) {
        r.code = zapl::ExitRefused;
        r.outcome = QStringLiteral("error-status");
        r.problem = QStringLiteral("module %1 answered with error status %2").arg(address).arg(reply.status());
    } else {
        r.outcome = QStringLiteral("ok");
    }
    return r;
}

// One line of standard input, read only when it is needed; false at the end of input or on Ctrl-C.
bool readLine(QString *line)
{
    QByteArray bytes;
    char buffer[1024];
    for (;;) {
        if (std::fgets(buffer, sizeof buffer, stdin)) {
            bytes += buffer;
            if (bytes.endsWith('\n'))
                break;
            continue;
        }
        if (std::ferror(stdin) && errno == EINTR && !zapl::Interrupt::requested()) {
            std::clearerr(stdin);
            continue;
        }
        if (bytes.isEmpty())
            return false;
        break;
    }
    *line = QString::fromUtf8(bytes).trimmed();
    return true;
}

const QStringList kKeys = { QStringLiteral("request"), QStringLiteral("address"), QStringLiteral("frame"),
    QStringLiteral("outcome"), QStringLiteral("status"), QStringLiteral("value"), QStringLiteral("text") };

class Sender
{
public:
    explicit Sender(const zapl::Invocation &call)
        : m_call(call), m_records(call.options.format, kKeys), m_dryRun(call.parser->isSet(QStringLiteral("dry-run")))
    { }

    // Checks the link string and, unless this is a dry run, opens the link.
    bool start()
    {
        zapl::LinkError error;
        const zapl::LinkKind *kind = zapl::linkKind(m_call.options, &error);
        if (kind && !m_dryRun)
            m_handler = zapl::openZaplLink(m_call.options, &error);
        if (!kind || (!m_dryRun && !m_handler)) {
            zapl::err() << "zapl send: " << error.text << "\n";
            m_rc = error.code;
            return false;
        }
        m_framing = kind->framing;
        if (m_handler) {
            m_watch.reset(new zapl::LinkWatch(m_handler.get(), m_call.options));
            m_traffic.verbose = m_call.options.verbose;
            // History on: the reply frames carry the checksum verdict.
            m_handler->setHistoryEnabled(true);
            QObject::connect(
                m_handler.get(), &CommandHandlerInterface::variantMessageOutput, m_handler.get(),
                [this](CommandHandlerInterface::MessageFlags flag, const QVariant &message) {
                    m_traffic.report(flag, message);
                },
                Qt::DirectConnection);
        }
        return true;
    }

    // False when no further request should be sent.
    bool send(Request &request)
    {
        const QString frame = frameText(request.command, m_framing);
        const QVariant frameValue = frame.isEmpty() ? QVariant() : QVariant(frame);
        if (m_dryRun) {
            m_records.add(
                { request.text, request.command.address(), frameValue, QStringLiteral("dry-run"), {}, {}, {} },
                request.text + QStringLiteral(": > ") + frame);
            return true;
        }
        const Result r = exchange(*m_handler, request, m_traffic);
        m_records.add({ request.text, request.command.address(), frameValue, r.outcome, r.status, r.value, r.text },
            request.text + QStringLiteral(": ") + r.line);
        if (!r.problem.isEmpty())
            zapl::err() << "zapl send: " << request.text << ": " << r.problem << "\n";
        m_rc = qMax(m_rc, r.code);
        if (r.code != zapl::ExitOk && m_watch->gone()) {
            zapl::err() << "zapl send: " << m_watch->reason() << "\n";
            m_rc = qMax(m_rc, int(zapl::ExitLink));
            return false;
        }
        return !zapl::Interrupt::requested();
    }

    int finish()
    {
        if (m_handler)
            m_handler->closeDevice();
        return m_rc;
    }
    int rc() const { return m_rc; }

private:
    const zapl::Invocation &m_call;
    zapl::Records m_records;
    bool m_dryRun;
    zapl::Framing m_framing = zapl::Framing::Serial;
    std::unique_ptr<CommandHandlerInterface> m_handler;
    std::unique_ptr<zapl::LinkWatch> m_watch;
    Traffic m_traffic;
    int m_rc = zapl::ExitOk;
};

// Requests given as arguments are all checked before the first is sent. A request is one
// argument: "send GAP 4 0" would otherwise send GAP, then command 4 (a move), then NOP.
bool requestsFromArguments(const QStringList &args, int address, QList<Request> *requests)
{
    bool split = false;
    for (const QString &arg : args) {
        Request request;
        QString error;
        if (!toRequest(arg, address, &request, &error)) {
            zapl::err() << "zapl send: " << error << "\n";
            return false;
        }
        split = split || (args.size() > 1 && arg.simplified().count(QLatin1Char(' ')) == 0);
        requests->append(request);
    }
    if (split) {
        zapl::err() << "zapl send: a request is one argument, but the shell split '" << args.join(QStringLiteral("' '"))
                    << "'; quote each request (zapl send \"" << args.mid(0, 4).join(QLatin1Char(' '))
                    << "\"); with several requests each names at least COMMAND and TYPE\n";
        return false;
    }
    return true;
}

int runSend(const zapl::Invocation &call)
{
    QList<Request> requests;
    if (!call.arguments.isEmpty() && !requestsFromArguments(call.arguments, call.options.address, &requests))
        return zapl::ExitBadInput;
    Sender sender(call);
    if (!sender.start())
        return sender.rc();
    if (!call.arguments.isEmpty()) {
        for (Request &request : requests)
            if (!sender.send(request))
                break;
        return sender.finish();
    }
    // Standard input: each line is sent as it is read; a bad line stops there.
    QString line;
    int lineNumber = 0;
    int sent = 0;
    while (!zapl::Interrupt::requested() && readLine(&line)) {
        ++lineNumber;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        Request request;
        QString error;
        if (!toRequest(line, call.options.address, &request, &error)) {
            zapl::err() << "zapl send: line " << lineNumber << ": " << error << "\n";
            sender.finish();
            return zapl::ExitBadInput;
        }
        ++sent;
        if (!sender.send(request))
            break;
    }
    if (sent == 0 && !zapl::Interrupt::requested()) {
        zapl::err() << "zapl send: no request given\n";
        sender.finish();
        return zapl::ExitBadInput;
    }
    return sender.finish();
}

int runMnemonics(const zapl::Invocation &call)
{
    if (!call.arguments.isEmpty()) {
        zapl::err() << "zapl mnemonics: unexpected argument '" << call.arguments.first() << "'\n";
        return zapl::ExitBadInput;
    }
    const auto &names = ZAPLMnemonics::byNumber();
    for (auto it = names.constBegin(); it != names.constEnd(); ++it)
        zapl::out() << QString::number(it.key()).rightJustified(3) << "  " << it.value() << "\n";
    return zapl::ExitOk;
}

std::unique_ptr<CommandHandlerInterface> openVirtual(
    const QString &argument, const zapl::Options &, zapl::LinkError *error)
{
    if (!argument.isEmpty())
        return error->badInput(QStringLiteral("the virtual link takes no argument (got '%1')").arg(argument));
    auto handler = std::make_unique<VirtualCommandHandler>();
    handler->setDeviceName(QStringLiteral("Virtual"));
    // The simulated module has no device to open (its openDevice says so and returns false);
    // it answers as it is.
    return handler;
}

const char *const kSendHelp
    = "Sends each request to the module at --address over --link and prints the reply:\n"
      "'REQUEST: status S value V'. A request is one argument, or one line of standard input\n"
      "when no request is given (blank lines and lines starting with '#' are skipped; each line\n"
      "is sent as it is read). Requests given as arguments are all checked before the first is\n"
      "sent; with several, each names at least COMMAND and TYPE, so that a request the shell\n"
      "split (send GAP 4 0) is refused rather than sent as three.\n"
      "\n"
      "REQUEST is 'COMMAND [TYPE [MOTOR [VALUE]]]'; missing fields are 0.\n"
      "  COMMAND  a mnemonic (zapl mnemonics; case-sensitive) or a number 0..255\n"
      "  TYPE     0..4095; above 255 the bits 8-11 travel as the extended type\n"
      "  MOTOR    motor or bank 0..255\n"
      "  VALUE    -2147483648..4294967295 (decimal, or hexadecimal with 0x)\n"
      "A type-0 version query (GetVersion 0) prints the module's eight characters.\n"
      "A reply with a wrong checksum, from another module or with a status other than 100 is\n"
      "said on standard error and sets the exit code (4, 4, 5); no reply gives 1.\n"
      "--verbose shows each request (>) and reply (<) frame on standard error.\n"
      "JSON and CSV keys: request, address, frame (request bytes), outcome (ok, no-reply,\n"
      "bad-checksum, other-module, error-status, dry-run), status, value, text.\n"
      "Example: zapl --verbose send \"SAP 4 0 1000\" \"GAP 4 0\"";
} // namespace

ZAPL_REGISTER(send)
{
    zapl::Subcommand send { QStringLiteral("send"), QStringLiteral("[REQUEST...]"),
        QStringLiteral("send requests, print the replies"), QLatin1String(kSendHelp),
        { { QStringLiteral("dry-run"), QStringLiteral("print the request frames; open no link") } }, runSend };
    send.formats = true;
    zapl::registerSubcommand(send);
    zapl::registerSubcommand({ QStringLiteral("mnemonics"), QString(), QStringLiteral("list the command vocabulary"),
        QStringLiteral("Lists the command vocabulary: number and mnemonic, one per line."), {}, runMnemonics });
    zapl::LinkKind virtualLink;
    virtualLink.kind = QStringLiteral("virtual");
    virtualLink.syntax = QStringLiteral("virtual");
    virtualLink.help = QStringLiteral("the simulated module of this process (default)");
    virtualLink.zapl = openVirtual;
    zapl::registerLink(virtualLink);
}
