#include "appsettings.h"
#include "commandhandlerinterface.h"
#include "sysinfoobject.h"
#include "zaplcommand.h"

#include <QtTest>

namespace {
// Answers with the request's value; requests whose value is negative fail.
class ScriptedHandler : public CommandHandlerInterface
{
    Q_OBJECT
public:
    using CommandHandlerInterface::CommandHandlerInterface;
    QList<int> seen;
    QList<bool> historyDuringRequest;

    bool setDataRate(int) override { return true; }
    QString getFirmwareVersion(uchar) override { return QString(); }
    QString getModuleAndFirmwareVersion(uchar) override { return QString(); }
    bool openDevice(QVariant) override { return false; }
    bool closeDevice() override { return true; }
    bool reopenDevice() override { return false; }
    void doDirectRequest(Command *request, Command *reply) override
    {
        seen << request->value();
        historyDuringRequest << isHistoryActive();
        reply->setValid(request->value() >= 0);
        reply->setValue(request->value());
    }
    void doDirectRequestWithoutAnswer(Command *) override { }
};

class Control : public QObject
{
    Q_OBJECT
public:
    explicit Control(const QString &name) { setObjectName(name); }
signals:
    void toggled(bool on);
};

QStringList g_lines;
void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_lines << message;
}

bool metaTypeKnown(const char *name)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QMetaType::fromName(name).isValid();
#else
    return QMetaType::type(name) != QMetaType::UnknownType;
#endif
}
} // namespace

class TstCommandHandlerInterface : public QObject
{
    Q_OBJECT
private slots:
    // Runs first: nothing else in this process has built a handler yet.
    void handlers_are_numbered_from_one_in_construction_order();
    void meta_types_are_registered_by_the_first_handler();
    void handlers_answer_the_plugin_interface_id();
    void enumerations_are_readable_by_reflection();
    void initial_state();
    void statistics_tick_reports_and_clears_the_counter();
    void renaming_withdraws_the_old_name();
    void history_rules_data();
    void history_rules();
    void history_name_switch_data();
    void history_name_switch();
    void history_name_switch_without_sender_does_nothing();
    void combo_runs_every_element_and_restores_history();
    void timeouted_addresses_are_listed_once();
    void dump_of_empty_list_writes_nothing();
    void filter_ranges();
    void timeouts_reset_to_default();

private:
    QTemporaryDir m_store;
};

