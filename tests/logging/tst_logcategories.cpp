#include "cankvasercommandhandler.h"
#include "canopenpeakcommandhandler.h"
#include "logcapture.h"
#include "virtualcommandhandler.h"

#include <QLoggingCategory>
#include <QtTest>

namespace {
Q_LOGGING_CATEGORY(hostCategory, "host.io")

enum class Action { Virtual, MissingCanopenLibrary, MissingCanLibrary };

// Makes the library write lines of its own, as a host's calls do.
void provoke(Action action)
{
    switch (action) {
    case Action::Virtual: {
        VirtualCommandHandler handler;
        handler.reopenDevice();
        handler.setAddressTimeout(3);
        handler.dumpTimeoutedAddresses();
        break;
    }
    case Action::MissingCanopenLibrary: {
        CANopenPeakCommandHandler handler;
        handler.openDevice(500);
        break;
    }
    case Action::MissingCanLibrary: {
        CANKvaserCommandHandler handler;
        handler.openDevice(500);
        break;
    }
    }
}

bool isHostLine(const LoggedLine &line)
{
    return line.text.startsWith(QLatin1String("host"));
}

// "category:level" of the library's lines, each kind once, sorted.
QStringList libraryLines(const QList<LoggedLine> &lines)
{
    static const char *const levels[] = { "debug", "warning", "critical", "fatal", "info" };
    QStringList kinds;
    for (const LoggedLine &line : lines) {
        const QString kind = line.category + QLatin1Char(':') + QLatin1String(levels[line.type]);
        if (!isHostLine(line) && !kinds.contains(kind))
            kinds << kind;
    }
    kinds.sort();
    return kinds;
}

QStringList hostLines(const QList<LoggedLine> &lines)
{
    QStringList texts;
    for (const LoggedLine &line : lines) {
        if (isHostLine(line))
            texts << line.category + QLatin1Char(' ') + line.text;
    }
    return texts;
}
} // namespace
Q_DECLARE_METATYPE(Action)

class TstLogCategories : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (vendorLibraryPresent("libpcanbasic.so") || vendorLibraryPresent("libcanlib.so.1"))
            QSKIP("a vendor library is installed here; the tests need it missing");
    }
    void cleanup() { QLoggingCategory::setFilterRules(QString()); }

    void host_switches_library_lines_off_and_keeps_its_own_data()
    {
        QTest::addColumn<Action>("action");
        QTest::newRow("virtual handler") << Action::Virtual;
        QTest::newRow("CANopen handler") << Action::MissingCanopenLibrary;
        QTest::newRow("CAN handler") << Action::MissingCanLibrary;
    }
    void host_switches_library_lines_off_and_keeps_its_own()
    {
        QFETCH(Action, action);
        LogCapture log;
        provoke(action);
        QVERIFY2(!libraryLines(log.lines()).isEmpty(), "the library wrote nothing to switch off");

        QLoggingCategory::setFilterRules(QStringLiteral("commandhandler*=false"));
        log.clear();
        provoke(action);
        qCDebug(hostCategory) << "host line";
        qDebug() << "host default line";
        qWarning() << "host warning";
        const QStringList expectedHostLines { QStringLiteral("host.io host line"),
            QStringLiteral("default host default line"), QStringLiteral("default host warning") };
        QCOMPARE(hostLines(log.lines()), expectedHostLines);
        QCOMPARE(libraryLines(log.lines()), QStringList());
    }

    // The categories are distinct: a rule reaches the category and level it names.
    void rules_name_category_and_level_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QStringList>("printed");
        const QString main = QStringLiteral("commandhandler:debug");
        const QString low = QStringLiteral("commandhandler.debLevel.low:debug");
        const QString critical = QStringLiteral("commandhandler:critical");
        QTest::newRow("no rules") << QString() << QStringList { main, low, critical };
        QTest::newRow("debug lines off") << QStringLiteral("commandhandler*.debug=false") << QStringList { critical };
        QTest::newRow("low-level lines off")
            << QStringLiteral("commandhandler.debLevel.low.debug=false") << QStringList { main, critical };
        QTest::newRow("only low-level lines")
            << QStringLiteral("commandhandler*=false\ncommandhandler.debLevel.low.debug=true") << QStringList { low };
    }
    void rules_name_category_and_level()
    {
        QFETCH(QString, rules);
        QFETCH(QStringList, printed);
        QLoggingCategory::setFilterRules(rules);
        LogCapture log;
        provoke(Action::MissingCanopenLibrary);
        printed.sort();
        QCOMPARE(libraryLines(log.lines()), printed);
    }

    void virtual_open_says_why_it_fails()
    {
        LogCapture log;
        VirtualCommandHandler handler;
        QVERIFY(!handler.openDevice(QVariant()));
        QCOMPARE(log.lines().size(), 1);
        const LoggedLine &line = log.lines().first();
        QCOMPARE(line.category, QStringLiteral("commandhandler"));
        QCOMPARE(line.type, QtWarningMsg);
        QVERIFY2(line.text.startsWith(QLatin1String("VirtualCommandHandler::openDevice() ")), qPrintable(line.text));
        QVERIFY2(line.text.contains(QLatin1String("returns false")), qPrintable(line.text));
    }
};

QTEST_GUILESS_MAIN(TstLogCategories)
#include "tst_logcategories.moc"
