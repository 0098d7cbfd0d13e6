// zapl against "zapl simulate serial" on a pseudo-terminal: one simulator process per row, with
// the row's faults, and what it served checked when it ends.
#include "../zapl/zapltest.h"

using zapltest::row;

class TstZaplSerial : public QObject
{
    Q_OBJECT
private slots:
    void against_the_simulator_data();
    void against_the_simulator();
    void progress_bar_on_a_terminal();
};

void TstZaplSerial::against_the_simulator_data()
{
    zapltest::addColumns();
    QTest::addColumn<QString>("simulator"); // options of "zapl simulate serial"
    QTest::addColumn<QString>("served"); // what it says when it ends
    const QString link = QStringLiteral("--link serial:{pty} ");
    const char *const modules137 = "=module 1: VX-1161 single-axis stepper firmware 2.07\n"
                                   "module 3: VX-1161 single-axis stepper firmware 2.07\n"
                                   "module 7: VX-1161 single-axis stepper firmware 2.07\n";
    row("scan at the library's pace", link + "--timeout 200 scan --from 1 --to 8", 0, modules137,
        "/^checked address 1 \\(1/8\\)\\n(?!checked address 2 )[^\\r]*checked address 8 \\(8/8\\)\\n3 modules found")
        << "--modules 1,3,7"
        << "*";
    row("scan --fast", link + "--timeout 200 scan --fast --from 1 --to 8", 0, modules137, "3 modules found")
        << "--modules 1,3,7"
        << "*";
    row("scan json", link + "--timeout 200 scan --fast --to 4 --format json", 0,
        "={\"address\":3,\"module\":\"VX-1161 single-axis stepper\",\"firmware\":\"VX-1161 single-axis stepper "
        "firmware 2.07\"}\n",
        "*")
        << "--modules 3"
        << "*";
    row("wrong checksum", link + "send \"GAP 4 0\"", 4, "=GAP 4 0: wrong checksum\n", "checksum is wrong")
        << "--corrupt-checksum"
        << "*";
    // A complete reply of module 5 comes before module 1's own.
    row("reply from another module", link + "send \"GAP 4 0\"", 4, "=GAP 4 0: reply from module 5\n",
        "module 5 answered, not module 1")
        << "--stray 020564060000000778"
        << "*";
    row("module error status", link + "send \"GetVersion 7\"", 5, "=GetVersion 7: status 3 value 0\n",
        "module 1 answered with error status 3")
        << ""
        << "*";
    row("version text", link + "send \"GetVersion 0\" \"GetVersion 1\"", 0,
        "=GetVersion 0: \"1161V207\"\nGetVersion 1: status 100 value 519\n", "")
        << ""
        << "served 2 requests";
    row("no reply", link + "--timeout 50 send \"GAP 4 0\"", 1, "=GAP 4 0: no reply\n", "no reply from module 1")
        << "--silent"
        << "*";
    row("USB reading", link + "--usb send \"SAP 4 0 9\" \"GAP 4 0\"", 0, "GAP 4 0: status 100 value 9", "") << ""
                                                                                                            << "*";
    row("port vanishes under send", link + "--timeout 100 send", 3, "=GAP 4 0: no reply\n",
        "/the link serial:/dev/pts/\\d+ is gone", "GAP 4 0\nGAP 4 0\nGAP 4 0\n")
        << "--close-on-request"
        << "*";
    row("port vanishes under scan", link + "--timeout 50 scan --to 40", 3, "",
        "/^checked address 1 \\(1/40\\)\\nzapl scan: the link serial:\\S+ is gone")
        << "--close-on-request"
        << "*";
    row("unquoted request sends nothing", link + "send SAP 4 0 5", 2, "", "quote each request") << ""
                                                                                                << "served 0 requests";
    row("Ctrl-C stops a scan", link + "--timeout 100 scan --to 50", 130, "",
        "/checked address 1 \\(1/50\\)\\n(checked address 3 \\(3/50\\)\\n)?0 modules found in .*zapl: interrupted\\n$",
        {}, "interrupt:checked address 1 ")
        << "--silent"
        << "*";
}

void TstZaplSerial::against_the_simulator()
{
    QFETCH(QString, simulator);
    QFETCH(QString, served);
#if defined(__SANITIZE_THREAD__)
    if (QByteArray(QTest::currentDataTag()).contains("library's pace"))
        QSKIP("the scan thread hands requests over blocking-queued; QtCore synchronises that unseen by TSan");
#endif
    zapltest::Simulator sim;
    QVERIFY(sim.start(QStringLiteral("serial ") + simulator));
    zapltest::check({ { QStringLiteral("pty"), sim.path() } });
    QString said;
    QCOMPARE(sim.stop(&said), 0);
    QVERIFY2(zapltest::matches(said, served), qPrintable(said));
}

void TstZaplSerial::progress_bar_on_a_terminal()
{
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        QSKIP("script (bsdutils) is not installed: no terminal to run zapl on");
    zapltest::Simulator sim;
    QVERIFY(sim.start(QStringLiteral("serial --modules 3")));
    // script(1) gives zapl a terminal for both streams.
    const QString command
        = QStringLiteral(CH_ZAPL_BINARY " --link serial:%1 --timeout 200 scan --to 5").arg(sim.path());
    const zapltest::Run r
        = zapltest::run(QStringLiteral("script"), { QStringLiteral("-qec"), command, QStringLiteral("/dev/null") });
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QLatin1String("\r[########################......]  80% address 4")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QLatin1String("\rmodule 3: VX-1161")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QLatin1String("100% address 5\r\n1 module found")), qPrintable(r.out));
    QVERIFY(!r.out.contains(QLatin1String("checked address")));
}

QTEST_GUILESS_MAIN(TstZaplSerial)
#include "tst_zaplserial.moc"
