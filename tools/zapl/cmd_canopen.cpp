// zapl canopen: the CANopen master services over any of the five adapter kinds.
#include "canopenesdcommandhandler.h"
#include "canopenixxatcommandhandler.h"
#include "canopenkvasercommandhandler.h"
#include "canopenpeakcommandhandler.h"
#include "canopenslcancommandhandler.h"
#include "zapl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <csignal>
#include <memory>

namespace {

const char *const kHelp
    = "zapl canopen [--link KIND[:ARG]] SERVICE ...\n"
      "A CANopen master. Links: kvaser, peak[:CHANNEL], esd, ixxat, slcan:PATH (--bitrate applies;\n"
      "--timeout sets the SDO and LSS time-outs).\n\n"
      "  nmt start|stop|preop|reset-app|reset-comm NODE   (NODE 0: all nodes)\n"
      "  sdo read NODE INDEX SUB\n"
      "  sdo write NODE INDEX SUB VALUE [--size 1..4]      expedited (default size 4)\n"
      "  sdo write NODE INDEX SUB --bytes HEX [--size N]   segmented; N pads or cuts the data\n"
      "  sync\n"
      "  pdo COBID HEX                                     at most 8 bytes\n"
      "  lss switch 0|1                                    waiting / configuration mode (all nodes)\n"
      "  lss select VENDOR PRODUCT REVISION SERIAL          one node into configuration mode\n"
      "  lss inquire vendor|product|revision|serial|node-id\n"
      "  lss set-node ID | lss store\n"
      "  lss identify                                      does any node answer the fast-scan reset?\n"
      "  lss fastscan                                      find one unconfigured node's identity\n"
      "  monitor [SECONDS]                                 print every frame, decoded by service";

const char *sdoResultText(unsigned char r)
{
    switch (r) {
    case 1:
        return "done";
    case 2:
        return "bad size";
    case 3:
        return "download aborted";
    case 4:
        return "upload aborted";
    case 5:
        return "error";
    case 6:
        return "time-out";
    default:
        return "unknown";
    }
}

QString hexBytes(const quint8 *data, int length)
{
    return QByteArray(reinterpret_cast<const char *>(data), qBound(0, length, 8)).toHex(' ');
}

QString nmtStateName(quint8 s)
{
    switch (s & 0x7F) {
    case 0x00:
        return QStringLiteral("boot-up");
    case 0x04:
        return QStringLiteral("stopped");
    case 0x05:
        return QStringLiteral("operational");
    case 0x7F:
        return QStringLiteral("pre-operational");
    default:
        return QStringLiteral("state 0x%1").arg(s, 2, 16, QLatin1Char('0'));
    }
}

// One frame, named by the service of the predefined connection set.
QString describe(const CanMessage &m)
{
    const quint32 id = m.id;
    const quint32 node = id & 0x7F;
    const QString bytes = hexBytes(m.data, m.length);
    auto idText = QStringLiteral("%1").arg(id, 3, 16, QLatin1Char('0'));
    QString what;
    if (id == 0x000) {
        static const QMap<int, QString> names = { { 0x01, "start" }, { 0x02, "stop" }, { 0x80, "pre-operational" },
            { 0x81, "reset application" }, { 0x82, "reset communication" } };
        what = QStringLiteral("NMT %1 node %2").arg(names.value(m.data[0], QStringLiteral("?"))).arg(m.data[1]);
    } else if (id == 0x080) {
        what = QStringLiteral("SYNC");
    } else if (id > 0x080 && id < 0x100) {
        what = QStringLiteral("EMCY node %1 code 0x%2 register 0x%3")
                   .arg(node)
                   .arg(m.data[0] | m.data[1] << 8, 4, 16, QLatin1Char('0'))
                   .arg(m.data[2], 2, 16, QLatin1Char('0'));
    } else if (id >= 0x181 && id <= 0x57F && node != 0) {
        const int number = int((id - 0x180) >> 8) / 2 + 1;
        what = QStringLiteral("%1PDO%2 node %3").arg((id >> 7) % 2 ? "T" : "R").arg(number).arg(node);
    } else if (id >= 0x581 && id <= 0x5FF) {
        what = QStringLiteral("SDO reply node %1").arg(node);
    } else if (id >= 0x601 && id <= 0x67F) {
        what = QStringLiteral("SDO request node %1").arg(node);
    } else if (id >= 0x701 && id <= 0x77F) {
        what = m.length >= 1 && m.data[0] == 0
            ? QStringLiteral("boot-up node %1").arg(node)
            : QStringLiteral("heartbeat node %1 %2").arg(node).arg(nmtStateName(m.data[0]));
    } else if (id == 0x7E4 || id == 0x7E5) {
        what = QStringLiteral("LSS %1 cs 0x%2")
                   .arg(id == 0x7E4 ? "reply" : "request")
                   .arg(m.data[0], 2, 16, QLatin1Char('0'));
    } else {
        what = QStringLiteral("other");
    }
    return QStringLiteral("%1 [%2] %3  %4").arg(idText).arg(m.length).arg(bytes, -23).arg(what);
}

std::unique_ptr<CANopenHandlerInterface> openMaster(const zapl::Options &options, QString *error)
{
    const int colon = options.link.indexOf(QLatin1Char(':'));
    const QString kind = colon < 0 ? options.link : options.link.left(colon);
    const QString argument = colon < 0 ? QString() : options.link.mid(colon + 1);
    std::unique_ptr<CANopenHandlerInterface> h;
    if (kind == QLatin1String("kvaser")) {
        h.reset(new CANopenKvaserCommandHandler);
    } else if (kind == QLatin1String("esd")) {
        h.reset(new CANopenEsdCommandHandler);
    } else if (kind == QLatin1String("ixxat")) {
        h.reset(new CANopenIxxatCommandHandler);
    } else if (kind == QLatin1String("peak")) {
        auto *peak = new CANopenPeakCommandHandler;
        h.reset(peak);
        if (!argument.isEmpty())
            peak->setChannelID(argument.toInt());
    } else if (kind == QLatin1String("slcan")) {
        if (argument.isEmpty()) {
            *error = QStringLiteral("slcan link needs a port: slcan:PATH");
            return nullptr;
        }
        auto *slcan = new CANopenSlCanCommandHandler;
        h.reset(slcan);
        slcan->setComPortName(argument);
    } else {
        *error = QStringLiteral("'%1' is no CANopen link (kvaser, peak, esd, ixxat, slcan:PATH)").arg(kind);
        return nullptr;
    }
    if (!h->openDevice(QVariant(options.bitrate))) {
        *error = QStringLiteral("cannot open the %1 link").arg(options.link);
        return nullptr;
    }
    if (options.timeoutMs > 0)
        h->setSDOTimeout(unsigned(options.timeoutMs));
    return h;
}

struct Args
{
    QStringList list;
    QString error;
    qint64 number(int at, qint64 min, qint64 max)
    {
        qint64 v = 0;
        if (!error.isEmpty())
            return 0;
        if (at >= list.size())
            error = QStringLiteral("missing argument");
        else
            zapl::parseNumber(list.at(at), min, max, &v, &error);
        return v;
    }
    // Removes "--name VALUE" and returns VALUE (empty when absent).
    QString take(const QString &name)
    {
        const int i = list.indexOf(name);
        if (i < 0)
            return QString();
        if (i + 1 >= list.size()) {
            error = QStringLiteral("%1 needs a value").arg(name);
            return QString();
        }
        QString v = list.at(i + 1);
        list.erase(list.begin() + i, list.begin() + i + 2);
        return v;
    }
};

int runSdo(CANopenHandlerInterface &h, Args &a)
{
    const QString op = a.list.value(0);
    const QString bytesText = a.take(QStringLiteral("--bytes"));
    const QString sizeText = a.take(QStringLiteral("--size"));
    const auto node = quint8(a.number(1, 0, 255));
    const auto index = quint16(a.number(2, 0, 0xFFFF));
    const auto sub = quint8(a.number(3, 0, 255));
    unsigned char r = 0;
    unsigned int info = 0;
    if (op == QLatin1String("read") && a.error.isEmpty()) {
        QVariant value;
        r = h.SDORead(node, index, sub, value, info);
        if (r == 1 && value.userType() == QMetaType::QByteArray)
            zapl::out() << value.toByteArray().toHex(' ') << "  \"" << QString::fromLatin1(value.toByteArray())
                        << "\"\n";
        else if (r == 1)
            zapl::out() << value.toInt() << " (0x" << QString::number(quint32(value.toInt()), 16) << ", " << info
                        << " bytes)\n";
    } else if (op == QLatin1String("write") && a.error.isEmpty()) {
        if (!bytesText.isEmpty()) {
            const QByteArray data = QByteArray::fromHex(bytesText.toLatin1());
            const unsigned size = sizeText.isEmpty() ? unsigned(data.size()) : sizeText.toUInt();
            r = h.SDOWrite(node, index, sub, size, data, info);
        } else {
            const qint64 value = a.number(4, -2147483648LL, 4294967295LL);
            const qint64 size = sizeText.isEmpty() ? 4 : sizeText.toLongLong();
            if (!a.error.isEmpty())
                return zapl::err() << "zapl canopen sdo: " << a.error << "\n", 2;
            r = h.SDOWrite(node, index, sub, static_cast<unsigned char>(qBound(qint64(0), size, qint64(255))),
                int(qint32(value)), info);
        }
    } else if (a.error.isEmpty()) {
        a.error = QStringLiteral("sdo read|write ...");
    }
    if (!a.error.isEmpty())
        return zapl::err() << "zapl canopen sdo: " << a.error << "\n", 2;
    zapl::err() << "SDO result " << r << " (" << sdoResultText(r) << ")";
    if (r == 3 || r == 4)
        zapl::err() << " abort code 0x" << QString::number(info, 16).rightJustified(8, QLatin1Char('0'));
    zapl::err() << "\n";
    return r == 1 ? 0 : 1;
}

int runLss(CANopenHandlerInterface &h, Args &a, int timeoutMs)
{
    const QString op = a.list.value(0);
    unsigned int value = 0;
    unsigned char b1 = 0, b2 = 0;
    const unsigned timeout = timeoutMs > 0 ? unsigned(timeoutMs) : 200;
    auto report = [&](unsigned char r) {
        if (r != 1)
            zapl::err() << "no LSS answer\n";
        return r == 1 ? 0 : 1;
    };
    if (op == QLatin1String("switch")) {
        h.LSSSend((unsigned char)0x04, (unsigned char)a.number(1, 0, 1));
    } else if (op == QLatin1String("select")) {
        for (int part = 0; part < 3; ++part)
            h.LSSSend((unsigned char)(0x40 + part), (unsigned int)a.number(part + 1, 0, 0xFFFFFFFFLL));
        const auto serial = (unsigned int)a.number(4, 0, 0xFFFFFFFFLL);
        if (a.error.isEmpty())
            return report(h.LSSSendAndWait((unsigned char)0x43, serial, (unsigned char)0x44, value, b1, b2, timeout));
    } else if (op == QLatin1String("inquire")) {
        static const QStringList parts = { "vendor", "product", "revision", "serial", "node-id" };
        const int part = parts.indexOf(a.list.value(1));
        if (part < 0) {
            a.error = QStringLiteral("inquire vendor|product|revision|serial|node-id");
        } else {
            const auto cs = (unsigned char)(0x5A + part);
            const unsigned char r = h.LSSSendAndWait(cs, cs, value, b1, b2, timeout);
            if (r == 1)
                zapl::out() << (part == 4 ? QString::number(b1)
                                          : QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0')))
                            << "\n";
            return report(r);
        }
    } else if (op == QLatin1String("set-node") || op == QLatin1String("store")) {
        const bool set = op == QLatin1String("set-node");
        const auto cs = (unsigned char)(set ? 0x11 : 0x17);
        const auto id = (unsigned char)(set ? a.number(1, 0, 255) : 0);
        if (a.error.isEmpty()) {
            const unsigned char r = set ? h.LSSSendAndWait(cs, id, cs, value, b1, b2, timeout)
                                        : h.LSSSendAndWait(cs, cs, value, b1, b2, timeout);
            if (r == 1)
                zapl::out() << "error code " << b1 << "\n";
            return r == 1 && b1 == 0 ? 0 : 1;
        }
    } else if (op == QLatin1String("identify")) {
        return report(h.LSSSendAndWait((unsigned char)0x51, 0u, (unsigned char)0x80, (unsigned char)0, (unsigned char)0,
            (unsigned char)0x4F, timeout));
    } else if (op == QLatin1String("fastscan")) {
        // Each step waits the whole time for answers: a late answer would flip a bit.
        const unsigned step = timeoutMs > 0 ? unsigned(timeoutMs) : 50;
        auto ask = [&](quint32 id, int bit, int sub, int next) {
            return h.LSSSendAndWait((unsigned char)0x51, (unsigned int)id, (unsigned char)bit, (unsigned char)sub,
                       (unsigned char)next, (unsigned char)0x4F, step)
                == 1;
        };
        if (!ask(0, 0x80, 0, 0))
            return report(6);
        for (int sub = 0; sub < 4; ++sub) {
            quint32 found = 0;
            for (int bit = 31; bit >= 1; --bit)
                found |= ask(found, bit, sub, sub) ? 0 : (1u << bit);
            if (!ask(found, 0, sub, (sub + 1) & 3) && !ask(found |= 1, 0, sub, (sub + 1) & 3))
                return report(6);
            static const char *const names[] = { "vendor", "product", "revision", "serial" };
            zapl::out() << names[sub] << " 0x" << QString::number(found, 16).rightJustified(8, QLatin1Char('0'))
                        << "\n";
        }
        return 0;
    } else {
        a.error = QStringLiteral("lss switch|select|inquire|set-node|store|identify|fastscan");
    }
    if (!a.error.isEmpty())
        return zapl::err() << "zapl canopen lss: " << a.error << "\n", 2;
    return 0;
}

int runMonitor(CANopenHandlerInterface &h, Args &a)
{
    const qint64 seconds = a.list.isEmpty() ? 0 : a.number(0, 1, 86400);
    if (!a.error.isEmpty())
        return zapl::err() << "zapl canopen monitor: " << a.error << "\n", 2;
    QObject::connect(&h, &CANopenHandlerInterface::receivedCanMessage, &h, [](CanMessage &m) {
        zapl::out() << describe(m) << "\n" << Qt::flush;
    });
    static QCoreApplication *app = QCoreApplication::instance();
    std::signal(SIGINT, [](int) { QMetaObject::invokeMethod(app, "quit", Qt::QueuedConnection); });
    std::signal(SIGTERM, [](int) { QMetaObject::invokeMethod(app, "quit", Qt::QueuedConnection); });
    if (seconds > 0)
        QTimer::singleShot(int(seconds * 1000), app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}

int runCanopen(const QStringList &arguments, const zapl::Options &options)
{
    if (arguments.isEmpty()) {
        zapl::err() << kHelp << "\n";
        return 2;
    }
    QString error;
    std::unique_ptr<CANopenHandlerInterface> h = openMaster(options, &error);
    if (!h) {
        zapl::err() << "zapl canopen: " << error << "\n";
        return 1;
    }
    // As a host does: keep taking frames, also while a service waits in its event loop.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, h.get(), &CANopenHandlerInterface::checkForCanMessage);
    poll.start(0);
    if (options.verbose) {
        QObject::connect(h.get(), &CANopenHandlerInterface::logSentCanMessage, h.get(),
            [](CanMessage &m) { zapl::err() << "tx " << describe(m) << "\n"; });
        QObject::connect(h.get(), &CANopenHandlerInterface::logReceivedCanMessage, h.get(),
            [](CanMessage &m) { zapl::err() << "rx " << describe(m) << "\n"; });
    }
    const QString &service = arguments.first();
    Args a { arguments.mid(1), QString() };
    int rc = 0;
    if (service == QLatin1String("nmt")) {
        static const QStringList ops = { "start", "stop", "preop", "reset-app", "reset-comm" };
        const int op = ops.indexOf(a.list.value(0));
        const auto node = (unsigned char)a.number(1, 0, 255);
        if (op < 0 || !a.error.isEmpty()) {
            zapl::err() << "zapl canopen nmt: start|stop|preop|reset-app|reset-comm NODE\n";
            rc = 2;
        } else {
            void (CANopenHandlerInterface::*calls[])(unsigned char) = { &CANopenHandlerInterface::NMTStart,
                &CANopenHandlerInterface::NMTStop, &CANopenHandlerInterface::NMTPreOp,
                &CANopenHandlerInterface::NMTResetAppl, &CANopenHandlerInterface::NMTResetComm };
            (h.get()->*calls[op])(node);
        }
    } else if (service == QLatin1String("sdo")) {
        rc = runSdo(*h, a);
    } else if (service == QLatin1String("sync")) {
        h->SYNCPulse();
    } else if (service == QLatin1String("pdo")) {
        const auto cobId = (unsigned short)a.number(0, 0, 0x7FF);
        const QByteArray data = QByteArray::fromHex(a.list.value(1).toLatin1());
        if (!a.error.isEmpty() || data.size() > 8) {
            zapl::err() << "zapl canopen pdo: COBID HEX (at most 8 bytes)\n";
            rc = 2;
        } else {
            h->PDOTransmit(cobId, data);
        }
    } else if (service == QLatin1String("lss")) {
        rc = runLss(*h, a, options.timeoutMs);
    } else if (service == QLatin1String("monitor")) {
        rc = runMonitor(*h, a);
    } else {
        zapl::err() << "zapl canopen: unknown service '" << service << "'\n" << kHelp << "\n";
        rc = 2;
    }
    // Frames still on their way in (the answer to an NMT reset, say) are shown in verbose mode.
    if (options.verbose) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 50)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    h->closeDevice();
    return rc;
}
} // namespace

ZAPL_REGISTER(canopen)
{
    zapl::registerSubcommand({ QStringLiteral("canopen"),
        QStringLiteral("canopen SERVICE ...  CANopen master: nmt, sdo, sync, pdo, lss, monitor"),
        QString::fromLatin1(kHelp), runCanopen });
}
