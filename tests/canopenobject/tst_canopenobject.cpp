#include "canopenobject.h"

#include <QtTest>
#include <algorithm>

namespace {
CANOpenObject entry(
    const QString &name, unsigned short index, unsigned char sub, unsigned short word = 7, bool flag6 = false)
{
    return CANOpenObject(name, index, sub, 3, word, true, false, true, PDOMapTransmit, false, true, flag6);
}
} // namespace

class TstCANOpenObject : public QObject
{
    Q_OBJECT
private slots:
    void constructor_stores_arguments_in_their_fields();
    void copies_carry_dcf_state();
    void equality_uses_index_subindex_word_and_sixth_flag();
    void less_than_needs_both_smaller();
    void sorting_uses_a_strict_weak_ordering();
    void axis_blocks_data();
    void axis_blocks();
};

void TstCANOpenObject::constructor_stores_arguments_in_their_fields()
{
    const CANOpenObject o(QStringLiteral("Target position"), 0x607A, 2, 0x11, 0x2222, true, false, true, PDOMapReceive,
        false, true, false);
    QCOMPARE(o.name(), QStringLiteral("Target position"));
    QCOMPARE(o.index(), (unsigned short)0x607A);
    QCOMPARE(o.subIndex(), (unsigned char)2);
    QCOMPARE(o.byteAttribute(), (unsigned char)0x11);
    QCOMPARE(o.wordAttribute(), (unsigned short)0x2222);
    QVERIFY(o.attrFlag1() && !o.attrFlag2() && o.attrFlag3());
    QCOMPARE(o.pdoMapDirection(), PDOMapReceive);
    QVERIFY(!o.attrFlag4() && o.attrFlag5() && !o.attrFlag6());
    QCOMPARE(o.dcfFlag(), DCFNone);
    QCOMPARE(o.dcfValue(), QVariant(0));
    QCOMPARE(int(o.dcfValue().userType()), int(QMetaType::Int));
}

void TstCANOpenObject::copies_carry_dcf_state()
{
    CANOpenObject o = entry(QStringLiteral("a"), 0x2000, 1);
    o.setDcfValue(QStringLiteral("0x10"));
    o.setDcfFlag(DCFChanged);
    const CANOpenObject copy(o);
    QCOMPARE(copy.dcfValue(), QVariant(QStringLiteral("0x10")));
    QCOMPARE(copy.dcfFlag(), DCFChanged);
    const CANOpenObject moved(std::move(o));
    QCOMPARE(moved.dcfValue(), QVariant(QStringLiteral("0x10")));
    QCOMPARE(o.dcfValue(), QVariant(QStringLiteral("0x10"))); // the source keeps its state
    CANOpenObject assigned = entry(QStringLiteral("b"), 1, 1);
    assigned = copy;
    QCOMPARE(assigned.name(), QStringLiteral("a"));
    QCOMPARE(assigned.dcfFlag(), DCFChanged);
}

void TstCANOpenObject::equality_uses_index_subindex_word_and_sixth_flag()
{
    CANOpenObject a = entry(QStringLiteral("a"), 0x1000, 0);
    CANOpenObject b(QStringLiteral("other"), 0x1000, 0, 99, 7, false, true, false, PDOMapBoth, true, false, false);
    b.setDcfValue(5);
    QVERIFY(a == b);
    QVERIFY(!(a != b));
    QVERIFY(a != entry(QStringLiteral("a"), 0x1000, 1));
    QVERIFY(a != entry(QStringLiteral("a"), 0x1001, 0));
    QVERIFY(a != entry(QStringLiteral("a"), 0x1000, 0, 8));
    QVERIFY(a != entry(QStringLiteral("a"), 0x1000, 0, 7, true));
}

void TstCANOpenObject::less_than_needs_both_smaller()
{
    const CANOpenObject low = entry(QStringLiteral("x"), 0x1000, 5);
    const CANOpenObject high = entry(QStringLiteral("y"), 0x2000, 3);
    QVERIFY(!(low < high));
    QVERIFY(!(high < low));
    QVERIFY(entry(QStringLiteral("x"), 0x1000, 1) < entry(QStringLiteral("y"), 0x2000, 3));
    QVERIFY(!(entry(QStringLiteral("x"), 0x1000, 1) < entry(QStringLiteral("y"), 0x1000, 3)));
}

void TstCANOpenObject::sorting_uses_a_strict_weak_ordering()
{
    std::vector<CANOpenObject> list { entry(QStringLiteral("c"), 0x2000, 3), entry(QStringLiteral("a"), 0x1000, 5),
        entry(QStringLiteral("b"), 0x1000, 2), entry(QStringLiteral("d"), 0x2000, 1) };
    std::sort(list.begin(), list.end(), CANOpenObject::sortsBefore);
    QStringList order;
    for (const CANOpenObject &o : list)
        order << o.name();
    QCOMPARE(order, QStringList({ "b", "a", "d", "c" }));
    const CANOpenObject x = entry(QStringLiteral("x"), 0x1000, 0);
    const CANOpenObject y = entry(QStringLiteral("y"), 0x1000, 0);
    QVERIFY(!CANOpenObject::sortsBefore(x, y) && !CANOpenObject::sortsBefore(y, x)); // equal entries
}

void TstCANOpenObject::axis_blocks_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("axis");
    const QList<QPair<int, bool>> rows { { 0x1FFF, false }, { 0x2000, true }, { 0x21FF, true }, { 0x2200, true },
        { 0x2FFF, true }, { 0x3000, false }, { 0x5FFF, false }, { 0x6000, true }, { 0x67FF, true }, { 0x6800, true },
        { 0x9FFF, true }, { 0xA000, false }, { -1, false }, { 0, false }, { 0x7FFFFFFF, false } };
    for (const auto &r : rows)
        QTest::newRow(qPrintable(QString::number(r.first, 16))) << r.first << r.second;
}

void TstCANOpenObject::axis_blocks()
{
    QFETCH(int, index);
    QFETCH(bool, axis);
    QCOMPARE(CANOpenObject::isAxisObject(index), axis);
}

QTEST_GUILESS_MAIN(TstCANOpenObject)
#include "tst_canopenobject.moc"