void TstCommandHandlerInterface::handlers_are_numbered_from_one_in_construction_order()
{
    ScriptedHandler first;
    ScriptedHandler second;
    QCOMPARE(first.deviceName(), QStringLiteral("UNKNOWN_1"));
    QCOMPARE(second.deviceName(), QStringLiteral("UNKNOWN_2"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_store.path());
}

void TstCommandHandlerInterface::meta_types_are_registered_by_the_first_handler()
{
    for (const char *name : { "ZAPLRequestCommand", "ZAPLReplyCommand", "CANZAPLRequestCommand", "CANZAPLReplyCommand",
             "ZAPLCommandInterface", "TraceCommand", "Command", "MessageFlags", "CommandComboList" })
        QVERIFY2(metaTypeKnown(name), name);
    QCOMPARE(int(sizeof(TraceCommand)), 4);
}

void TstCommandHandlerInterface::handlers_answer_the_plugin_interface_id()
{
    ScriptedHandler handler;
    QObject *object = &handler;
    QCOMPARE(qobject_cast<CommandHandlerInterface *>(object), static_cast<CommandHandlerInterface *>(&handler));
    QVERIFY(object->qt_metacast("com.orvex.CommandHandler/1.0"));
    QObject plain;
    QCOMPARE(qobject_cast<CommandHandlerInterface *>(&plain), nullptr);
}

void TstCommandHandlerInterface::enumerations_are_readable_by_reflection()
{
    const QMetaEnum types = QMetaEnum::fromType<ConnectionType::e>();
    QVERIFY(types.isFlag());
    QCOMPARE(types.keyCount(), 19);
    QCOMPARE(types.keyToValue("Virtual"), 18);
    QCOMPARE(QByteArray(types.valueToKey(7)), QByteArray("CAN_SLCAN"));
    QCOMPARE(QByteArray(types.valueToKey(13)), QByteArray("CANopen_Peak"));
    const QMetaObject &mo = CommandHandlerInterface::staticMetaObject;
    const QMetaEnum flags = mo.enumerator(mo.indexOfEnumerator("MessageFlags"));
    QVERIFY(flags.isValid());
    QCOMPARE(QByteArray(flags.valueToKey(100)), QByteArray("ErrorIsBusy"));
    QCOMPARE(flags.keyToValue("CoE_Upload"), 6);
    QCOMPARE(flags.keyToValue("AnyError"), 102);
}

void TstCommandHandlerInterface::initial_state()
{
    ScriptedHandler h;
    QCOMPARE(h.address(), uchar(1));
    QCOMPARE(h.defaultTimeoutMS(), 500);
    QCOMPARE(h.maxTimeoutMS(), 500);
    QCOMPARE(h.firmwareVersionNumber().first, QStringLiteral("xxxx"));
    QCOMPARE(h.firmwareVersionNumber().second, qMakePair(qint8(0), qint8(0)));
    QVERIFY(!h.isDeviceOpen() && !h.isDebugEnabled() && !h.traceMode() && !h.isHistoryActive());
    QCOMPARE(h.getFirmwareBuild(1), QString());
    QVERIFY(!h.doDirectReply().isValid());
    QVERIFY(h.filterPassed(12345)); // empty filter passes all
}

void TstCommandHandlerInterface::statistics_tick_reports_and_clears_the_counter()
{
    SysInfoObject *info = SysInfoObject::instance();
    ScriptedHandler h;
    QSignalSpy spy(info, &SysInfoObject::rxReported);
    h.setDeviceName(QStringLiteral("COM3"));
    QVERIFY(info->connections().contains(QStringLiteral("COM3")));
    h.incZaplCommandCounter();
    h.incZaplCommandCounter();
    h.incZaplCommandCounter();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(spy.wait(1000));
    QVERIFY(clock.elapsed() >= 200);
    QCOMPARE(spy.first().at(0).toString(), QStringLiteral("COM3"));
    QCOMPARE(spy.first().at(1).toInt(), 3);
    QVERIFY(spy.first().at(2).toLongLong() >= 200);
    QVERIFY(spy.wait(1000));
    QCOMPARE(spy.last().at(1).toInt(), 0);
}

void TstCommandHandlerInterface::renaming_withdraws_the_old_name()
{
    SysInfoObject *info = SysInfoObject::instance();
    {
        ScriptedHandler h;
        h.setDeviceName(QStringLiteral("ttyA"));
        h.setDeviceName(QStringLiteral("ttyB"));
        QVERIFY(!info->connections().contains(QStringLiteral("ttyA")));
        QVERIFY(info->connections().contains(QStringLiteral("ttyB")));
    }
    QVERIFY(!info->connections().contains(QStringLiteral("ttyB")));
}

void TstCommandHandlerInterface::history_rules_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("traceHistory");
    QTest::addColumn<bool>("trace");
    QTest::addColumn<bool>("circularHistory");
    QTest::addColumn<bool>("circular");
    QTest::addColumn<bool>("active");
    QTest::newRow("trace without trace history") << true << false << true << false << false << false;
    QTest::newRow("trace with trace history") << true << true << true << false << false << true;
    QTest::newRow("trace off restores") << true << false << false << false << false << true;
    QTest::newRow("trace off, history off") << false << false << false << false << false << false;
    QTest::newRow("circular without circular history") << true << false << false << false << true << false;
    QTest::newRow("circular with circular history") << true << false << false << true << true << true;
}

void TstCommandHandlerInterface::history_rules()
{
    QFETCH(bool, enabled);
    QFETCH(bool, traceHistory);
    QFETCH(bool, trace);
    QFETCH(bool, circularHistory);
    QFETCH(bool, circular);
    QFETCH(bool, active);
    ScriptedHandler h;
    h.setHistoryEnabled(enabled);
    QCOMPARE(h.isHistoryActive(), enabled);
    h.setTraceHistoryEnabled(traceHistory);
    h.setCircularHistoryEnabled(circularHistory);
    if (circular)
        h.setCircularMode(true);
    else
        h.setTraceMode(trace);
    QCOMPARE(h.isHistoryActive(), active);
    QCOMPARE(h.traceMode(), !circular && trace);
}

void TstCommandHandlerInterface::history_name_switch_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("trace");
    QTest::addColumn<bool>("circular");
    QTest::addColumn<bool>("stored");
    QTest::newRow("trace") << "cbTraceHistory" << false << true << true;
    QTest::newRow("circular") << "cbCircularBuffer" << true << false << true;
    QTest::newRow("case matters") << "cbtraceHistory" << true << true << false;
    QTest::newRow("neither") << "cbHistory" << true << true << false;
}

