// zapl scan: the library's module scan at its own pace, or zapl's fast walk.
#include "basictools.h"
#include "commandhandlerinterface.h"
#include "console.h"
#include "devicefinder.h"
#include "requesttext.h"
#include "zapl.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>

namespace {
constexpr int kFastTimeoutMs = 5;

// Progress on standard error: a bar that redraws itself on a terminal, plain lines otherwise.
class Progress
{
public:
    Progress(int from, int to) : m_from(from), m_total(qMax(1, to - from + 1)), m_tty(zapl::isTerminal(stderr)) { }

    void checked(int address)
    {
        const int done = qBound(0, address - m_from + 1, m_total);
        if (!m_tty) {
            zapl::err() << "checked address " << address << " (" << done << "/" << m_total << ")\n" << Qt::flush;
            return;
        }
        constexpr int kWidth = 30;
        const int filled = done * kWidth / m_total;
        m_line = QStringLiteral("[%1%2] %3% address %4")
                     .arg(QString(filled, QLatin1Char('#')), QString(kWidth - filled, QLatin1Char('.')))
                     .arg(done * 100 / m_total, 3)
                     .arg(address);
        zapl::err() << "\r" << m_line << Qt::flush;
    }

    // Results go to stdout; on a shared terminal the bar is cleared first and drawn again after.
    void clear()
    {
        if (m_tty && !m_line.isEmpty())
            zapl::err() << "\r" << QString(m_line.size(), QLatin1Char(' ')) << "\r" << Qt::flush;
    }
    void redraw()
    {
        if (m_tty && !m_line.isEmpty())
            zapl::err() << m_line << Qt::flush;
    }
    void finish()
    {
        if (m_tty && !m_line.isEmpty())
            zapl::err() << "\n";
    }

private:
    int m_from;
    int m_total;
    bool m_tty;
    QString m_line;
};

struct Scan
{
    zapl::Records records;
    Progress progress;
    zapl::LinkWatch watch;
    int found = 0;
    bool linkGone = false;

    void report(quint8 address, const QString &module, const QString &firmware)
    {
        ++found;
        progress.clear();
        // The firmware text usually names the module already; say it once.
        const QString text = firmware.startsWith(module) ? firmware : module + QStringLiteral(", ") + firmware;
        records.add({ int(address), module, firmware }, QStringLiteral("module %1: %2").arg(address).arg(text));
        progress.redraw();
    }

