#include "mnemonics.h"

#include <QtTest>

class TstMnemonics : public QObject
{
    Q_OBJECT
private slots:
    void vocabulary_pairs_data();
    void vocabulary_pairs();
    void numbers_without_mnemonic_are_empty_data();
    void numbers_without_mnemonic_are_empty();
    void unknown_mnemonic_is_minus_one();
    void both_maps_hold_the_same_pairs();
};

void TstMnemonics::vocabulary_pairs_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    const QList<QPair<const char *, int>> rows { { "NOP", 0 }, { "GIO", 15 }, { "SAPX", 16 }, { "AAPX", 18 },
        { "CALC", 19 }, { "ACO", 39 }, { "CALCVV", 40 }, { "POPV", 63 }, { "UF0", 64 }, { "UF8", 72 }, { "UF10", 74 },
        { "CALL", 80 }, { "ApplStop", 128 }, { "ReadMem", 134 }, { "GetVersion", 136 }, { "RAM_DEBUG", 142 },
        { "EVAL_BoardAssignment", 143 }, { "EVAL_WriteChannelRegister_MC", 146 },
        { "EVAL_WriteChannelRegister_DRV", 147 }, { "EVAL_ReadChannelRegister_MC", 148 },
        { "EVAL_ReadChannelRegister_DRV", 149 }, { "DriverCalibration", 154 }, { "MIN", 170 }, { "OTP", 172 },
        { "SoftwareReset", 255 } };
    for (const auto &row : rows)
        QTest::newRow(row.first) << QString::fromLatin1(row.first) << row.second;
}

void TstMnemonics::vocabulary_pairs()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    QCOMPARE(ZAPLMnemonics::number(name), number);
    QCOMPARE(ZAPLMnemonics::name(uchar(number)), name);
}

void TstMnemonics::numbers_without_mnemonic_are_empty_data()
{
    QTest::addColumn<int>("number");
    for (int n : { 75, 79, 81, 127, 155, 169, 173, 254 })
        QTest::newRow(qPrintable(QString::number(n))) << n;
}

void TstMnemonics::numbers_without_mnemonic_are_empty()
{
    QFETCH(int, number);
    QVERIFY(ZAPLMnemonics::name(uchar(number)).isEmpty());
}

void TstMnemonics::unknown_mnemonic_is_minus_one()
{
    QCOMPARE(ZAPLMnemonics::number(QStringLiteral("sap")), -1); // case matters
    QCOMPARE(ZAPLMnemonics::number(QStringLiteral("UF11")), -1);
    QCOMPARE(ZAPLMnemonics::number(QString()), -1);
}

void TstMnemonics::both_maps_hold_the_same_pairs()
{
    const auto &byNumber = ZAPLMnemonics::byNumber();
    const auto &byName = ZAPLMnemonics::byName();
    // 64 + 11 + CALL + 27 + 3 + SoftwareReset
    QCOMPARE(byNumber.size(), 107);
    QCOMPARE(byName.size(), byNumber.size());
    for (auto it = byNumber.constBegin(); it != byNumber.constEnd(); ++it)
        QCOMPARE(byName.value(it.value()), it.key());
}

QTEST_GUILESS_MAIN(TstMnemonics)
#include "tst_mnemonics.moc"
