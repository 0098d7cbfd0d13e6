#include <QFileInfo>
#include <QProcess>
#include <QtTest>

// The zapl program end to end over an SLCAN link: a simulator process and host processes.
class TestZaplSlcan : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void send_over_slcan_gets_replies();
    void scan_over_slcan_finds_the_modules();
    void bad_ack_style_is_refused();

private:
    QString run(const QStringList &args, int *exitCode);
    QProcess sim;
    QString path;
};

void TestZaplSlcan::initTestCase()
{
    sim.start(QStringLiteral(CH_ZAPL_BINARY),
        { QStringLiteral("simulate"), QStringLiteral("slcan"), QStringLiteral("--modules"), QStringLiteral("1,3"),
            QStringLiteral("--ack"), QStringLiteral("z") });
    QVERIFY(sim.waitForStarted(3000));
    for (int i = 0; i < 50 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
}

void TestZaplSlcan::cleanupTestCase()
{
    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitCode(), 0);
}

QString TestZaplSlcan::run(const QStringList &args, int *exitCode)
{
    QProcess p;
    p.start(QStringLiteral(CH_ZAPL_BINARY),
        QStringList { QStringLiteral("--link"), QStringLiteral("slcan:") + path } + args);
    if (!p.waitForFinished(20000))
        return QStringLiteral("(hung)");
    *exitCode = p.exitCode();
    return QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
}

void TestZaplSlcan::send_over_slcan_gets_replies()
{
    int rc = -1;
    const QString out
        = run({ QStringLiteral("--bitrate"), QStringLiteral("250"), QStringLiteral("--address"), QStringLiteral("3"),
                  QStringLiteral("send"), QStringLiteral("SAP 4 0 1000"), QStringLiteral("GAP 4 0 0") },
            &rc);
    QVERIFY2(rc == 0, qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("status 100 value 1000")), qPrintable(out));
    int bad = -1;
    run({ QStringLiteral("--bitrate"), QStringLiteral("83"), QStringLiteral("send"), QStringLiteral("GAP 4 0 0") },
        &bad);
    QVERIFY(bad != 0);
}

void TestZaplSlcan::scan_over_slcan_finds_the_modules()
{
    int rc = -1;
    const QString out
        = run({ QStringLiteral("--timeout"), QStringLiteral("40"), QStringLiteral("scan"), QStringLiteral("--from"),
                  QStringLiteral("1"), QStringLiteral("--to"), QStringLiteral("5") },
            &rc);
    QVERIFY2(rc == 0, qPrintable(out));
    QStringList found;
    for (const QString &line : out.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("module ")))
            found << line.section(QLatin1Char(' '), 1, 1);
    QCOMPARE(found, (QStringList { QStringLiteral("1:"), QStringLiteral("3:") }));
    QVERIFY(out.contains(QStringLiteral("firmware 2.07")));
}

void TestZaplSlcan::bad_ack_style_is_refused()
{
    QProcess p;
    p.start(QStringLiteral(CH_ZAPL_BINARY),
        { QStringLiteral("simulate"), QStringLiteral("slcan"), QStringLiteral("--ack"), QStringLiteral("yes") });
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 2);
}

QTEST_GUILESS_MAIN(TestZaplSlcan)
#include "tst_zaplslcan.moc"