    // After each address: false when the scan must stop because the link vanished.
    bool checked(quint8 address)
    {
        progress.checked(address);
        if (!linkGone && watch.gone()) {
            linkGone = true;
            progress.finish();
            zapl::err() << "zapl scan: " << watch.reason() << "\n";
        }
        return !linkGone;
    }
};

// The library's scan thread, as a host runs it: its requests come into this thread blocking.
void scanAtLibraryPace(CommandHandlerInterface *h, int from, int to, int replyId, Scan &scan)
{
    DeviceFinder finder;
    finder.setIdFrom(from);
    finder.setIdTo(to);
    finder.setReplyID(replyId);
    QObject::connect(
        &finder, &DeviceFinder::handleGetModuleAndFirmwareVersion, h,
        [h](QString *text, quint8 address) { *text = h->getModuleAndFirmwareVersion(address); },
        Qt::BlockingQueuedConnection);
    QObject::connect(
        &finder, &DeviceFinder::handleGetFirmwareVersion, h,
        [h](QString *text, quint8 address) { *text = h->getFirmwareVersion(address); }, Qt::BlockingQueuedConnection);
    QObject::connect(&finder, &DeviceFinder::checkingModule, h, [&scan, &finder](quint8 address) {
        if (address != 0 && !scan.checked(address))
            finder.stop();
    });
    QObject::connect(&finder, &DeviceFinder::foundModule, h,
        [&scan](quint8 address, const QString &module, const QString &firmware) {
            scan.report(address, module, firmware);
        });
    QObject::connect(
        zapl::Interrupt::instance(), &zapl::Interrupt::interrupted, &finder, &DeviceFinder::stop, Qt::DirectConnection);

    QEventLoop loop;
    QObject::connect(&finder, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    finder.start();
    loop.exec();
    // The thread has finished; wait() only collects it.
    finder.wait();
}

// The same walk, one request at a time, without the scan thread's fixed pauses. A late answer
// of the module before would be taken for this address's: a type-1 query whose reply names
// this address confirms a module before it is reported.
void scanFast(CommandHandlerInterface *h, int from, int to, int replyId, Scan &scan)
{
    for (int address = from; address <= to && !zapl::Interrupt::requested(); ++address) {
        if (address == replyId)
            continue;
        const auto a = quint8(address);
        const QString version = h->getModuleAndFirmwareVersion(a);
        if (!version.isEmpty()) {
            Command request(a, 136, 1, 0, 0);
            Command reply;
            h->doDirectRequest(&request, &reply);
            QString module;
            const bool confirmed = reply.isValid() && reply.address() == a && reply.status() == 100;
            const QString firmware = !confirmed ? QString()
                : version.left(4) == QLatin1String(DeviceFinder::kModuleTypePrefix)
                ? version.right(4)
                : BasicTools::matchFirmwareVersion(module, version, reply.value());
            if (!confirmed) {
                scan.progress.clear();
                zapl::err() << "zapl scan: address " << address
                            << ": an answer that this address did not confirm (a late one? try a longer --timeout)\n";
            } else if (!firmware.isEmpty() && !BasicTools::matchFirmwareVersion(module, version, 0).isEmpty()) {
                scan.report(a, module, firmware);
            }
        }
        if (!scan.checked(a))
            return;
    }
}

int runScan(const zapl::Invocation &call)
{
    const QCommandLineParser &p = *call.parser;
    qint64 from = 1;
    qint64 to = 255;
    QString error;
    if ((p.isSet(QStringLiteral("from")) && !zapl::parseNumber(p.value(QStringLiteral("from")), 0, 255, &from, &error))
        || (p.isSet(QStringLiteral("to")) && !zapl::parseNumber(p.value(QStringLiteral("to")), 0, 255, &to, &error))) {
        zapl::err() << "zapl scan: " << error << "\n";
        return zapl::ExitBadInput;
    }
    if (!call.arguments.isEmpty()) {
        zapl::err() << "zapl scan: unexpected argument '" << call.arguments.first() << "'\n";
        return zapl::ExitBadInput;
    }
    if (from > to || (from == to && from == call.options.replyId)) {
        zapl::err() << "zapl scan: the range " << from << ".." << to
                    << " holds no address to ask (the host's own, --reply-id " << call.options.replyId
                    << ", is never asked)\n";
        return zapl::ExitBadInput;
    }
    const bool fast = p.isSet(QStringLiteral("fast"));
    zapl::Options options = call.options;
    if (fast && options.timeoutMs < 0)
        options.timeoutMs = kFastTimeoutMs;
    zapl::LinkError linkError;
    std::unique_ptr<CommandHandlerInterface> handler = zapl::openZaplLink(options, &linkError);
    if (!handler) {
        zapl::err() << "zapl scan: " << linkError.text << "\n";
        return linkError.code;
    }
    const QStringList keys { QStringLiteral("address"), QStringLiteral("module"), QStringLiteral("firmware") };
    Scan scan { zapl::Records(options.format, keys), Progress(int(from), int(to)),
        zapl::LinkWatch(handler.get(), options) };
    QElapsedTimer clock;
    clock.start();
    if (fast)
        scanFast(handler.get(), int(from), int(to), options.replyId, scan);
    else
        scanAtLibraryPace(handler.get(), int(from), int(to), options.replyId, scan);
    scan.progress.finish();
    zapl::err() << scan.found << (scan.found == 1 ? " module found" : " modules found") << " in "
                << QString::number(double(clock.elapsed()) / 1000, 'f', 1) << " s\n";
    handler->closeDevice();
    return scan.linkGone ? zapl::ExitLink : zapl::ExitOk;
}

const char *const kScanHelp
    = "Asks every address from A to B (default 1 to 255) for its module and firmware version and\n"
      "prints each module that answers: 'module N: TEXT'. The host's own address (--reply-id) is\n"
      "never asked. Progress goes to standard error: a bar on a terminal, lines otherwise.\n"
      "By default the library's scan thread walks at its own pace (about 110 ms an address\n"
      "beyond the reply time-out). --fast walks the same way without those pauses and with a\n"
      "5 ms reply time-out unless --timeout says otherwise; a module found is confirmed by a\n"
      "second query, so that a late answer is never taken for the next address's.\n"
      "A link that vanishes stops the scan (exit code 3); Ctrl-C stops after the address in\n"
      "progress (exit code 130). JSON and CSV keys: address, module, firmware.";
} // namespace

ZAPL_REGISTER(scan)
{
    zapl::Subcommand scan { QStringLiteral("scan"), QString(), QStringLiteral("find the modules on a link"),
        QLatin1String(kScanHelp),
        { { QStringLiteral("from"), QStringLiteral("first address (default 1)"), QStringLiteral("A") },
            { QStringLiteral("to"), QStringLiteral("last address (default 255)"), QStringLiteral("B") },
            { QStringLiteral("fast"), QStringLiteral("no pauses between addresses, 5 ms time-out") } },
        runScan };
    scan.formats = true;
    zapl::registerSubcommand(scan);
}
