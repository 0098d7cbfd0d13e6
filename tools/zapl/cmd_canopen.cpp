// zapl canopen: the CANopen master services over every link kind that offers one.
#include "canopenhandlerinterface.h"
#include "canopentext.h"
#include "console.h"
#include "requesttext.h"
#include "zapl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {
using Action = std::function<int(CANopenHandlerInterface &)>;

// The positional arguments of one service, read in order; the first fault is kept.
struct Args
{
    QStringList list;
    QString error;

    qint64 number(int at, qint64 min, qint64 max, const char *what)
    {
        qint64 v = 0;
        if (!error.isEmpty())
            return 0;
        QString why;
        if (at >= list.size())
            error = QStringLiteral("missing %1").arg(QLatin1String(what));
        else if (!zapl::parseNumber(list.at(at), min, max, &v, &why))
            error = QStringLiteral("%1: %2").arg(QLatin1String(what), why);
        return v;
    }
    quint8 node(int at) { return quint8(number(at, 1, 127, "node id")); }
    bool expect(int count, const char *usage)
    {
        if (error.isEmpty() && list.size() != count)
            error = QStringLiteral("usage: %1").arg(QLatin1String(usage));
        return error.isEmpty();
    }
};

// Hexadecimal bytes ("0a1b2c", blanks allowed); false on anything else.
bool hexBytes(const QString &text, QByteArray *bytes)
{
    QString digits = text;
    digits.remove(QLatin1Char(' '));
    for (const QChar c : digits)
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return false;
    *bytes = QByteArray::fromHex(digits.toLatin1());
    return digits.size() % 2 == 0;
}

const QStringList kSdoKeys = { QStringLiteral("node"), QStringLiteral("index"), QStringLiteral("sub"),
    QStringLiteral("operation"), QStringLiteral("result"), QStringLiteral("value"), QStringLiteral("size"),
    QStringLiteral("data"), QStringLiteral("text"), QStringLiteral("abort_code"), QStringLiteral("abort_text") };

int sdoExit(unsigned char result)
{
    switch (result) {
    case 1:
        return zapl::ExitOk;
    case 2:
        return zapl::ExitBadInput;
    case 3:
    case 4:
        return zapl::ExitRefused;
    case 6:
        return zapl::ExitNoReply;
    default:
        return zapl::ExitBadReply;
    }
}