void TstCommandHandlerInterface::history_name_switch()
{
    QFETCH(QString, name);
    QFETCH(bool, trace);
    QFETCH(bool, circular);
    QFETCH(bool, stored);
    AppSettings().clear();
    ScriptedHandler h;
    h.setTraceHistoryEnabled(true);
    h.setCircularHistoryEnabled(true);
    Control control(name);
    connect(&control, &Control::toggled, &h, &CommandHandlerInterface::setHistoryNameEnabled);
    g_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    emit control.toggled(true);
    qInstallMessageHandler(previous);
    QCOMPARE(h.isTraceHistoryEnabled(), trace);
    QCOMPARE(h.isCircularHistoryEnabled(), circular);
    QCOMPARE(AppSettings().contains(name), stored);
    if (stored) {
        QCOMPARE(AppSettings().value(name).toBool(), true);
        QVERIFY(g_lines.isEmpty());
    } else {
        QCOMPARE(g_lines.size(), 1);
        QVERIFY2(g_lines.first().startsWith(
                     QStringLiteral("CommandHandlerInterface::setHistoryNameEnabled() no History for ")),
            qPrintable(g_lines.first()));
    }
}

void TstCommandHandlerInterface::history_name_switch_without_sender_does_nothing()
{
    AppSettings().clear();
    ScriptedHandler h;
    h.setHistoryNameEnabled(true);
    QVERIFY(!h.isTraceHistoryEnabled() && !h.isCircularHistoryEnabled());
    QVERIFY(AppSettings().allKeys().isEmpty());
}

void TstCommandHandlerInterface::combo_runs_every_element_and_restores_history()
{
    ScriptedHandler h;
    h.setHistoryEnabled(true);
    h.setCircularHistoryEnabled(false);
    h.setTraceMode(true); // history off now
    QVERIFY(!h.isHistoryActive());
    CommandCombo a, b, c;
    a.request.setValue(1);
    b.request.setValue(-1);
    c.request.setValue(3);
    h.doDirectComboRequest({ &a, &b, &c });
    QCOMPARE(h.seen, QList<int>({ 1, -1, 3 }));
    QCOMPARE(h.historyDuringRequest, QList<bool>({ false, false, false }));
    QVERIFY(a.reply.isValid() && !b.reply.isValid() && c.reply.isValid());
    QVERIFY(h.isHistoryActive()); // back to historyEnabled

    h.seen.clear();
    h.historyDuringRequest.clear();
    h.setCircularHistoryEnabled(true);
    h.doDirectComboRequest({ &a, nullptr, &c });
    QCOMPARE(h.historyDuringRequest, QList<bool>({ true, true }));
}

void TstCommandHandlerInterface::timeouted_addresses_are_listed_once()
{
    ScriptedHandler h;
    h.setAddressTimeout(3);
    h.setAddressTimeout(12);
    h.setAddressTimeout(3);
    QCOMPARE(h.timeoutedAddressList(), QList<uchar>({ 3, 12 }));
    QVERIFY(h.isAddressTimeouted(12));
    g_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    h.dumpTimeoutedAddresses();
    qInstallMessageHandler(previous);
    QCOMPARE(g_lines, QStringList { QStringLiteral("CommandHandlerInterface::dumpTimeoutedAddresses() 3,12") });
    h.clearAddressTimeout(3);
    QVERIFY(!h.isAddressTimeouted(3));
    QCOMPARE(h.timeoutedAddressList(), QList<uchar>({ 12 }));
}

void TstCommandHandlerInterface::dump_of_empty_list_writes_nothing()
{
    ScriptedHandler h;
    g_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    h.dumpTimeoutedAddresses();
    qInstallMessageHandler(previous);
    QVERIFY(g_lines.isEmpty());
}

void TstCommandHandlerInterface::filter_ranges()
{
    ScriptedHandler h;
    h.filterAddRange(5, 3);
    QVERIFY(h.filterPassed(4)); // still empty: passes everything
    h.filterAddId(4);
    QVERIFY(!h.filterPassed(3));
    h.filterAddRange(3, 5);
    QVERIFY(h.filterPassed(3) && h.filterPassed(4) && h.filterPassed(5));
    QVERIFY(!h.filterPassed(6));
    h.filterAddRange(0xFFFFFFFEu, 0xFFFFFFFFu); // ends at the largest identifier
    QVERIFY(h.filterPassed(0xFFFFFFFFu));
    h.filterClear();
    QVERIFY(h.filterPassed(6));
}

void TstCommandHandlerInterface::timeouts_reset_to_default()
{
    ScriptedHandler h;
    h.setDefaultTimeoutMS(40);
    h.setMaxTimeoutMS(900);
    QCOMPARE(h.maxTimeoutMS(), 900);
    h.resetMaxTimeoutMS();
    QCOMPARE(h.maxTimeoutMS(), 40);
}

QTEST_GUILESS_MAIN(TstCommandHandlerInterface)
#include "tst_commandhandlerinterface.moc"
