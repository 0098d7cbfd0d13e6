#include "devicefinder.h"
#include "global.h"
#include "serialcommandhandler.h"
#include "serialserver.h"

#include <QMutex>
#include <QSignalSpy>
#include <QtTest>
#include <functional>

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
                QMutexLocker lock(&m_lock);
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
                QMutexLocker lock(&m_lock);
                m_firmwareAsked << address;
                *text = QStringLiteral("firmware of %1").arg(address);
            },
            Qt::DirectConnection);
    }
    QList<int> asked() const
    {
        QMutexLocker lock(&m_lock);
        return m_asked;
    }
    QList<int> firmwareAsked() const
    {
        QMutexLocker lock(&m_lock);
        return m_firmwareAsked;
    }
    QSet<QString> threadNames() const
    {
        QMutexLocker lock(&m_lock);
        return m_threads;
    }
    std::function<void(quint8)> m_onAsk;

private:
    mutable QMutex m_lock;
    QHash<int, QString> m_texts;
    QList<int> m_asked;
    QList<int> m_firmwareAsked;
    QSet<QString> m_threads;
};

QList<int> addresses(const QSignalSpy &spy)
{
    QList<int> list;
    for (const QList<QVariant> &args : spy)
        list << args.at(0).toInt();
    return list;
}

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
    QSignalSpy checking(&finder, &DeviceFinder::checkingModule);
    QSignalSpy done(&finder, &DeviceFinder::modulesFound);
    QVERIFY(runScan(finder));
    QCOMPARE(host.asked(), (QList<int> { 1, 3, 4, 5 }));
    QCOMPARE(addresses(checking), (QList<int> { 0, 1, 3, 4, 5 }));
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).toInt(), 0);
    QVERIFY(host.firmwareAsked().isEmpty()); // nobody answered
}

void tst_DeviceFinder::first_above_last_probes_nothing()
{
    DeviceFinder finder;
    finder.setIdFrom(9);
    finder.setIdTo(4);
    ScriptedHost host(&finder, {});
    QSignalSpy checking(&finder, &DeviceFinder::checkingModule);
    QSignalSpy done(&finder, &DeviceFinder::modulesFound);
    QVERIFY(runScan(finder));
    QVERIFY(host.asked().isEmpty());
    QCOMPARE(addresses(checking), QList<int> { 0 });
    QCOMPARE(done.count(), 1);
}

void tst_DeviceFinder::prefixed_version_text_needs_no_second_query()
{
    DeviceFinder finder;
    finder.setIdFrom(3);
    finder.setIdTo(3);
    const QString text = QLatin1String(DeviceFinder::kModuleTypePrefix) + QStringLiteral("1.23");
    ScriptedHost host(&finder, { { 3, text } });
    QSignalSpy checking(&finder, &DeviceFinder::checkingModule);
    QVERIFY(runScan(finder));
    QVERIFY(host.firmwareAsked().isEmpty());
    QCOMPARE(addresses(checking), (QList<int> { 0, 3 }));
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
    QSignalSpy found(&finder, &DeviceFinder::foundModule);
    QSignalSpy checking(&finder, &DeviceFinder::checkingModule);
    QSignalSpy done(&finder, &DeviceFinder::modulesFound);
    QVERIFY(runScan(finder));
    QCOMPARE(host.firmwareAsked(), (QList<int> { 3, 4 }));
    QCOMPARE(found.count(), 0);
    QCOMPARE(addresses(checking), (QList<int> { 0, 3, 4 }));
    QCOMPARE(done.at(0).at(0).toInt(), 0);
}

void tst_DeviceFinder::matched_modules_are_reported_with_their_firmware()
{
    DeviceFinder finder;
    finder.setIdFrom(5);
    finder.setIdTo(7);
    ScriptedHost host(&finder, { { 5, QStringLiteral("1161V207") }, { 7, QStringLiteral("3110V100") } });
    QSignalSpy found(&finder, &DeviceFinder::foundModule);
    QSignalSpy done(&finder, &DeviceFinder::modulesFound);
    QVERIFY(runScan(finder));
    QCOMPARE(found.count(), 2);
    QCOMPARE(found.at(0).at(0).toInt(), 5);
    QCOMPARE(found.at(0).at(1).toString(), QStringLiteral("VX-1161 single-axis stepper"));
    QCOMPARE(found.at(0).at(2).toString(), QStringLiteral("firmware of 5"));
    QCOMPARE(found.at(1).at(0).toInt(), 7);
    QCOMPARE(done.at(0).at(0).toInt(), 2);
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
    QSignalSpy checking(&finder, &DeviceFinder::checkingModule);
    QSignalSpy done(&finder, &DeviceFinder::modulesFound);
    QVERIFY(runScan(finder));
    QCOMPARE(host.asked(), (QList<int> { 1, 3 }));
    QCOMPARE(addresses(checking), (QList<int> { 0, 1, 3 }));
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).toInt(), 1);
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
    QSignalSpy checking(&finder, &DeviceFinder::checkingModule);
    QVERIFY(runScan(finder));
    QCOMPARE(addresses(checking), (QList<int> { 0, 254, 255 }));
}

void tst_DeviceFinder::scan_thread_is_registered_while_it_runs()
{
    DeviceFinder finder;
    finder.setIdFrom(1);
    finder.setIdTo(1);
    ScriptedHost host(&finder, {});
    QVERIFY(runScan(finder));
    QCOMPARE(host.threadNames().size(), 1);
    QVERIFY(host.threadNames().values().first().startsWith(QStringLiteral("Find-")));
    QVERIFY(!Global::instance()->threads().contains(&finder));
}

void tst_DeviceFinder::scan_finds_simulated_modules_through_a_serial_handler()
{
    SerialServer server({ 1, 3, 7 });
    server.module(7)->setIdentity(QStringLiteral("6110"), 1, 2, 3);
    QVERIFY(server.start());
    SerialCommandHandler handler;
    handler.setObjectName(QStringLiteral("Serial construct No: 1"));
    handler.setMaxTimeoutMS(40);
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
    QSignalSpy found(&finder, &DeviceFinder::foundModule);
    QSignalSpy done(&finder, &DeviceFinder::modulesFound);
    finder.start();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 15000);
    QVERIFY(finder.wait(2000));
    QCOMPARE(addresses(found), (QList<int> { 1, 3, 7 }));
    QCOMPARE(found.at(2).at(1).toString(), QStringLiteral("VX-6110 six-axis controller"));
    QCOMPARE(found.at(2).at(2).toString(), QStringLiteral("VX-6110 six-axis controller firmware 1.02"));
    QCOMPARE(done.at(0).at(0).toInt(), 3);
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