Action planSdo(Args &a, const QCommandLineParser &p, zapl::Format format)
{
    const QString op = a.list.value(0);
    const bool segmented = p.isSet(QStringLiteral("bytes"));
    const int expected = op == QLatin1String("read") || segmented ? 4 : 5;
    if (op != QLatin1String("read") && op != QLatin1String("write")) {
        a.error = QStringLiteral("usage: sdo read NODE INDEX SUB | sdo write NODE INDEX SUB VALUE|--bytes HEX");
        return nullptr;
    }
    if (!a.expect(expected, "sdo read NODE INDEX SUB | sdo write NODE INDEX SUB VALUE|--bytes HEX"))
        return nullptr;
    const quint8 node = a.node(1);
    const auto index = quint16(a.number(2, 0, 0xFFFF, "index"));
    const auto sub = quint8(a.number(3, 0, 255, "sub-index"));
    const qint64 value = expected == 5 ? a.number(4, -2147483648LL, 4294967295LL, "value") : 0;
    qint64 size = segmented ? -1 : 4;
    QString why;
    if (a.error.isEmpty() && p.isSet(QStringLiteral("size"))
        && !zapl::parseNumber(
            p.value(QStringLiteral("size")), segmented ? 0 : 1, segmented ? 0xFFFFFF : 4, &size, &why))
        a.error = QStringLiteral("--size: ") + why;
    QByteArray data;
    if (a.error.isEmpty() && segmented && !hexBytes(p.value(QStringLiteral("bytes")), &data))
        a.error = QStringLiteral("--bytes: '%1' is not hexadecimal bytes").arg(p.value(QStringLiteral("bytes")));
    if (!a.error.isEmpty())
        return nullptr;
    if (size < 0)
        size = data.size();
    return [=](CANopenHandlerInterface &h) {
        QVariant result;
        unsigned int info = 0;
        unsigned char r = 0;
        if (op == QLatin1String("read"))
            r = h.SDORead(node, index, sub, result, info);
        else if (segmented)
            r = h.SDOWrite(node, index, sub, unsigned(size), data, info);
        else
            r = h.SDOWrite(node, index, sub, static_cast<unsigned char>(size), int(qint32(value)), info);
        const bool aborted = r == 3 || r == 4;
        QVariant shownValue, shownSize, shownData, shownText, abortCode, abortText;
        QString text;
        if (r == 1 && op == QLatin1String("read") && result.userType() == QMetaType::QByteArray) {
            const QByteArray bytes = result.toByteArray();
            shownSize = int(bytes.size());
            shownData = QString::fromLatin1(bytes.toHex());
            shownText = QString::fromLatin1(bytes);
            text = QStringLiteral("%1  \"%2\"").arg(QString::fromLatin1(bytes.toHex(' ')), QString::fromLatin1(bytes));
        } else if (r == 1 && op == QLatin1String("read")) {
            shownValue = result.toInt();
            shownSize = int(info);
            text = QStringLiteral("%1 (0x%2, %3 bytes)")
                       .arg(result.toInt())
                       .arg(QString::number(quint32(result.toInt()), 16))
                       .arg(info);
        } else if (op == QLatin1String("write")) {
            shownValue = segmented ? QVariant() : QVariant(int(qint32(value)));
            shownSize = int(size);
            shownData = segmented ? QVariant(QString::fromLatin1(data.toHex())) : QVariant();
            if (r == 1)
                text = QStringLiteral("written (%1 bytes)").arg(size);
        }
        if (aborted) {
            abortCode = QStringLiteral("0x%1").arg(info, 8, 16, QLatin1Char('0'));
            abortText = zapl::sdoAbortText(info);
        }
        zapl::Records records(format, kSdoKeys);
        records.add({ int(node), QStringLiteral("0x%1").arg(index, 4, 16, QLatin1Char('0')), int(sub), op,
                        zapl::sdoResult(r).name, shownValue, shownSize, shownData, shownText, abortCode, abortText },
            text);
        if (aborted)
            zapl::err() << "zapl canopen sdo: node " << node << " aborted the transfer: " << abortCode.toString() << " "
                        << abortText.toString() << "\n";
        else if (r != 1)
            zapl::err() << "zapl canopen sdo: " << zapl::sdoResult(r).text << "\n";
        return sdoExit(r);
    };
}

// Asks every unconfigured node with the fast-scan request of CiA 305 and narrows the identity
// down bit by bit; a node is silent when its identity does not match. Silence is only told from
// a late answer by waiting long enough, and on a busy machine answers come late: the step time
// grows to three times the slowest answer seen, and an identity counts only once the node it
// selected tells the same four parts when asked. Otherwise the scan runs again with longer steps.
class FastScan
{
public:
    FastScan(CANopenHandlerInterface &h, unsigned stepMs) : m_h(h), m_step(stepMs) { }

    enum Result { Found, NoAnswer, Unconfirmed };
    Result run(quint32 identity[4])
    {
        if (!ask(0, 0x80, 0, 0))
            return NoAnswer;
        for (int sub = 0; sub < 4; ++sub) {
            quint32 found = 0;
            for (int bit = 31; bit >= 1 && !zapl::Interrupt::requested(); --bit)
                found |= ask(found, bit, sub, sub) ? 0 : (1u << bit);
            const int next = (sub + 1) & 3;
            if (!ask(found, 0, sub, next) && !ask(found |= 1, 0, sub, next))
                return Unconfirmed;
            identity[sub] = found;
        }
        // The node found is in configuration mode now: it tells its identity itself.
        for (int sub = 0; sub < 4; ++sub) {
            unsigned int value = 0;
            unsigned char b1 = 0, b2 = 0;
            const auto cs = static_cast<unsigned char>(0x5A + sub);
            if (m_h.LSSSendAndWait(cs, cs, value, b1, b2, kConfirmMs) != 1 || value != identity[sub])
                return Unconfirmed;
        }
        return Found;
    }
    unsigned step() const { return m_step; }

    static constexpr unsigned kLongestStepMs = 1000;

private:
    static constexpr unsigned kConfirmMs = 2000; // the wait ends with the answer

