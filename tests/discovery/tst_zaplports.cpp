#include "fakesysfs.h"

#include <QProcess>
#include <QtTest>
#include <csignal>

class TestZaplPorts : public QObject
{
    Q_OBJECT
    FakeSysfs m_sysfs;

private slots:
    void initTestCase()
    {
        QVERIFY(m_sysfs.isValid());
        m_sysfs.kvaserAndConverter();
    }

    void ports_prints_the_three_lists()
    {
        QProcess zapl;
        zapl.start(QStringLiteral(CH_ZAPL_BINARY),
            { QStringLiteral("ports"), QStringLiteral("--sysfs-root"), m_sysfs.root() });
        QVERIFY(zapl.waitForFinished(10000));
        QCOMPARE(zapl.exitCode(), 0);
        const QString out = QString::fromUtf8(zapl.readAllStandardOutput());
        const int serial = out.indexOf("Serial ports:\n");
        const int usb = out.indexOf("USB devices:\n");
        const int can = out.indexOf("CAN adapters:\n");
        QVERIFY2(serial == 0 && usb > serial && can > usb, qPrintable(out));
        QCOMPARE(out.mid(can),
            QStringLiteral("CAN adapters:\n  Kvaser  VID_0bfd&PID_0004  1-1  Leaf Light  "
                           "kvaser_usb  Maker Leaf Light  Net=can0\n"));
        QVERIFY(zapl.readAllStandardError().isEmpty());
    }

    void ports_rejects_unknown_arguments()
    {
        QProcess zapl;
        zapl.start(QStringLiteral(CH_ZAPL_BINARY), { QStringLiteral("ports"), QStringLiteral("--bogus") });
        QVERIFY(zapl.waitForFinished(10000));
        QCOMPARE(zapl.exitCode(), 2);
        QVERIFY(zapl.readAllStandardError().contains("--bogus"));
    }

    void watch_runs_until_interrupted()
    {
        QProcess zapl;
        zapl.start(QStringLiteral(CH_ZAPL_BINARY),
            { QStringLiteral("ports"), QStringLiteral("--watch"), QStringLiteral("--sysfs-root"), m_sysfs.root() });
        QVERIFY(zapl.waitForStarted(5000));
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains("watching for device changes") && clock.elapsed() < 10000) {
            zapl.waitForReadyRead(200);
            out += zapl.readAllStandardOutput();
        }
        QVERIFY2(out.contains("watching for device changes"), out.constData());
        QVERIFY(!zapl.waitForFinished(300)); // keeps running
        ::kill(static_cast<pid_t>(zapl.processId()), SIGINT);
        QVERIFY(zapl.waitForFinished(5000));
        QCOMPARE(zapl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(zapl.exitCode(), 0);
        out += zapl.readAllStandardOutput();
        // Nothing was plugged in meanwhile: no arrival or removal is reported.
        QVERIFY2(!out.contains("arrived:") && !out.contains("removed:"), out.constData());
    }
};

QTEST_GUILESS_MAIN(TestZaplPorts)
#include "tst_zaplports.moc"
