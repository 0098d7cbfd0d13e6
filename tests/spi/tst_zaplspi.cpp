// zapl spi against the FTDI fakes (LD_LIBRARY_PATH from ctest is inherited by the child).
#include "../zapl/zapltest.h"

#include <QTemporaryFile>

using zapltest::row;

class TstZaplSpi : public QObject
{
    Q_OBJECT
    QTemporaryFile m_settings;

private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariable("LD_LIBRARY_PATH").contains(QLatin1String("ft4222")))
            QSKIP("the FTDI fakes are not on LD_LIBRARY_PATH (run through ctest)");
        QVERIFY(m_settings.open());
        m_settings.write("# monitoring unit\nchannel2 = 0xFF123456\ntrigger=7\n");
        m_settings.close();
    }
    void bridge_data();
    void bridge() { zapltest::check({ { QStringLiteral("file"), m_settings.fileName() } }); }
    void live_prints_each_packet_and_a_summary();
};

void TstZaplSpi::bridge_data()
{
    zapltest::addColumns();
    row("write, no --link needed", "spi write 5 -1234 --motor 1", 0, "=register 5 motor 1 <- -1234 (0xfffffb2e)\n", "");
    // A fresh module in a fresh process.
    row("read", "spi read 5", 0, "=register 5 motor 0: 0 (0x0)\n", "");
    row("read json", "spi read 5 --format json", 0,
        "={\"operation\":\"read\",\"register\":5,\"motor\":0,\"value\":0}\n", "");
    row("configure", "spi configure --file {file} --set general=0x21", 0, "=configured\n", "");
    row("no verb", "spi", 2, "", "usage: spi read REG");
    row("register too big", "spi read 256", 2, "", "'256' is out of range 0..255");
    row("missing value", "spi write 1", 2, "", "usage: spi read REG");
    row("motor out of range", "spi read 1 --motor 16", 2, "", "'16' is out of range 0..15");
    row("unknown setting", "spi configure --set x=1", 2, "", "unknown setting 'x'");
    row("a link without the bridge", "--link virtual spi read 1", 2, "", "the virtual link offers no SPI bridge");
}

void TstZaplSpi::live_prints_each_packet_and_a_summary()
{
    const zapltest::Run r = zapltest::run(QStringLiteral(CH_ZAPL_BINARY), zapltest::words("spi live --seconds 1"));
    QCOMPARE(r.code, 0);
    const QRegularExpression packet(QStringLiteral("^[0-3],\\d{1,3},-?\\d+$"));
    int packets = 0;
    for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QVERIFY2(packet.match(line).hasMatch(), qPrintable(line));
        ++packets;
    }
    // The fake streams 1000 packets a second; the summary on stderr counts every one printed.
    QVERIFY2(packets > 100, qPrintable(QString::number(packets)));
    const QRegularExpression summary(QStringLiteral("channel [0-3]: (\\d+) packets, min -?\\d+, max -?\\d+, mean "));
    int summarised = 0;
    auto it = summary.globalMatch(r.err);
    while (it.hasNext())
        summarised += it.next().captured(1).toInt();
    QCOMPARE(summarised, packets);
}

QTEST_GUILESS_MAIN(TstZaplSpi)
#include "tst_zaplspi.moc"