    bool ask(quint32 id, int bit, int sub, int next)
    {
        QElapsedTimer clock;
        clock.start();
        qint64 answeredAfter = -1;
        const QMetaObject::Connection answers = QObject::connect(
            &m_h, &CANopenHandlerInterface::receivedCanMessage, &m_h, [&clock, &answeredAfter](CanMessage &m) {
                if (m.id == 0x7E4 && m.data[0] == 0x4F && answeredAfter < 0)
                    answeredAfter = clock.elapsed();
            });
        const bool answered = m_h.LSSSendAndWait(static_cast<unsigned char>(0x51), static_cast<unsigned int>(id),
                                  static_cast<unsigned char>(bit), static_cast<unsigned char>(sub),
                                  static_cast<unsigned char>(next), static_cast<unsigned char>(0x4F), m_step)
            == 1;
        QObject::disconnect(answers);
        if (answeredAfter >= 0)
            m_step = qBound(m_step, unsigned(3 * answeredAfter), kLongestStepMs);
        return answered;
    }

    CANopenHandlerInterface &m_h;
    unsigned m_step;
};

int fastscan(CANopenHandlerInterface &h, int timeoutMs)
{
    constexpr int kAttempts = 4;
    quint32 identity[4] = {};
    FastScan::Result result = FastScan::NoAnswer;
    unsigned step = timeoutMs > 0 ? unsigned(timeoutMs) : 50;
    for (int attempt = 1; attempt <= kAttempts && !zapl::Interrupt::requested(); ++attempt) {
        FastScan scan(h, step);
        result = scan.run(identity);
        if (result == FastScan::Found || attempt == kAttempts)
            break;
        // A node that the failed attempt left in configuration mode would not answer again.
        h.LSSSend(static_cast<unsigned char>(0x04), static_cast<unsigned char>(0));
        const unsigned longer = qMin(qMax(2 * step, scan.step()), FastScan::kLongestStepMs);
        zapl::err() << "zapl canopen lss: "
                    << (result == FastScan::NoAnswer ? "no node answered" : "the node did not confirm")
                    << " with steps of " << scan.step() << " ms; again with " << longer << " ms\n";
        step = longer;
    }
    if (result != FastScan::Found) {
        if (!zapl::Interrupt::requested())
            zapl::err() << "zapl canopen lss: "
                        << (result == FastScan::NoAnswer ? "no unconfigured node answered"
                                                         : "no identity that the node confirmed")
                        << "\n";
        return zapl::ExitNoReply;
    }
    static const char *const names[] = { "vendor", "product", "revision", "serial" };
    for (int sub = 0; sub < 4; ++sub)
        zapl::out() << names[sub] << " 0x" << QString::number(identity[sub], 16).rightJustified(8, QLatin1Char('0'))
                    << "\n";
    return zapl::ExitOk;
}

