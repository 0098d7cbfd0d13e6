// zapl over an SLCAN link: "zapl simulate slcan" with modules 1 and 3, shared by every row.
#include "../zapl/zapltest.h"

using zapltest::row;

class TstZaplSlcan : public QObject
{
    Q_OBJECT
    zapltest::Simulator sim;

private slots:
    void initTestCase() { QVERIFY(sim.start(QStringLiteral("slcan --modules 1,3 --ack z"))); }
    void cleanupTestCase()
    {
        QString said;
        QCOMPARE(sim.stop(&said), 0);
        QVERIFY2(said.contains(QLatin1String("\nserved ")), qPrintable(said));
    }
    void over_slcan_data();
    void over_slcan() { zapltest::check({ { QStringLiteral("pty"), sim.path() } }); }
};

void TstZaplSlcan::over_slcan_data()
{
    zapltest::addColumns();
    const QString link = QStringLiteral("--link slcan:{pty} ");
    const QString requests = QStringLiteral(" send \"SAP 4 0 1000\" \"GAP 4 0\"");
    const char *const replies = "=SAP 4 0 1000: status 100 value 1000\nGAP 4 0: status 100 value 1000\n";
    row("250 kbit/s", link + "--bitrate 250 --address 3" + requests, 0, replies, "");
    row("500k", link + "--bitrate 500k --address 3" + requests, 0, replies, "");
    row("500000 bit/s", link + "--bitrate 500000 --address 3" + requests, 0, replies, "");
    row("1M", link + "--bitrate 1M --address 3" + requests, 0, replies, "");
    row("a rate the adapter lacks", link + "--bitrate 83" + requests, 3, "", "at 83 kbit/s");
    row("CAN frames with --verbose", link + "--verbose send \"GAP 4 0\"", 0, "=GAP 4 0: status 100 value 0\n",
        "/^  > 01 06 04 00 00 00 00 00 00 .*\\n  < [^\\n]*\\n$");
    const char *const modules13 = "=module 1: VX-1161 single-axis stepper firmware 2.07\n"
                                  "module 3: VX-1161 single-axis stepper firmware 2.07\n";
    row("scan at the library's pace", link + "--timeout 200 scan --from 1 --to 5", 0, modules13, "2 modules found");
    row("scan --fast", link + "--timeout 200 scan --fast --to 10", 0, modules13, "2 modules found");
    row("no module there", link + "--timeout 20 --address 9 send \"GAP 4 0\"", 1, "=GAP 4 0: no reply\n", "*");
    row("bad acknowledge style", "simulate slcan --ack yes", 2, "", "--ack takes cr, z or none");
}

QTEST_GUILESS_MAIN(TstZaplSlcan)
#include "tst_zaplslcan.moc"
