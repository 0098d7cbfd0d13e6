// zapl send / zapl mnemonics, and the "virtual" link kind.
#include "zapl.h"

#include "commandhandlerinterface.h"
#include "mnemonics.h"
#include "virtualcommandhandler.h"
#include "zaplcommand.h"

#if __has_include("canzaplcommand.h")
#include "canzaplcommand.h"
#define ZAPL_HAVE_CAN_FRAMES 1
#endif

#include <QFile>
#include <QVariant>
#include <cstdio>

namespace {
struct ParsedRequest
{
    QString text; // as the user wrote it, for the result line
    Command command;
};

bool parseField(const QString &field, const char *what, qint64 min, qint64 max, qint64 *value, QString *error)
{
    QString why;
    if (zapl::parseNumber(field, min, max, value, &why))
        return true;
    *error = QStringLiteral("%1: %2").arg(QLatin1String(what), why);
    return false;
}

// "MNEMONIC|NUMBER [TYPE [MOTOR [VALUE]]]"; missing fields are 0. A type above 255 carries the
// extended type in its bits 8-11.
bool parseRequest(const QString &line, int address, ParsedRequest *request, QString *error)
{
    const QStringList fields = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (fields.isEmpty() || fields.size() > 4) {
        *error = QStringLiteral("malformed request '%1' (expected: COMMAND [TYPE [MOTOR [VALUE]]])").arg(line);
        return false;
    }
    qint64 number = ZAPLMnemonics::number(fields.at(0));
    if (number < 0) {
        const QChar first = fields.at(0).at(0);
        if (!first.isDigit() && first != QLatin1Char('-')) {
            *error = QStringLiteral("unknown mnemonic '%1' (see zapl mnemonics)").arg(fields.at(0));
            return false;
        }
        if (!parseField(fields.at(0), "command", 0, 255, &number, error))
            return false;
    }
    qint64 type = 0;
    qint64 motor = 0;
    qint64 value = 0;
    if ((fields.size() > 1 && !parseField(fields.at(1), "type", 0, 0xFFF, &type, error))
        || (fields.size() > 2 && !parseField(fields.at(2), "motor", 0, 255, &motor, error))
        || (fields.size() > 3 && !parseField(fields.at(3), "value", -2147483648LL, 4294967295LL, &value, error)))
        return false;
    request->text = fields.join(QLatin1Char(' '));
    Command &c = request->command;
    c.setAddress(static_cast<quint8>(address));
    c.setCommand(static_cast<quint8>(number));
    c.setType(static_cast<quint16>(type));
    c.setExtendedType(type > 0xFF);
    c.setMotorBank(static_cast<quint8>(motor));
    c.setValue(static_cast<qint32>(static_cast<quint32>(value)));
    return true;
}

const ZAPLCommandInterface *frameOf(const QVariant &message)
{
    if (message.canConvert<ZAPLRequestCommand *>())
        return message.value<ZAPLRequestCommand *>();
    if (message.canConvert<ZAPLReplyCommand *>())
        return message.value<ZAPLReplyCommand *>();
    if (message.canConvert<ZAPLCommandInterface *>())
        return message.value<ZAPLCommandInterface *>();
#ifdef ZAPL_HAVE_CAN_FRAMES
    if (message.canConvert<CANZAPLRequestCommand *>())
        return message.value<CANZAPLRequestCommand *>();
    if (message.canConvert<CANZAPLReplyCommand *>())
        return message.value<CANZAPLReplyCommand *>();
#endif
    return nullptr;
}

void printTraffic(CommandHandlerInterface::MessageFlags flag, const QVariant &message)
{
    const bool request
        = flag == CommandHandlerInterface::Serial_ZAPL_Request || flag == CommandHandlerInterface::CAN_ZAPL_Request;
    const bool reply
        = flag == CommandHandlerInterface::Serial_ZAPL_Reply || flag == CommandHandlerInterface::CAN_ZAPL_Reply;
    if (request || reply) {
        // The frame lives only during the emission; it is printed right here.
        if (const ZAPLCommandInterface *frame = frameOf(message))
            zapl::out() << (request ? "  > " : "  < ") << frame->toString() << "   " << frame->toHex() << "\n";
        return;
    }
    if (flag != CommandHandlerInterface::NoError)
        zapl::out() << "  ! " << message.toString() << "\n";
}

bool readRequests(const QStringList &args, int address, QList<ParsedRequest> *requests)
{
    QStringList lines = args;
    const bool fromInput = args.isEmpty();
    if (fromInput) {
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly | QIODevice::Text)) {
            zapl::err() << "zapl send: cannot read standard input\n";
            return false;
        }
        lines = QString::fromUtf8(input.readAll()).split(QLatin1Char('\n'));
    }
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (fromInput && (line.isEmpty() || line.startsWith(QLatin1Char('#'))))
            continue;
        ParsedRequest request;
        QString error;
        if (!parseRequest(line, address, &request, &error)) {
            zapl::err() << "zapl send: " << (fromInput ? QStringLiteral("line %1: ").arg(i + 1) : QString()) << error
                        << "\n";
            return false;
        }
        requests->append(request);
    }
    if (requests->isEmpty()) {
        zapl::err() << "zapl send: no request given\n";
        return false;
    }
    return true;
}

