#include "zapl.h"

#include "commandhandlerinterface.h"
#include "devicefinder.h"

#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {
std::atomic<bool> interrupted { false };

extern "C" void onInterrupt(int)
{
    interrupted = true;
}

// One line that redraws itself on a terminal; plain lines elsewhere.
class Progress
{
public:
    Progress(int from, int to) : m_from(from), m_to(to), m_tty(::isatty(STDOUT_FILENO) == 1) { }

    void checked(int address)
    {
        const int total = qMax(1, m_to - m_from + 1);
        const int done = qBound(0, address - m_from + 1, total);
        if (!m_tty) {
            zapl::out() << "checked address " << address << " (" << done << "/" << total << ")\n";
            zapl::out().flush();
            return;
        }
        constexpr int kWidth = 30;
        const int filled = done * kWidth / total;
        m_line = QStringLiteral("[%1%2] %3% address %4")
                     .arg(QString(filled, QLatin1Char('#')), QString(kWidth - filled, QLatin1Char('.')))
                     .arg(done * 100 / total, 3)
                     .arg(address);
        zapl::out() << "\r" << m_line;
        zapl::out().flush();
    }

    // Prints a whole line without leaving a broken bar behind.
    void print(const QString &text)
    {
        if (m_tty)
            zapl::out() << "\r" << QString(m_line.size(), QLatin1Char(' ')) << "\r";
        zapl::out() << text << "\n";
        if (m_tty)
            zapl::out() << m_line;
        zapl::out().flush();
    }

    void finish()
    {
        if (m_tty && !m_line.isEmpty())
            zapl::out() << "\n";
    }

private:
    int m_from;
    int m_to;
    bool m_tty;
    QString m_line;
};

int scan(const QStringList &args, const zapl::Options &options)
{
    qint64 from = 1;
    qint64 to = 255;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        QString error;
        qint64 *target = a == QLatin1String("--from") ? &from : a == QLatin1String("--to") ? &to : nullptr;
        if (!target || i + 1 >= args.size()) {
            zapl::err() << "zapl scan: unknown or incomplete option '" << a << "'\n";
            return 2;
        }
        if (!zapl::parseNumber(args.at(++i), 0, 255, target, &error)) {
            zapl::err() << "zapl scan: " << a << ": " << error << "\n";
            return 2;
        }
    }

    QString error;
    std::unique_ptr<CommandHandlerInterface> handler = zapl::openLink(options, &error);
    if (!handler) {
        zapl::err() << "zapl scan: " << error << "\n";
        return 1;
    }
    CommandHandlerInterface *h = handler.get();

    DeviceFinder finder;
    finder.setIdFrom(int(from));
    finder.setIdTo(int(to));
    finder.setReplyID(options.replyId);
    // As a host does it: the scan thread asks, the handler answers in its own thread.
    QObject::connect(
        &finder, &DeviceFinder::handleGetModuleAndFirmwareVersion, h,
        [h](QString *text, quint8 address) { *text = h->getModuleAndFirmwareVersion(address); },
        Qt::BlockingQueuedConnection);
    QObject::connect(
        &finder, &DeviceFinder::handleGetFirmwareVersion, h,
        [h](QString *text, quint8 address) { *text = h->getFirmwareVersion(address); }, Qt::BlockingQueuedConnection);

    Progress progress { static_cast<int>(from), static_cast<int>(to) };
    int found = -1;
    QObject::connect(&finder, &DeviceFinder::checkingModule, h, [&progress](quint8 address) {
        if (address != 0)
            progress.checked(address);
    });
    QObject::connect(&finder, &DeviceFinder::foundModule, h,
        [&progress](quint8 address, const QString &module, const QString &version) {
            // The version text usually names the module already; say it once.
            const QString text = version.startsWith(module) ? version : module + QStringLiteral(", ") + version;
            progress.print(QStringLiteral("module %1: %2").arg(address).arg(text));
        });
    QObject::connect(&finder, &DeviceFinder::modulesFound, h, [&found](int count) { found = count; });

    QEventLoop loop;
    QObject::connect(&finder, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &finder, [&finder] {
        if (interrupted)
            finder.stop();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    watch.start(50);

    finder.start();
    loop.exec();
    finder.wait(1000);
    progress.finish();
    zapl::out() << found << (found == 1 ? " module found" : " modules found") << (interrupted ? " (stopped)" : "")
                << "\n";
    return interrupted ? 130 : 0;
}
} // namespace

ZAPL_REGISTER(scan)
{
    zapl::registerSubcommand(
        { QStringLiteral("scan"), QStringLiteral("scan [--from A] [--to B]  find modules on a link"),
            QStringLiteral("zapl scan [--from A] [--to B]\n"
                           "Asks every address from A to B (default 1 to 255, skipping the host's own\n"
                           "address --reply-id) for its module and firmware version and prints each\n"
                           "module that answers. Ctrl-C stops after the address in progress."),
            scan });
}
