#include "portclassifier_p.h"
#include "portkey_p.h"
#include "usbidentifiers_p.h"

#include <QMap>
#include <QtTest>

using namespace ch::discovery;
using namespace ch::platform;
Q_DECLARE_METATYPE(SerialVerdict)
Q_DECLARE_METATYPE(PortRecord)

namespace {
PortRecord port(quint16 vendor, quint16 product, const QString &description = QString())
{
    PortRecord p;
    p.portName = QStringLiteral("ttyUSB0");
    p.hasVendorIdentifier = p.hasProductIdentifier = true;
    p.vendorIdentifier = vendor;
    p.productIdentifier = product;
    p.description = description;
    return p;
}

PortRecord portWithoutVendor(const QString &description)
{
    PortRecord p;
    p.portName = QStringLiteral("ttyS0");
    p.description = description;
    return p;
}

quint16 makerVid(const char *vid)
{
    return parseUsbIdentifier(QLatin1String(vid)).first;
}

const QString kIds = QStringLiteral(":inf/USB_IDs");
} // namespace

class TestPortClassification : public QObject
{
    Q_OBJECT
private slots:
    void windows_key_pads_the_port_number_data()
    {
        QTest::addColumn<QString>("key");
        const char *rows[][2] = { { "COM3", "003" }, { "COM12", "012" }, { "COM123", "123" }, { "COM1234", "1234" },
            { "COM", "000" }, { "X", "000" } };
        for (auto row : rows)
            QTest::newRow(row[0]) << QString::fromLatin1(row[1]);
    }
    void windows_key_pads_the_port_number()
    {
        QFETCH(QString, key);
        QCOMPARE(windowsPortKey(QString::fromLatin1(QTest::currentDataTag())), key);
    }

    void com3_sorts_before_com12_and_equal_keys_replace()
    {
        QMap<QString, QString> map;
        for (const char *name : { "COM12", "COM3", "COM100", "COM03" })
            map.insert(windowsPortKey(QLatin1String(name)), QLatin1String(name));
        QCOMPARE(QStringList(map.values()), (QStringList { "COM03", "COM12", "COM100" }));
    }

    void natural_key_orders_device_names_by_number()
    {
        const QStringList names { "ttyUSB10", "ttyACM0", "ttyUSB2", "ttyS10", "ttyS1", "ttyUSB1" };
        QMap<QString, QString> map;
        for (const QString &name : names)
            map.insert(naturalPortKey(name), name);
        QCOMPARE(QStringList(map.values()),
            (QStringList { "ttyACM0", "ttyS1", "ttyS10", "ttyUSB1", "ttyUSB2", "ttyUSB10" }));
        QCOMPARE(map.size(), names.size());
    }