Action planLss(Args &a, int timeoutMs)
{
    const QString op = a.list.value(0);
    const unsigned timeout = timeoutMs > 0 ? unsigned(timeoutMs) : 200;
    auto answered = [](unsigned char r) {
        if (r != 1)
            zapl::err() << "zapl canopen lss: no LSS answer\n";
        return r == 1 ? zapl::ExitOk : zapl::ExitNoReply;
    };
    if (op == QLatin1String("switch") && a.expect(2, "lss switch 0|1")) {
        const auto mode = static_cast<unsigned char>(a.number(1, 0, 1, "mode"));
        return [mode](CANopenHandlerInterface &h) {
            h.LSSSend(static_cast<unsigned char>(0x04), mode);
            return zapl::ExitOk;
        };
    }
    if (op == QLatin1String("select") && a.expect(5, "lss select VENDOR PRODUCT REVISION SERIAL")) {
        unsigned int parts[4];
        for (int i = 0; i < 4; ++i)
            parts[i] = static_cast<unsigned int>(a.number(i + 1, 0, 0xFFFFFFFFLL, "identity part"));
        return [=](CANopenHandlerInterface &h) {
            unsigned int value = 0;
            unsigned char b1 = 0, b2 = 0;
            for (int i = 0; i < 3; ++i)
                h.LSSSend(static_cast<unsigned char>(0x40 + i), parts[i]);
            return answered(h.LSSSendAndWait(
                static_cast<unsigned char>(0x43), parts[3], static_cast<unsigned char>(0x44), value, b1, b2, timeout));
        };
    }
    if (op == QLatin1String("inquire") && a.expect(2, "lss inquire vendor|product|revision|serial|node-id")) {
        static const QStringList parts = { "vendor", "product", "revision", "serial", "node-id" };
        const int part = parts.indexOf(a.list.value(1));
        if (part < 0) {
            a.error = QStringLiteral("usage: lss inquire vendor|product|revision|serial|node-id");
            return nullptr;
        }
        return [=](CANopenHandlerInterface &h) {
            unsigned int value = 0;
            unsigned char b1 = 0, b2 = 0;
            const auto cs = static_cast<unsigned char>(0x5A + part);
            const unsigned char r = h.LSSSendAndWait(cs, cs, value, b1, b2, timeout);
            if (r == 1)
                zapl::out() << (part == 4 ? QString::number(b1)
                                          : QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0')))
                            << "\n";
            return answered(r);
        };
    }
    const bool set = op == QLatin1String("set-node");
    if ((set && a.expect(2, "lss set-node ID")) || (op == QLatin1String("store") && a.expect(1, "lss store"))) {
        // 255 takes the node back to unconfigured.
        const qint64 id = set ? a.number(1, 1, 255, "node id") : 0;
        if (set && a.error.isEmpty() && id > 127 && id != 255)
            a.error = QStringLiteral("node id: '%1' is neither 1..127 nor 255").arg(id);
        return [=](CANopenHandlerInterface &h) {
            unsigned int value = 0;
            unsigned char b1 = 0, b2 = 0;
            const auto cs = static_cast<unsigned char>(set ? 0x11 : 0x17);
            const unsigned char r = set
                ? h.LSSSendAndWait(cs, static_cast<unsigned char>(id), cs, value, b1, b2, timeout)
                : h.LSSSendAndWait(cs, cs, value, b1, b2, timeout);
            if (r == 1 && b1 != 0)
                zapl::err() << "zapl canopen lss: the node refused with error code " << b1 << "\n";
            return r != 1 ? answered(r) : b1 == 0 ? zapl::ExitOk : zapl::ExitRefused;
        };
    }
    if (op == QLatin1String("identify") && a.expect(1, "lss identify")) {
        return [=](CANopenHandlerInterface &h) {
            return answered(h.LSSSendAndWait(static_cast<unsigned char>(0x51), 0u, static_cast<unsigned char>(0x80),
                static_cast<unsigned char>(0), static_cast<unsigned char>(0), static_cast<unsigned char>(0x4F),
                timeout));
        };
    }
    if (op == QLatin1String("fastscan") && a.expect(1, "lss fastscan"))
        return [timeoutMs](CANopenHandlerInterface &h) { return fastscan(h, timeoutMs); };
    if (a.error.isEmpty())
        a.error = QStringLiteral("usage: lss switch|select|inquire|set-node|store|identify|fastscan ...");
    return nullptr;
}

const QStringList kMonitorKeys = { QStringLiteral("time"), QStringLiteral("id"), QStringLiteral("length"),
    QStringLiteral("data"), QStringLiteral("service"), QStringLiteral("node"), QStringLiteral("text") };

Action planMonitor(Args &a, const QCommandLineParser &p, const zapl::Options &options)
{
    if (!a.expect(0, "monitor [--seconds N] [--node ID]"))
        return nullptr;
    qint64 seconds = 0;
    qint64 node = 0;
    QString why;
    if ((p.isSet(QStringLiteral("seconds"))
            && !zapl::parseNumber(p.value(QStringLiteral("seconds")), 1, 86400, &seconds, &why))
        || (p.isSet(QStringLiteral("node"))
            && !zapl::parseNumber(p.value(QStringLiteral("node")), 1, 127, &node, &why))) {
        a.error = why;
        return nullptr;
    }
    return [=](CANopenHandlerInterface &h) {
        zapl::Records records(options.format, kMonitorKeys);
        QElapsedTimer clock;
        clock.start();
        const QMetaObject::Connection frames = QObject::connect(
            &h, &CANopenHandlerInterface::receivedCanMessage, &h, [&](CanMessage &m) {
                const zapl::CanFrameText t = zapl::describeCanopenFrame(m);
                if (node != 0 && t.node != node)
                    return;
                records.add({ double(clock.elapsed()) / 1000, QStringLiteral("0x%1").arg(m.id, 3, 16, QLatin1Char('0')),
                                int(m.length), t.data, t.service, t.node ? QVariant(t.node) : QVariant(), t.text },
                    t.line);
            });
        zapl::LinkWatch watch(&h, options);
        bool gone = false;
        if (seconds == 0)
            zapl::err() << "zapl canopen monitor: until Ctrl-C\n" << Qt::flush;
        zapl::Interrupt::waitForInterrupt(int(seconds * 1000), [&] { return gone = watch.gone(); });
        QObject::disconnect(frames);
        if (gone) {
            zapl::err() << "zapl canopen monitor: " << watch.reason() << "\n";
            return zapl::ExitLink;
        }
        // Without --seconds, Ctrl-C is how monitoring ends.
        if (seconds == 0)
            zapl::Interrupt::acknowledge();
        return zapl::ExitOk;
    };
}

Action plan(const QString &service, Args &a, const zapl::Invocation &call)
{
    if (service == QLatin1String("nmt")) {
        static const QStringList ops = { "start", "stop", "preop", "reset-app", "reset-comm" };
        const int op = ops.indexOf(a.list.value(0));
        // Node 0 addresses every node.
        const auto node = static_cast<unsigned char>(a.number(1, 0, 127, "node id"));
        if (op < 0 || !a.expect(2, "nmt start|stop|preop|reset-app|reset-comm NODE")) {
            a.error = QStringLiteral("usage: nmt start|stop|preop|reset-app|reset-comm NODE (0: all)");
            return nullptr;
        }
        return [op, node](CANopenHandlerInterface &h) {
            void (CANopenHandlerInterface::*calls[])(unsigned char) = { &CANopenHandlerInterface::NMTStart,
                &CANopenHandlerInterface::NMTStop, &CANopenHandlerInterface::NMTPreOp,
                &CANopenHandlerInterface::NMTResetAppl, &CANopenHandlerInterface::NMTResetComm };
            (h.*calls[op])(node);
            return zapl::ExitOk;
        };
    }
    if (service == QLatin1String("sdo"))
        return planSdo(a, *call.parser, call.options.format);
    if (service == QLatin1String("sync") && a.expect(0, "sync"))
        return [](CANopenHandlerInterface &h) {
            h.SYNCPulse();
            return zapl::ExitOk;
        };
    if (service == QLatin1String("pdo") && a.expect(2, "pdo COBID HEX")) {
        const auto cobId = static_cast<unsigned short>(a.number(0, 0, 0x7FF, "COB-ID"));
        QByteArray data;
        if (a.error.isEmpty() && (!hexBytes(a.list.value(1), &data) || data.size() > 8))
            a.error = QStringLiteral("usage: pdo COBID HEX (at most 8 bytes)");
        return [cobId, data](CANopenHandlerInterface &h) {
            h.PDOTransmit(cobId, data);
            return zapl::ExitOk;
        };
    }
    if (service == QLatin1String("lss"))
        return planLss(a, call.options.timeoutMs);
    if (service == QLatin1String("monitor"))
        return planMonitor(a, *call.parser, call.options);
    if (a.error.isEmpty() && service != QLatin1String("sync") && service != QLatin1String("pdo"))
        a.error = QStringLiteral("unknown service '%1' (nmt, sdo, sync, pdo, lss, monitor)").arg(service);
    return nullptr;
}

int runCanopen(const zapl::Invocation &call)
{
    if (call.arguments.isEmpty()) {
        zapl::err() << "zapl canopen: which service? (nmt, sdo, sync, pdo, lss, monitor; see zapl canopen --help)\n";
        return zapl::ExitBadInput;
    }
    const QString service = call.arguments.first();
    Args a { call.arguments.mid(1), QString() };
    const Action action = plan(service, a, call);
    if (!action || !a.error.isEmpty()) {
        zapl::err() << "zapl canopen " << service << ": " << a.error << "\n";
        return zapl::ExitBadInput;
    }
    if (call.options.format != zapl::Format::Text && service != QLatin1String("sdo")
        && service != QLatin1String("monitor")) {
        zapl::err() << "zapl canopen " << service << ": --format applies to sdo and monitor only\n";
        return zapl::ExitBadInput;
    }
    zapl::LinkError error;
    std::unique_ptr<CANopenHandlerInterface> h = zapl::openCanopenLink(call.options, &error);
    if (!h) {
        zapl::err() << "zapl canopen: " << error.text << "\n";
        return error.code;
    }
    // As a host does: keep taking frames, one a call, also while a service waits in its event
    // loop. Right after a frame, and while an SDO transfer waits for its next segment, the next
    // call comes at once (a transfer advances one segment a call); otherwise after a
    // millisecond, so that zapl sleeps while the bus is quiet: a process that never sleeps is
    // the last to run again on a busy machine, and every answer would wait for that.
    QTimer poll;
    poll.setSingleShot(true);
    bool took = false;
    QObject::connect(h.get(), &CANopenHandlerInterface::receivedCanMessage, &poll, [&took] { took = true; });
    QObject::connect(&poll, &QTimer::timeout, h.get(), [&] {
        took = false;
        h->checkForCanMessage();
        poll.start(took || h->isBusy() ? 0 : 1);
    });
    poll.start(0);
    if (call.options.verbose) {
        QObject::connect(h.get(), &CANopenHandlerInterface::logSentCanMessage, h.get(),
            [](CanMessage &m) { zapl::err() << "tx " << zapl::describeCanopenFrame(m).line << "\n"; });
        QObject::connect(h.get(), &CANopenHandlerInterface::logReceivedCanMessage, h.get(),
            [](CanMessage &m) { zapl::err() << "rx " << zapl::describeCanopenFrame(m).line << "\n"; });
    }
    const int rc = action(*h);
    // Frames still on their way in (the answer to an NMT reset, say) are shown in verbose mode.
    if (call.options.verbose) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 50)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    h->closeDevice();
    return rc;
}

