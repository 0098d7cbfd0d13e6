#include "devicefinder.h"
#include "global.h"
#include "serialcommandhandler.h"
#include "serialserver.h"

#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <functional>
#include <mutex>

namespace {
// Answers the scan's requests from the scan thread itself (a direct connection), from a
// table of version texts by address.
class ScriptedHost
{
public:
    ScriptedHost(DeviceFinder *finder, QHash<int, QString> texts) : m_texts(std::move(texts))
    {
        QObject::connect(
            finder, &DeviceFinder::handleGetModuleAndFirmwareVersion, finder,
            [this](QString *text, quint8 address) {
                std::lock_guard<std::mutex> lock(m_lock);
                m_asked << address;
                m_threads.insert(Global::instance()->threads().value(QThread::currentThread()));
                if (m_onAsk)
                    m_onAsk(address);
                *text = m_texts.value(address);
            },
            Qt::DirectConnection);
        QObject::connect(
            finder, &DeviceFinder::handleGetFirmwareVersion, finder,
            [this](QString *text, quint8 address) {
                std::lock_guard<std::mutex> lock(m_lock);
                m_firmwareAsked << address;
                *text = QStringLiteral("firmware of %1").arg(address);
            },
            Qt::DirectConnection);
    }
    QList<int> asked() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_asked;
    }
    QList<int> firmwareAsked() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_firmwareAsked;
    }
    QSet<QString> threadNames() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_threads;
    }
    std::function<void(quint8)> m_onAsk;

private:
    mutable std::mutex m_lock;
    QHash<int, QString> m_texts;
    QList<int> m_asked;
    QList<int> m_firmwareAsked;
    QSet<QString> m_threads;
};

// What the scan reported, recorded in the scan thread. A std::mutex rather than QSignalSpy:
// ThreadSanitizer sees it, while it cannot see the synchronisation inside an uninstrumented QtCore.
class Recorder
{
public:
    struct Found
    {
        int address;
        QString module;
        QString version;
    };
    explicit Recorder(DeviceFinder *finder)
    {
        QObject::connect(
            finder, &DeviceFinder::checkingModule, finder,
            [this](quint8 a) {
                std::lock_guard<std::mutex> lock(m_lock);
                m_checking << a;
            },
            Qt::DirectConnection);
        QObject::connect(
            finder, &DeviceFinder::foundModule, finder,
            [this](quint8 a, const QString &module, const QString &version) {
                std::lock_guard<std::mutex> lock(m_lock);
                m_found.append({ a, module, version });
            },
            Qt::DirectConnection);
        QObject::connect(
            finder, &DeviceFinder::modulesFound, finder,
            [this](int count) {
                std::lock_guard<std::mutex> lock(m_lock);
                m_done << count;
            },
            Qt::DirectConnection);
    }
    QList<int> checking() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_checking;
    }
    QList<Found> found() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_found;
    }
    QList<int> foundAddresses() const
    {
        QList<int> list;
        for (const Found &f : found())
            list << f.address;
        return list;
    }
    QList<int> done() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_done;
    }

private:
    mutable std::mutex m_lock;
    QList<int> m_checking;
    QList<Found> m_found;
    QList<int> m_done;
};

bool runScan(DeviceFinder &finder)
{
    finder.start();
    return finder.wait(20000);
}
} // namespace

class tst_DeviceFinder : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false")); }
    void walk_skips_the_reply_id();
    void first_above_last_probes_nothing();
    void prefixed_version_text_needs_no_second_query();
    void unmatched_version_text_is_not_reported();
    void matched_modules_are_reported_with_their_firmware();
    void stop_ends_after_the_address_in_progress();
    void stop_before_start_has_no_effect();
    void last_address_255_ends_the_walk();
    void scan_thread_is_registered_while_it_runs();
    void scan_finds_simulated_modules_through_a_serial_handler();
    void destroying_a_running_scan_returns();
};

void tst_DeviceFinder::walk_skips_the_reply_id()
{
    DeviceFinder finder;
    finder.setIdFrom(1);
    finder.setIdTo(5);
    ScriptedHost host(&finder, {});
    Recorder rec(&finder);
    QVERIFY(runScan(finder));
    QCOMPARE(host.asked(), (QList<int> { 1, 3, 4, 5 }));
    QCOMPARE(rec.checking(), (QList<int> { 0, 1, 3, 4, 5 }));
    QCOMPARE(rec.done().size(), 1);
    QCOMPARE(rec.done().value(0), 0);
    QVERIFY(host.firmwareAsked().isEmpty()); // nobody answered
}

