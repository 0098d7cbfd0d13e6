#pragma once

#include "commandhandler_global.h"

#include <QString>
#include <QVariant>

// Direction in which an entry may be mapped into a PDO; the host gives the values meaning.
enum TPDOMapDirection : qint32 { PDOMapNone = 0, PDOMapReceive = 1, PDOMapTransmit = 2, PDOMapBoth = 3 };

// Device-configuration state of an entry; the host gives the values meaning beyond 0.
enum TDCFFlag : qint32 { DCFNone = 0, DCFChanged = 1, DCFStored = 2 };

// One entry of a CANopen object dictionary as the host keeps it. A plain value: the library
// only stores, copies and compares it.
class COMMANDHANDLER_EXPORT CANOpenObject
{
public:
    CANOpenObject(QString name, unsigned short index, unsigned char subIndex, unsigned char byteAttribute,
        unsigned short wordAttribute, bool attrFlag1, bool attrFlag2, bool attrFlag3, TPDOMapDirection pdoMapDirection,
        bool attrFlag4, bool attrFlag5, bool attrFlag6);
    CANOpenObject(const CANOpenObject &other);
    // Copies as well; the source keeps everything (a const source cannot be moved from).
    CANOpenObject(const CANOpenObject &&other); // NOLINT(performance-noexcept-move-constructor)
    CANOpenObject &operator=(const CANOpenObject &other);
    ~CANOpenObject();

    // Same entry: index, sub-index, word attribute and the sixth flag; nothing else takes part.
    bool operator==(const CANOpenObject &other) const;
    bool operator!=(const CANOpenObject &other) const;
    // True only when both index and sub-index are smaller. Kept for hosts that compare entries
    // this way; it is not a strict weak ordering, so sort with sortsBefore() instead.
    bool operator<(const CANOpenObject &other) const;
    // Strict weak ordering by index, sub-index, word attribute and the sixth flag, whose
    // equivalence is exactly operator==: usable with std::sort and as a map key.
    static bool sortsBefore(const CANOpenObject &left, const CANOpenObject &right);

    void setDcfFlag(TDCFFlag flag);
    void setDcfValue(QVariant value);

    // Whether an index lies in one of the eight axes' blocks: manufacturer 0x2000 + k*0x200
    // (0x200 long) or profile 0x6000 + k*0x800 (0x800 long), k = 0..7.
    static bool isAxisObject(int index);

    QString name() const { return m_name; }
    unsigned short index() const { return m_index; }
    unsigned char subIndex() const { return m_subIndex; }
    unsigned char byteAttribute() const { return m_byteAttribute; }
    unsigned short wordAttribute() const { return m_wordAttribute; }
    bool attrFlag1() const { return m_attrFlag1; }
    bool attrFlag2() const { return m_attrFlag2; }
    bool attrFlag3() const { return m_attrFlag3; }
    bool attrFlag4() const { return m_attrFlag4; }
    bool attrFlag5() const { return m_attrFlag5; }
    bool attrFlag6() const { return m_attrFlag6; }
    TPDOMapDirection pdoMapDirection() const { return m_pdoMapDirection; }
    TDCFFlag dcfFlag() const { return m_dcfFlag; }
    QVariant dcfValue() const { return m_dcfValue; }

private:
    QString m_name;
    unsigned short m_index = 0;
    unsigned char m_subIndex = 0;
    unsigned char m_byteAttribute = 0;
    unsigned short m_wordAttribute = 0;
    bool m_attrFlag1 = false;
    bool m_attrFlag2 = false;
    bool m_attrFlag3 = false;
    TPDOMapDirection m_pdoMapDirection = PDOMapNone;
    bool m_attrFlag6 = false;
    bool m_attrFlag4 = false;
    bool m_attrFlag5 = false;
    TDCFFlag m_dcfFlag = DCFNone;
    QVariant m_dcfValue { 0 };
};
