#include <QProcess>
#include <QtTest>

// The zapl program end to end: a simulator process and a host process on one pseudo-terminal.
class tst_ZaplSerial : public QObject
{
    Q_OBJECT
private slots:
    void scan_finds_the_simulated_modules();
    void simulator_ends_cleanly_on_sigterm();

private:
    bool startSimulator(QProcess &sim, const QStringList &args, QString *path);
};

bool tst_ZaplSerial::startSimulator(QProcess &sim, const QStringList &args, QString *path)
{
    sim.start(
        QStringLiteral(CH_ZAPL_BINARY), QStringList { QStringLiteral("simulate"), QStringLiteral("serial") } + args);
    if (!sim.waitForStarted(3000))
        return false;
    for (int i = 0; i < 50 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    *path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    return path->startsWith(QLatin1Char('/'));
}

void tst_ZaplSerial::scan_finds_the_simulated_modules()
{
#if defined(__SANITIZE_THREAD__)
    QSKIP("zapl scan hands requests over blocking-queued; QtCore synchronises that where ThreadSanitizer cannot see");
#endif
    QProcess sim;
    QString path;
    QVERIFY(startSimulator(sim, { QStringLiteral("--modules"), QStringLiteral("1,3,7") }, &path));

    QProcess scan;
    scan.start(QStringLiteral(CH_ZAPL_BINARY),
        { QStringLiteral("--link"), QStringLiteral("serial:") + path, QStringLiteral("--timeout"), QStringLiteral("60"),
            QStringLiteral("scan"), QStringLiteral("--from"), QStringLiteral("1"), QStringLiteral("--to"),
            QStringLiteral("8") });
    QVERIFY(scan.waitForFinished(20000));
    const QString output = QString::fromLocal8Bit(scan.readAllStandardOutput());
    QCOMPARE(scan.exitCode(), 0);
    QStringList found;
    for (const QString &line : output.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("module ")))
            found << line.section(QLatin1Char(' '), 1, 1);
    QCOMPARE(found, (QStringList { QStringLiteral("1:"), QStringLiteral("3:"), QStringLiteral("7:") }));
    QVERIFY(output.contains(QStringLiteral("firmware 2.07")));
    QVERIFY(output.contains(QStringLiteral("3 modules found")));
    // Output is not a terminal: plain progress lines, no carriage returns.
    QVERIFY(!output.contains(QLatin1Char('\r')));

    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
}

void tst_ZaplSerial::simulator_ends_cleanly_on_sigterm()
{
    QProcess sim;
    QString path;
    QVERIFY(startSimulator(sim, { QStringLiteral("--latency"), QStringLiteral("5") }, &path));
    QVERIFY(QFileInfo::exists(path));
    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_ZaplSerial)
#include "tst_zaplserial.moc"