const char *const kHelp
    = "A CANopen master on --link (a kind that offers one: see Links). --bitrate applies;\n"
      "--timeout sets the SDO and LSS time-outs. Node ids are 1..127 (NMT: 0 for all nodes).\n\n"
      "  nmt start|stop|preop|reset-app|reset-comm NODE\n"
      "  sdo read NODE INDEX SUB\n"
      "  sdo write NODE INDEX SUB VALUE [--size 1..4]      expedited (default size 4)\n"
      "  sdo write NODE INDEX SUB --bytes HEX [--size N]   segmented; N pads or cuts the data\n"
      "  sync\n"
      "  pdo COBID HEX                                     at most 8 bytes\n"
      "  lss switch 0|1                                    waiting / configuration mode (all nodes)\n"
      "  lss select VENDOR PRODUCT REVISION SERIAL         one node into configuration mode\n"
      "  lss inquire vendor|product|revision|serial|node-id\n"
      "  lss set-node ID | lss store                       ID 1..127, or 255 for unconfigured\n"
      "  lss identify                                      does an unconfigured node answer?\n"
      "  lss fastscan                                      find one unconfigured node's identity\n"
      "  monitor [--seconds N] [--node ID]                 every frame, decoded; until Ctrl-C\n\n"
      "An SDO abort prints its code and the code's meaning (exit code 5). fastscan steps take\n"
      "50 ms (or --timeout), and three times the slowest answer when that is longer; it prints\n"
      "an identity only once the node has confirmed it, and otherwise scans again with longer\n"
      "steps.\n"
      "JSON and CSV keys: sdo: node, index, sub, operation, result (done, bad-size, aborted,\n"
      "error, time-out), value, size, data, text, abort_code, abort_text; monitor: time\n"
      "(seconds), id, length, data, service, node, text.";
} // namespace

ZAPL_REGISTER(canopen)
{
    zapl::Subcommand canopen { QStringLiteral("canopen"), QStringLiteral("nmt|sdo|sync|pdo|lss|monitor ..."),
        QStringLiteral("CANopen master: NMT, SDO, SYNC, PDO, LSS, monitor"), QLatin1String(kHelp),
        { { QStringLiteral("size"), QStringLiteral("sdo write: size in bytes"), QStringLiteral("N") },
            { QStringLiteral("bytes"), QStringLiteral("sdo write: data for a segmented transfer"),
                QStringLiteral("HEX") },
            { QStringLiteral("seconds"), QStringLiteral("monitor: stop after N seconds"), QStringLiteral("N") },
            { QStringLiteral("node"), QStringLiteral("monitor: only the frames of this node"), QStringLiteral("ID") } },
        runCanopen };
    canopen.formats = true;
    zapl::registerSubcommand(canopen);
}
