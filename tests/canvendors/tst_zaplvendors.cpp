// zapl over each vendor link, against the vendor fakes (modules 1, 3 and 7 on their buses).
#include "../zapl/zapltest.h"

using zapltest::row;

class TstZaplVendors : public QObject
{
    Q_OBJECT
private slots:
    void vendor_links_data();
    void vendor_links()
    {
        QFETCH(QString, line);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString vendor = line.section(QLatin1Char(' '), 1, 1).section(QLatin1Char(':'), 0, 0);
        env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(CH_FAKES_DIR "/") + vendor);
        env.insert(QStringLiteral("FAKE_MODULES"), QStringLiteral("1,3,7"));
        zapltest::check({}, env);
    }
};

void TstZaplVendors::vendor_links_data()
{
    zapltest::addColumns();
    const char *const modules37 = "/^module 3: [^\\n]*\\nmodule 7: [^\\n]*\\n$";
    for (const char *link : { "kvaser:1", "peak:2", "esd:0", "ixxat" }) {
        const QString l = QStringLiteral("--link %1 ").arg(QLatin1String(link));
        const QByteArray name(link);
        row(name + " send", l + "--address 7 --bitrate 250k send \"SAP 4 0 99\" \"GAP 4 0\"", 0,
            "=SAP 4 0 99: status 100 value 99\nGAP 4 0: status 100 value 99\n", "*");
        row(name + " scan", l + "--timeout 20 scan --from 2 --to 8", 0, modules37, "2 modules found");
        row(name + " scan --fast", l + "scan --fast --from 2 --to 8", 0, modules37, "2 modules found");
    }
    row("PEAK ZAPL nets are 1 and 2", "--link peak:3 send GAP", 2, "", "'3' is out of range 1..2");
}

QTEST_GUILESS_MAIN(TstZaplVendors)
#include "tst_zaplvendors.moc"