int runSend(const QStringList &args, const zapl::Options &options)
{
    QList<ParsedRequest> requests;
    if (!readRequests(args, options.address, &requests))
        return 2;
    QString error;
    std::unique_ptr<CommandHandlerInterface> handler = zapl::openLink(options, &error);
    if (!handler) {
        zapl::err() << "zapl send: " << error << "\n";
        return 1;
    }
    handler->setDebugEnabled(options.debug);
    if (options.timeoutMs > 0) {
        handler->setDefaultTimeoutMS(options.timeoutMs);
        handler->setMaxTimeoutMS(options.timeoutMs);
    }
    if (options.verbose) {
        handler->setHistoryEnabled(true);
        QObject::connect(handler.get(), &CommandHandlerInterface::variantMessageOutput, handler.get(), printTraffic,
            Qt::DirectConnection);
    }
    int failures = 0;
    for (ParsedRequest &request : requests) {
        Command reply;
        handler->doDirectRequest(&request.command, &reply);
        if (reply.isValid()) {
            zapl::out() << request.text << ": status " << reply.status() << " value " << reply.value() << "\n";
        } else {
            zapl::out() << request.text << ": no reply\n";
            ++failures;
        }
        zapl::out().flush();
    }
    handler->closeDevice();
    return failures ? 1 : 0;
}

int runMnemonics(const QStringList &args, const zapl::Options &)
{
    if (!args.isEmpty()) {
        zapl::err() << "zapl mnemonics: unexpected argument '" << args.first() << "'\n";
        return 2;
    }
    const auto &names = ZAPLMnemonics::byNumber();
    for (auto it = names.constBegin(); it != names.constEnd(); ++it)
        zapl::out() << QString::number(it.key()).rightJustified(3) << "  " << it.value() << "\n";
    return 0;
}

std::unique_ptr<CommandHandlerInterface> openVirtual(const QString &argument, const zapl::Options &, QString *error)
{
    if (!argument.isEmpty()) {
        *error = QStringLiteral("the virtual link takes no argument (got '%1')").arg(argument);
        return nullptr;
    }
    auto handler = std::make_unique<VirtualCommandHandler>();
    handler->setDeviceName(QStringLiteral("Virtual"));
    // The simulated module has no device to open; it answers all the same.
    handler->openDevice(QVariant());
    return handler;
}

const char *const kSendHelp
    = "zapl send [REQUEST...]\n"
      "Sends each request to the module at --address over --link and prints the reply as\n"
      "'REQUEST: status S value V' ('no reply' when none came). Without REQUEST arguments the\n"
      "requests are read from standard input, one per line; blank lines and lines starting\n"
      "with '#' are skipped. All requests are checked before the first one is sent.\n"
      "\n"
      "REQUEST is 'COMMAND [TYPE [MOTOR [VALUE]]]' in one argument; missing fields are 0.\n"
      "  COMMAND  a mnemonic (see zapl mnemonics, case-sensitive) or a number 0..255\n"
      "  TYPE     0..4095; above 255 the bits 8-11 travel as the extended type\n"
      "  MOTOR    motor or bank 0..255\n"
      "  VALUE    -2147483648..4294967295 (decimal, or hexadecimal with 0x)\n"
      "With --verbose each request (>) and reply (<) frame is printed as bytes and in hex form.\n"
      "Example: zapl --verbose send \"SAP 4 0 1000\" \"GAP 4 0 0\"\n"
      "Exit code: 0 all answered, 1 a request got no reply or the link failed, 2 bad input.";

const char *const kMnemonicsHelp = "zapl mnemonics\nLists the command vocabulary: number and mnemonic, one per line.";
} // namespace

ZAPL_REGISTER(send)
{
    zapl::registerSubcommand({ QStringLiteral("send"),
        QStringLiteral("send [REQUEST...]   send requests, print replies"), QLatin1String(kSendHelp), runSend });
    zapl::registerSubcommand(
        { QStringLiteral("mnemonics"), QStringLiteral("mnemonics           list the command vocabulary"),
            QLatin1String(kMnemonicsHelp), runMnemonics });
    zapl::registerLink({ QStringLiteral("virtual"),
        QStringLiteral("virtual             the simulated module of this process (default)"), openVirtual });
}
