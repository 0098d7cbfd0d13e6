#include <QProcess>
#include <QtTest>

// zapl send and zapl scan over each vendor link, against the fakes.
class ZaplVendorsTest : public QObject
{
    Q_OBJECT

    QString run(const QString &vendor, const QStringList &arguments)
    {
        QProcess zapl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(CH_FAKES_DIR "/") + vendor);
        env.insert(QStringLiteral("FAKE_MODULES"), QStringLiteral("1,3,7"));
        zapl.setProcessEnvironment(env);
        zapl.start(QStringLiteral(CH_ZAPL_BINARY), arguments);
        if (!zapl.waitForFinished(20000))
            zapl.kill();
        return QString::fromLocal8Bit(zapl.readAllStandardOutput());
    }

private slots:
    void send_and_scan_over_each_link_data()
    {
        QTest::addColumn<QString>("link");
        for (const char *link : { "kvaser:1", "peak:2", "esd:0", "ixxat" })
            QTest::newRow(link) << QString::fromLatin1(link);
    }
    void send_and_scan_over_each_link()
    {
        QFETCH(QString, link);
        const QString vendor = link.section(QLatin1Char(':'), 0, 0);
        const QString sent
            = run(vendor, { "send", "--link", link, "--address", "7", "--bitrate", "250", "SAP 4 0 99", "GAP 4 0" });
        QVERIFY2(sent.contains(QStringLiteral("GAP 4 0: status 100 value 99")), qPrintable(sent));
        const QString scanned = run(vendor, { "scan", "--link", link, "--from", "1", "--to", "8", "--timeout", "20" });
        QVERIFY2(scanned.contains(QStringLiteral("module 3:")), qPrintable(scanned));
        QVERIFY2(scanned.contains(QStringLiteral("module 7:")), qPrintable(scanned));
        QVERIFY2(!scanned.contains(QStringLiteral("module 5:")), qPrintable(scanned));
    }
};

QTEST_GUILESS_MAIN(ZaplVendorsTest)
#include "tst_zaplvendors.moc"
