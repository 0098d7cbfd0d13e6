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
    // Runs zapl with space-separated `args`, then `extra` as they stand; returns its exit code.
    int run(const QString &args, const QStringList &extra = {}, bool overLink = true);
    QProcess sim;
    QString path, out;
};

int TestZaplSlcan::run(const QString &args, const QStringList &extra, bool overLink)
{
    QProcess p;
    const QString link = overLink ? QStringLiteral("--link slcan:") + path + QLatin1Char(' ') : QString();
    p.start(QStringLiteral(CH_ZAPL_BINARY), (link + args).split(QLatin1Char(' ')) + extra);
    if (!p.waitForFinished(20000))
        return -1;
    out = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitCode();
}

void TestZaplSlcan::initTestCase()
{
    sim.start(QStringLiteral(CH_ZAPL_BINARY), QStringLiteral("simulate slcan --modules 1,3 --ack z").split(' '));
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

void TestZaplSlcan::send_over_slcan_gets_replies()
{
    const QStringList commands { QStringLiteral("SAP 4 0 1000"), QStringLiteral("GAP 4 0 0") };
    QVERIFY2(run(QStringLiteral("--bitrate 250 --address 3 send"), commands) == 0, qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("status 100 value 1000")), qPrintable(out));
    QVERIFY(run(QStringLiteral("--bitrate 83 send"), commands) > 0);
}

void TestZaplSlcan::scan_over_slcan_finds_the_modules()
{
    QVERIFY2(run(QStringLiteral("--timeout 40 scan --from 1 --to 5")) == 0, qPrintable(out));
    QStringList found;
    for (const QString &line : out.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("module ")))
            found << line.section(QLatin1Char(' '), 1, 1);
    QCOMPARE(found, (QStringList { QStringLiteral("1:"), QStringLiteral("3:") }));
    QVERIFY(out.contains(QStringLiteral("firmware 2.07")));
}

void TestZaplSlcan::bad_ack_style_is_refused()
{
    QCOMPARE(run(QStringLiteral("simulate slcan --ack yes"), {}, false), 2);
}

QTEST_GUILESS_MAIN(TestZaplSlcan)
#include "tst_zaplslcan.moc"