void tst_DeviceFinder::first_above_last_probes_nothing()
{
    DeviceFinder finder;
    finder.setIdFrom(9);
    finder.setIdTo(4);
    ScriptedHost host(&finder, {});
    Recorder rec(&finder);
    QVERIFY(runScan(finder));
    QVERIFY(host.asked().isEmpty());
    QCOMPARE(rec.checking(), QList<int> { 0 });
    QCOMPARE(rec.done().size(), 1);
}

void tst_DeviceFinder::prefixed_version_text_needs_no_second_query()
{
    DeviceFinder finder;
    finder.setIdFrom(3);
    finder.setIdTo(3);
    const QString text = QLatin1String(DeviceFinder::kModuleTypePrefix) + QStringLiteral("1.23");
    ScriptedHost host(&finder, { { 3, text } });
    Recorder rec(&finder);
    QVERIFY(runScan(finder));
    QVERIFY(host.firmwareAsked().isEmpty());
    QCOMPARE(rec.checking(), (QList<int> { 0, 3 }));
    // Such a module is known, and its firmware text is the last four characters.
    QCOMPARE(rec.foundAddresses(), QList<int> { 3 });
    QCOMPARE(rec.found().value(0).module, QStringLiteral("VX-016 legacy stepper"));
    QCOMPARE(rec.found().value(0).version, QStringLiteral("1.23"));
    QCOMPARE(rec.done().value(0), 1);
    // The prefix is three digits and a lower-case "v".
    QCOMPARE(qstrlen(DeviceFinder::kModuleTypePrefix), 4u);
    QVERIFY(text.at(0).isDigit() && text.at(1).isDigit() && text.at(2).isDigit() && text.at(3) == QLatin1Char('v'));
}

void tst_DeviceFinder::unmatched_version_text_is_not_reported()
{
    DeviceFinder finder;
    finder.setIdFrom(3);
    finder.setIdTo(4);
    ScriptedHost host(&finder, { { 3, QStringLiteral("9999V100") }, { 4, QStringLiteral("junk") } });
    Recorder rec(&finder);
    QVERIFY(runScan(finder));
    QCOMPARE(host.firmwareAsked(), (QList<int> { 3, 4 }));
    QVERIFY(rec.found().isEmpty());
    QCOMPARE(rec.checking(), (QList<int> { 0, 3, 4 }));
    QCOMPARE(rec.done().value(0), 0);
}

void tst_DeviceFinder::matched_modules_are_reported_with_their_firmware()
{
    DeviceFinder finder;
    finder.setIdFrom(5);
    finder.setIdTo(7);
    ScriptedHost host(&finder, { { 5, QStringLiteral("1161V207") }, { 7, QStringLiteral("3110V100") } });
    Recorder rec(&finder);
    QVERIFY(runScan(finder));
    QCOMPARE(rec.foundAddresses(), (QList<int> { 5, 7 }));
    QCOMPARE(rec.found().value(0).module, QStringLiteral("VX-1161 single-axis stepper"));
    QCOMPARE(rec.found().value(0).version, QStringLiteral("firmware of 5"));
    QCOMPARE(rec.done().value(0), 2);
}

void tst_DeviceFinder::stop_ends_after_the_address_in_progress()
{
    DeviceFinder finder;
    finder.setIdFrom(1);
    finder.setIdTo(50);
    ScriptedHost host(&finder, { { 1, QStringLiteral("1161V207") } });
    host.m_onAsk = [&finder](quint8 address) {
        if (address == 3)
            QMetaObject::invokeMethod(&finder, "stop", Qt::DirectConnection);
    };
    Recorder rec(&finder);
    QVERIFY(runScan(finder));
    QCOMPARE(host.asked(), (QList<int> { 1, 3 }));
    QCOMPARE(rec.checking(), (QList<int> { 0, 1, 3 }));
    QCOMPARE(rec.done().size(), 1);
    QCOMPARE(rec.done().value(0), 1);
}

void tst_DeviceFinder::stop_before_start_has_no_effect()
{
    DeviceFinder finder;
    finder.setIdFrom(3);
    finder.setIdTo(4);
    ScriptedHost host(&finder, {});
    finder.stop();
    QVERIFY(runScan(finder));
    QCOMPARE(host.asked(), (QList<int> { 3, 4 }));
}

