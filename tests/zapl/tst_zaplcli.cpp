// The command line as a user runs it: a real process, its output and exit code.
#include <QtTest>

namespace {
struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run zapl(const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(CH_ZAPL_BINARY), args);
    Run run;
    if (!process.waitForStarted(5000))
        return run;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(1000);
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
} // namespace

class TstZaplCli : public QObject
{
    Q_OBJECT
private slots:
    void send_writes_and_reads_back_a_parameter();
    void verbose_shows_request_and_reply_frames();
    void requests_are_read_from_standard_input();
    void numbers_and_extended_types_are_accepted();
    void bad_input_is_named_in_one_line_data();
    void bad_input_is_named_in_one_line();
    void bad_input_sends_nothing();
    void mnemonics_lists_the_vocabulary();
    void help_documents_send();
};

void TstZaplCli::send_writes_and_reads_back_a_parameter()
{
    const Run r = zapl({ "send", "SAP 4 0 1000", "GAP 4 0 0" });
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("SAP 4 0 1000: status 100 value 1000\nGAP 4 0 0: status 100 value 1000\n"));
}

void TstZaplCli::verbose_shows_request_and_reply_frames()
{
    const Run r = zapl({ "--verbose", "send", "SAP 4 0 1000", "--address", "3" });
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0),
        QStringLiteral(
            "  > 03 05 04 00 00 00 03 E8 F7   Request[0x03, 0x05, 0x04, 0x00, 0x00, 0x00, 0x03, 0xE8, 0xF7]"));
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("  < 03 ")), qPrintable(lines.at(1)));
    QVERIFY(lines.at(1).contains(QStringLiteral("Reply  [0x03,")));
    QCOMPARE(lines.at(2), QStringLiteral("SAP 4 0 1000: status 100 value 1000"));
}

void TstZaplCli::requests_are_read_from_standard_input()
{
    const Run r = zapl({ "send" }, "# a comment\nSGP 7 2 -5\n\n  GGP   7 2 \n");
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("SGP 7 2 -5: status 100 value -5\nGGP 7 2: status 100 value -5\n"));
}

void TstZaplCli::numbers_and_extended_types_are_accepted()
{
    const Run r = zapl({ "send", "146 0x123 5 0xFFFFFFFF", "148 0x123 5" });
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("146 0x123 5 0xFFFFFFFF: status 100 value -1\n148 0x123 5: status 100 value -1\n"));
}

void TstZaplCli::bad_input_is_named_in_one_line_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("named");
    QTest::newRow("unknown mnemonic") << QStringList { "send", "FOO 1 2 3" } << QByteArray() << "'FOO'";
    QTest::newRow("type out of range") << QStringList { "send", "SAP 4096" } << QByteArray() << "'4096'";
    QTest::newRow("motor out of range") << QStringList { "send", "SAP 4 256 1" } << QByteArray() << "'256'";
    QTest::newRow("value out of range") << QStringList { "send", "SAP 4 0 4294967296" } << QByteArray()
                                        << "'4294967296'";
    QTest::newRow("command out of range") << QStringList { "send", "256" } << QByteArray() << "'256'";
    QTest::newRow("not a number") << QStringList { "send", "SAP x" } << QByteArray() << "'x'";
    QTest::newRow("too many fields") << QStringList { "send", "SAP 1 2 3 4" } << QByteArray() << "'SAP 1 2 3 4'";
    QTest::newRow("malformed line") << QStringList { "send" } << QByteArray("SAP 1\nGAP 1 x\n") << "line 2";
    QTest::newRow("empty input") << QStringList { "send" } << QByteArray("\n") << "no request";
    QTest::newRow("address out of range") << QStringList { "--address", "300", "send", "SAP" } << QByteArray() << "300";
    QTest::newRow("unknown link") << QStringList { "--link", "nowhere", "send", "SAP" } << QByteArray() << "'nowhere'";
}

void TstZaplCli::bad_input_is_named_in_one_line()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(QString, named);
    const Run r = zapl(args, input);
    QVERIFY2(r.code > 0, qPrintable(QString::number(r.code)));
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QVERIFY2(r.err.contains(named), qPrintable(r.err));
}

void TstZaplCli::bad_input_sends_nothing()
{
    const Run r = zapl({ "--verbose", "send", "SAP 4 0 1", "BAD" });
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
}

void TstZaplCli::mnemonics_lists_the_vocabulary()
{
    const Run r = zapl({ "mnemonics" });
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 107);
    QCOMPARE(lines.first(), QStringLiteral("  0  NOP"));
    QVERIFY(lines.contains(QStringLiteral("136  GetVersion")));
    QCOMPARE(lines.last(), QStringLiteral("255  SoftwareReset"));
}

void TstZaplCli::help_documents_send()
{
    const Run overview = zapl({ "--help" });
    QCOMPARE(overview.code, 0);
    QVERIFY(overview.out.contains(QStringLiteral("send [REQUEST...]")));
    QVERIFY(overview.out.contains(QStringLiteral("mnemonics")));
    QVERIFY(overview.out.contains(QStringLiteral("virtual")));
    const Run send = zapl({ "help", "send" });
    QCOMPARE(send.code, 0);
    QVERIFY(send.out.contains(QStringLiteral("COMMAND [TYPE [MOTOR [VALUE]]]")));
    QVERIFY(send.out.contains(QStringLiteral("--address")));
}

QTEST_GUILESS_MAIN(TstZaplCli)
#include "tst_zaplcli.moc"
