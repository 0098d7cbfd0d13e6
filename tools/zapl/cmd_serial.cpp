// The "serial" link kind: a serial line, a USB virtual COM port or a pseudo-terminal.
#include "requesttext.h"
#include "serialcommandhandler.h"
#include "zapl.h"

namespace {
constexpr int kDefaultBaud = 115200;

std::unique_ptr<CommandHandlerInterface> openSerial(
    const QString &argument, const zapl::Options &options, zapl::LinkError *error)
{
    const int at = argument.lastIndexOf(QLatin1Char('@'));
    const QString path = at < 0 ? argument : argument.left(at);
    qint64 baud = kDefaultBaud;
    QString why;
    if (at >= 0 && !zapl::parseNumber(argument.mid(at + 1), 1, 100000000, &baud, &why))
        return error->badInput(QStringLiteral("serial link: baud rate %1").arg(why));
    if (path.isEmpty())
        return error->badInput(QStringLiteral("the serial link needs a port: serial:PATH[@BAUD]"));
    auto handler = std::make_unique<SerialCommandHandler>();
    // The object name selects the reading strategy.
    handler->setObjectName(
        (options.usb ? QStringLiteral("USB construct No: ") : QStringLiteral("Serial construct No: "))
        + QString::number(1));
    handler->setDebugEnabled(options.debug);
    if (!handler->openDevice(path))
        return error->failed(QStringLiteral("cannot open serial port '%1'").arg(path));
    if (!handler->setDataRate(static_cast<int>(baud)))
        return error->failed(QStringLiteral("serial port '%1' refuses %2 baud").arg(path).arg(baud));
    return handler;
}
} // namespace

ZAPL_REGISTER(serial)
{
    zapl::LinkKind serial;
    serial.kind = QStringLiteral("serial");
    serial.syntax = QStringLiteral("serial:PATH[@BAUD]");
    serial.help = QStringLiteral("a serial line, USB virtual COM port or pseudo-terminal (--usb)");
    serial.zapl = openSerial;
    serial.present
        = [](const QString &argument) { return zapl::serialPortPresent(argument.section(QLatin1Char('@'), 0, 0)); };
    zapl::registerLink(serial);
}