void tst_DeviceFinder::last_address_255_ends_the_walk()
{
    DeviceFinder finder;
    finder.setIdFrom(254);
    finder.setIdTo(255);
    ScriptedHost host(&finder, {});
    Recorder rec(&finder);
    QVERIFY(runScan(finder));
    QCOMPARE(rec.checking(), (QList<int> { 0, 254, 255 }));
}

void tst_DeviceFinder::scan_thread_is_registered_while_it_runs()
{
    DeviceFinder finder;
    finder.setIdFrom(1);
    finder.setIdTo(1);
    ScriptedHost host(&finder, {});
    // Looked up in the scan thread itself once run() has returned.
    std::atomic<int> stillRegistered { -1 };
    connect(
        &finder, &QThread::finished, &finder,
        [&finder, &stillRegistered] { stillRegistered = Global::instance()->threads().contains(&finder) ? 1 : 0; },
        Qt::DirectConnection);
    QVERIFY(runScan(finder));
    QCOMPARE(host.threadNames().size(), 1);
    QVERIFY(host.threadNames().values().first().startsWith(QStringLiteral("Find-")));
    QTRY_COMPARE(stillRegistered.load(), 0);
}

void tst_DeviceFinder::scan_finds_simulated_modules_through_a_serial_handler()
{
    SerialServer server({ 1, 3, 7 });
    server.module(7)->setIdentity(QStringLiteral("6110"), 1, 2, 3);
    server.module(3)->setVersionText(QByteArray(DeviceFinder::kModuleTypePrefix) + "1.05");
    QVERIFY(server.start());
    SerialCommandHandler handler;
    handler.setObjectName(QStringLiteral("Serial construct No: 1"));
    // Waited in full only where nobody answers; a loaded machine may take long to answer.
    handler.setMaxTimeoutMS(500);
    QVERIFY(handler.openDevice(server.path()));

    DeviceFinder finder;
    finder.setIdFrom(1);
    finder.setIdTo(8);
    // The host's way: the handler answers in its own (this) thread.
    connect(
        &finder, &DeviceFinder::handleGetModuleAndFirmwareVersion, &handler,
        [&handler](QString *text, quint8 a) { *text = handler.getModuleAndFirmwareVersion(a); },
        Qt::BlockingQueuedConnection);
    connect(
        &finder, &DeviceFinder::handleGetFirmwareVersion, &handler,
        [&handler](QString *text, quint8 a) { *text = handler.getFirmwareVersion(a); }, Qt::BlockingQueuedConnection);
    Recorder rec(&finder);
    finder.start();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done().size(), 1, 15000);
    QVERIFY(finder.wait(2000));
    QCOMPARE(rec.foundAddresses(), (QList<int> { 1, 3, 7 }));
    QCOMPARE(rec.found().value(1).version, QStringLiteral("1.05")); // no second query for it
    QCOMPARE(rec.found().value(2).module, QStringLiteral("VX-6110 six-axis controller"));
    QCOMPARE(rec.found().value(2).version, QStringLiteral("VX-6110 six-axis controller firmware 1.02"));
    QCOMPARE(rec.done().value(0), 3);
    // Address 2 is the host's own and is never asked.
    for (const QByteArray &request : server.requests())
        QVERIFY(quint8(request.at(0)) != 2);
}

void tst_DeviceFinder::destroying_a_running_scan_returns()
{
    SerialServer server({ 1 });
    QVERIFY(server.start());
    SerialCommandHandler handler;
    handler.setMaxTimeoutMS(30);
    QVERIFY(handler.openDevice(server.path()));
    QElapsedTimer clock;
    clock.start();
    {
        DeviceFinder finder;
        finder.setIdFrom(1);
        finder.setIdTo(200);
        connect(
            &finder, &DeviceFinder::handleGetModuleAndFirmwareVersion, &handler,
            [&handler](QString *text, quint8 a) { *text = handler.getModuleAndFirmwareVersion(a); },
            Qt::BlockingQueuedConnection);
        finder.start();
        QTest::qWait(50);
        // The scan is likely blocked on this thread now; the destructor must not deadlock.
    }
    QVERIFY(clock.elapsed() < 3000);
}

QTEST_GUILESS_MAIN(tst_DeviceFinder)
#include "tst_devicefinder.moc"