    void identifier_parses_as_hexadecimal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("vendor");
        QTest::addColumn<int>("product");
        QTest::newRow("upper") << "VID_0C72&PID_000C" << 0x0C72 << 0x000C;
        QTest::newRow("lower") << "vid_0bfd&pid_00ff" << 0x0BFD << 0x00FF;
        QTest::newRow("vendor not hex") << "VID_ZZZZ&PID_0002" << 0 << 2;
        QTest::newRow("product too wide") << "VID_1234&PID_12345" << 0x1234 << 0;
        QTest::newRow("no ampersand") << "VID_1234" << 0x1234 << 0x1234;
        QTest::newRow("garbage") << "garbage" << 0 << 0;
        QTest::newRow("empty") << "" << 0 << 0;
    }
    void identifier_parses_as_hexadecimal()
    {
        QFETCH(QString, text);
        QFETCH(int, vendor);
        QFETCH(int, product);
        QCOMPARE(parseUsbIdentifier(text), UsbId(vendor, product));
    }

    void identifier_file_lists_the_integrated_usb_group_only()
    {
        QList<UsbId> ids = readIdentifierFile(kIds);
        std::sort(ids.begin(), ids.end());
        QCOMPARE(ids, (QList<UsbId> { { 0x0000, 0x0002 }, { 0x1A2B, 0x0001 }, { 0x1A2B, 0x00FF } }));
    }

    void missing_or_malformed_identifier_file_adds_nothing()
    {
        QCOMPARE(readIdentifierFile(QStringLiteral(":inf/absent")).size(), 0);
        QCOMPARE(readIdentifierFile(QString()).size(), 0);
        QTemporaryFile junk;
        QVERIFY(junk.open());
        junk.write("\x01\x02[integrated_USB\n=\n==\xff\xfe\n");
        junk.close();
        const PortClassifier withJunk(junk.fileName());
        const PortClassifier builtIn;
        QCOMPARE(withJunk.whitelist(), builtIn.whitelist());
    }

    void built_in_lists_hold_the_maker_products()
    {
        const PortClassifier classifier(kIds);
        const quint16 vid1 = makerVid(ch::usbids::makerVid1);
        for (int i = 0; i < ch::usbids::makerProductRun; ++i)
            QVERIFY(classifier.whitelist().contains(vid1, ch::usbids::makerFirstProduct + i));
        for (const QString &device : { ch::usbids::makerDeviceVid1(), ch::usbids::makerDeviceVid3() }) {
            const UsbId id = parseUsbIdentifier(device);
            QVERIFY(classifier.whitelist().contains(id.first, id.second));
            QVERIFY(classifier.blacklist().contains(id.first, id.second));
        }
        QVERIFY(classifier.whitelist().contains(0x1A2B, 0x00FF));
        QCOMPARE(classifier.whitelist().size(), 9 + 2 + 3);
        QCOMPARE(classifier.blacklist().size(), 2 + 10);
        QCOMPARE(classifier.descriptionBlacklist(), (QStringList { "Bluetooth", "H5321", "F5521" }));
    }

    void serial_verdict_follows_precedence_data()
    {
        QTest::addColumn<PortRecord>("record");
        QTest::addColumn<SerialVerdict>("verdict");
        const quint16 vid1 = makerVid(ch::usbids::makerVid1);
        const quint16 vid2 = makerVid(ch::usbids::makerVid2);
        const UsbId device1 = parseUsbIdentifier(ch::usbids::makerDeviceVid1());
        QTest::newRow("no vendor, empty description") << portWithoutVendor(QString()) << SerialVerdict::Listed;
        QTest::newRow("no vendor, plain description") << portWithoutVendor("16550A UART") << SerialVerdict::Listed;
        QTest::newRow("no vendor, first word any case")
            << portWithoutVendor("Standard serial over bLUEtOOTH link") << SerialVerdict::DescriptionBlacklisted;
        QTest::newRow("no vendor, last word")
            << portWithoutVendor("modem f5521gw") << SerialVerdict::DescriptionBlacklisted;
        QTest::newRow("vendor ignores description") << port(0x0403, 0x6001, "Bluetooth") << SerialVerdict::Listed;
        QTest::newRow("blacklisted pair") << port(0x8086, 0x9DE3) << SerialVerdict::Blacklisted;
        QTest::newRow("neighbour of blacklisted pair") << port(0x8086, 0x9DE4) << SerialVerdict::Listed;
        QTest::newRow("vendor 0, product 0") << port(0, 0) << SerialVerdict::Blacklisted;
        QTest::newRow("PEAK any product") << port(0x0C72, 0x1234) << SerialVerdict::OwnOrCanAdapter;
        QTest::newRow("esd") << port(0x0AB4, 0x0001) << SerialVerdict::OwnOrCanAdapter;
        QTest::newRow("Kvaser") << port(0x0BFD, 0x0004) << SerialVerdict::OwnOrCanAdapter;
        QTest::newRow("IXXAT has no virtual COM prefix") << port(0x08D8, 0x0001) << SerialVerdict::Listed;
        QTest::newRow("maker VID 2") << port(vid2, 0x0042) << SerialVerdict::OwnOrCanAdapter;
        QTest::newRow("maker VID 1 run") << port(vid1, ch::usbids::makerFirstProduct) << SerialVerdict::OwnOrCanAdapter;
        QTest::newRow("blacklist before prefix") << port(device1.first, device1.second) << SerialVerdict::Blacklisted;
        QTest::newRow("common converter") << port(0x0403, 0x6015) << SerialVerdict::Listed;
        QTest::newRow("file product, other vendor") << port(0x1A2B, 0x0001) << SerialVerdict::Listed;
    }
    void serial_verdict_follows_precedence()
    {
        QFETCH(PortRecord, record);
        QFETCH(SerialVerdict, verdict);
        const PortClassifier classifier(kIds);
        QCOMPARE(classifier.classifySerial(record), verdict);
    }

    void usb_verdict_needs_a_whitelisted_pair_data()
    {
        QTest::addColumn<PortRecord>("record");
        QTest::addColumn<bool>("usb");
        const quint16 vid1 = makerVid(ch::usbids::makerVid1);
        const quint16 first = ch::usbids::makerFirstProduct;
        const UsbId device3 = parseUsbIdentifier(ch::usbids::makerDeviceVid3());
        QTest::newRow("first of run") << port(vid1, first) << true;
        QTest::newRow("last of run") << port(vid1, first + 8) << true;
        QTest::newRow("after run") << port(vid1, first + 9) << false;
        QTest::newRow("maker VID 3 device, also blacklisted") << port(device3.first, device3.second) << true;
        QTest::newRow("file entry") << port(0x1A2B, 0x0001) << true;
        QTest::newRow("file entry lower-case key") << port(0x1A2B, 0x00FF) << true;
        QTest::newRow("file vendor, other product") << port(0x1A2B, 0x0003) << false;
        QTest::newRow("CAN adapter") << port(0x0C72, 0x000C) << false;
        // The unparsable file key entered (0, 2); a port without identifiers must not match it.
        PortRecord bare = portWithoutVendor("ttyS0");
        bare.hasProductIdentifier = true;
        bare.productIdentifier = 2;
        QTest::newRow("no vendor never matches vendor 0") << bare << false;
    }
    void usb_verdict_needs_a_whitelisted_pair()
    {
        QFETCH(PortRecord, record);
        QFETCH(bool, usb);
        const PortClassifier classifier(kIds);
        QCOMPARE(classifier.isUsbDevice(record), usb);
    }

    void add_black_vendor_moves_a_pair_off_both_lists()
    {
        PortClassifier classifier(kIds);
        classifier.addBlackVendor(0x1A2B, 0x0001);
        QVERIFY(!classifier.isUsbDevice(port(0x1A2B, 0x0001)));
        QCOMPARE(classifier.classifySerial(port(0x1A2B, 0x0001)), SerialVerdict::Blacklisted);
        QVERIFY(classifier.isUsbDevice(port(0x1A2B, 0x00FF)));
        // Moving a pair that was never whitelisted only blacklists it.
        classifier.addBlackVendor(0x0403, 0x6001);
        QCOMPARE(classifier.classifySerial(port(0x0403, 0x6001)), SerialVerdict::Blacklisted);
        QCOMPARE(classifier.classifySerial(port(0x0403, 0x6015)), SerialVerdict::Listed);
    }

    void add_black_description_keeps_words_unique_and_ignores_empty()
    {
        PortClassifier classifier;
        classifier.addBlackDescription(QStringLiteral("Virtual"));
        classifier.addBlackDescription(QStringLiteral("Virtual"));
        classifier.addBlackDescription(QStringLiteral("H5321"));
        classifier.addBlackDescription(QString());
        QCOMPARE(classifier.descriptionBlacklist(), (QStringList { "Bluetooth", "H5321", "F5521", "Virtual" }));
        QCOMPARE(classifier.classifySerial(portWithoutVendor("virtual port")), SerialVerdict::DescriptionBlacklisted);
        QCOMPARE(classifier.classifySerial(portWithoutVendor("16550A UART")), SerialVerdict::Listed);
    }

    void id_map_prints_pairs_in_decimal()
    {
        UsbIdMap map;
        map.insert(0x0451, 0x3410);
        map.insert(1, 2);
        QCOMPARE(formatUsbIdMap(map), QStringLiteral("QMap((1, 2)(1105, 13328))"));
        QCOMPARE(formatUsbIdMap(UsbIdMap()), QStringLiteral("QMap()"));
    }
};

QTEST_GUILESS_MAIN(TestPortClassification)
#include "tst_portclassification.moc"
