#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtTest>

// zapl against the FTDI fakes (LD_LIBRARY_PATH from ctest is inherited by the child).
class TestZaplSpi : public QObject
{
    Q_OBJECT
private:
    struct Run
    {
        int code = -1;
        QString out, err;
    };
    static Run zapl(const QStringList &args, bool spiLink = true)
    {
        QProcess p;
        p.start(QStringLiteral(CH_ZAPL_BINARY),
            (spiLink ? QStringList { "--link", "spi", "spi" } : QStringList { "spi" }) + args);
        Run r;
        if (p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit) {
            r.code = p.exitCode();
            r.out = QString::fromUtf8(p.readAllStandardOutput());
            r.err = QString::fromUtf8(p.readAllStandardError());
        } else {
            p.kill();
            p.waitForFinished(1000);
        }
        return r;
    }

private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariable("LD_LIBRARY_PATH").contains(QLatin1String("ft4222")))
            QSKIP("the FTDI fakes are not on LD_LIBRARY_PATH (run through ctest)");
    }

    void write_and_read_registers()
    {
        const Run w = zapl({ "write", "5", "-1234", "--motor", "1" });
        QCOMPARE(w.code, 0);
        QCOMPARE(w.out, QStringLiteral("register 5 motor 1 <- -1234 (0xfffffb2e)\n"));
        const Run r = zapl({ "read", "5" });
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("register 5 motor 0: 0 (0x0)\n")); // a fresh module in a fresh process
    }

    void bad_arguments_are_usage_errors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("spiLink");
        QTest::newRow("no verb") << QStringList() << true;
        QTest::newRow("register too big") << QStringList { "read", "256" } << true;
        QTest::newRow("missing value") << QStringList { "write", "1" } << true;
        QTest::newRow("motor out of range") << QStringList { "read", "1", "--motor", "16" } << true;
        QTest::newRow("other link") << QStringList { "read", "1" } << false;
        QTest::newRow("unknown setting") << QStringList { "configure", "--set", "x=1" } << true;
    }
    void bad_arguments_are_usage_errors()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, spiLink);
        const Run r = zapl(args, spiLink);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY(!r.err.isEmpty());
    }

    void configure_from_options_and_file()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write("# monitoring unit\nchannel2 = 0xFF123456\ntrigger=7\n");
        file.close();
        const Run r = zapl({ "configure", "--file", file.fileName(), "--set", "general=0x21" });
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("configured\n"));
    }

    void live_prints_csv_and_summary()
    {
        const Run r = zapl({ "live", "--seconds", "1" });
        QCOMPARE(r.code, 0);
        const QRegularExpression csv(QStringLiteral("^[0-3],\\d{1,3},-?\\d+$"));
        const QRegularExpression summary(
            QStringLiteral("^# channel [0-3]: (\\d+) packets, min -?\\d+, max -?\\d+, mean "));
        int packets = 0, summarised = 0, summaries = 0;
        for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const auto s = summary.match(line);
            if (s.hasMatch()) {
                ++summaries;
                summarised += s.captured(1).toInt();
                continue;
            }
            QVERIFY2(csv.match(line).hasMatch(), qPrintable(line));
            QCOMPARE(summaries, 0); // summaries come last
            ++packets;
        }
        QCOMPARE(summaries, 4);
        QVERIFY2(packets > 100, qPrintable(QString::number(packets))); // the fake streams 1000 per second
        QCOMPARE(summarised, packets);
    }
};

QTEST_GUILESS_MAIN(TestZaplSpi)
#include "tst_zaplspi.moc"
