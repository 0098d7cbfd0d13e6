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
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("link");
        QTest::newRow("kvaser") << "kvaser"
                                << "kvaser:1";
        QTest::newRow("peak") << "peak"
                              << "peak:2";
        QTest::newRow("esd") << "esd"
                             << "esd:0";
        QTest::newRow("ixxat") << "ixxat"
                               << "ixxat";
    }
    void send_and_scan_over_each_link()
    {
        QFETCH(QString, vendor);
        QFETCH(QString, link);
        const QString sent = run(vendor,
            { QStringLiteral("send"), QStringLiteral("--link"), link, QStringLiteral("--address"), QStringLiteral("7"),
                QStringLiteral("--bitrate"), QStringLiteral("250"), QStringLiteral("SAP 4 0 99"),
                QStringLiteral("GAP 4 0") });
        QVERIFY2(sent.contains(QStringLiteral("GAP 4 0: status 100 value 99")), qPrintable(sent));
        const QString scanned = run(vendor,
            { QStringLiteral("scan"), QStringLiteral("--link"), link, QStringLiteral("--from"), QStringLiteral("1"),
                QStringLiteral("--to"), QStringLiteral("8"), QStringLiteral("--timeout"), QStringLiteral("20") });
        QVERIFY2(scanned.contains(QStringLiteral("module 3:")), qPrintable(scanned));
        QVERIFY2(scanned.contains(QStringLiteral("module 7:")), qPrintable(scanned));
        QVERIFY2(!scanned.contains(QStringLiteral("module 5:")), qPrintable(scanned));
    }
};

QTEST_GUILESS_MAIN(ZaplVendorsTest)
#include "tst_zaplvendors.moc"
