#include "basictools.h"
#include "command.h"

#include <QtTest>

class TstBasicTools : public QObject
{
    Q_OBJECT
private slots:
    void hex_text_is_padded_and_prefixed();
    void signed_values_render_at_their_width();
    void decimal_text_is_padded();
    void ordinals_data();
    void ordinals();
    void firmware_match_data();
    void firmware_match();
    void command_setters_round_trip();
};

void TstBasicTools::hex_text_is_padded_and_prefixed()
{
    QCOMPARE(BasicTools::iToHex(quint8(0x0A), 2, QString()), QStringLiteral("0A"));
    QCOMPARE(BasicTools::iToHex(quint8(0xFF), 2, QStringLiteral("0x")), QStringLiteral("0xFF"));
    QCOMPARE(BasicTools::iToHex(quint16(0x1F), 4, QStringLiteral(" ")), QStringLiteral(" 001F"));
    QCOMPARE(BasicTools::iToHex(quint32(0xDEADBEEF), 2, QString()), QStringLiteral("DEADBEEF"));
    QCOMPARE(BasicTools::iToHex(quint64(1) << 40, 12, QString()), QStringLiteral("010000000000"));
}

void TstBasicTools::signed_values_render_at_their_width()
{
    QCOMPARE(BasicTools::iToHex(-1, 2, QStringLiteral("0x")), QStringLiteral("0xFFFFFFFF"));
    QCOMPARE(BasicTools::iToHex(char(-2), 2, QString()), QStringLiteral("FE"));
    QCOMPARE(BasicTools::iToHex(qint16(-1), 2, QString()), QStringLiteral("FFFF"));
    QCOMPARE(BasicTools::iToHex(size_t(0x1234), 6, QString()), QStringLiteral("001234"));
}

void TstBasicTools::decimal_text_is_padded()
{
    QCOMPARE(BasicTools::iToUint(7, 3, QString()), QStringLiteral("007"));
    QCOMPARE(BasicTools::iToUint(1234, 3, QStringLiteral("b")), QStringLiteral("b1234"));
}

void TstBasicTools::ordinals_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    const QList<QPair<int, const char *>> rows { { 0, "0th" }, { 1, "1st" }, { 2, "2nd" }, { 3, "3rd" }, { 4, "4th" },
        { 11, "11th" }, { 12, "12th" }, { 13, "13th" }, { 21, "21st" }, { 102, "102nd" }, { 111, "111th" } };
    for (const auto &r : rows)
        QTest::newRow(r.second) << r.first << QString::fromLatin1(r.second);
}

void TstBasicTools::ordinals()
{
    QFETCH(int, number);
    QFETCH(QString, text);
    QCOMPARE(BasicTools::itoOrdinal(number), text);
}

void TstBasicTools::firmware_match_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("result");
    const QString stepper = QStringLiteral("VX-1161 single-axis stepper");
    QTest::newRow("version value") << "1161V207" << 0x0207 << stepper << stepper + QStringLiteral(" firmware 2.07");
    QTest::newRow("version from text") << "1161V213" << 0 << stepper << stepper + QStringLiteral(" firmware 2.13");
    QTest::newRow("uncatalogued") << "9999V100" << 0x100 << QString() << QString();
    const QString legacy = QStringLiteral("VX-016 legacy stepper");
    QTest::newRow("older form") << "016v1.05" << 0 << legacy << legacy + QStringLiteral(" firmware 1.05");
    QTest::newRow("older form, value") << "016v1.05" << 0x0106 << legacy << legacy + QStringLiteral(" firmware 1.06");
    QTest::newRow("older form, no dot") << "016v1005" << 0 << QString() << QString();
    QTest::newRow("lower-case v") << "1161v207" << 0 << QString() << QString();
    QTest::newRow("too short") << "1161V20" << 0 << QString() << QString();
    QTest::newRow("not digits") << "11x1V207" << 0 << QString() << QString();
    QTest::newRow("empty") << "" << 0 << QString() << QString();
}

void TstBasicTools::firmware_match()
{
    QFETCH(QString, text);
    QFETCH(int, version);
    QFETCH(QString, name);
    QFETCH(QString, result);
    QString moduleName = QStringLiteral("stale");
    QCOMPARE(BasicTools::matchFirmwareVersion(moduleName, text, version), result);
    QCOMPARE(moduleName, name);
}

void TstBasicTools::command_setters_round_trip()
{
    Command c;
    c.setAddress(0xFE);
    c.setCommand(0x88);
    c.setType(0xABC);
    c.setMotorBank(0x7F);
    c.setValue(-123456);
    c.setStatus(100);
    c.setChecksum(0x12);
    c.setReplyAddress(2);
    c.setExtendedType(true);
    c.setRegAddressBitWidth(11);
    c.setValid(true);
    QCOMPARE(c.address(), quint8(0xFE));
    QCOMPARE(c.command(), quint8(0x88));
    QCOMPARE(c.type(), quint16(0xABC));
    QCOMPARE(c.motorBank(), quint8(0x7F));
    QCOMPARE(c.value(), -123456);
    QCOMPARE(c.status(), quint8(100));
    QCOMPARE(c.checksum(), quint8(0x12));
    QCOMPARE(c.replyAddress(), quint8(2));
    QVERIFY(c.isExtendedType());
    QCOMPARE(c.getRegAddressBitWidth(), quint8(11));
    QVERIFY(c.isValid());
    Command copy = c;
    QVERIFY(copy == c);
    copy.setValue(0);
    QVERIFY(copy != c);
}

QTEST_GUILESS_MAIN(TstBasicTools)
#include "tst_basictools.moc"
