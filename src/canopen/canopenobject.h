#pragma once

/// \file
/// An object-dictionary entry as the host keeps it, and its two enumerations.

#include "commandhandler_global.h"

#include <QString>
#include <QVariant>

/// Direction in which an entry may be mapped into a PDO; the host gives the values meaning.
enum TPDOMapDirection : qint32 {
    PDOMapNone = 0, ///< Not mapped.
    PDOMapReceive = 1, ///< Receive PDOs.
    PDOMapTransmit = 2, ///< Transmit PDOs.
    PDOMapBoth = 3 ///< Both.
};

/// Device-configuration state of an entry; the host gives the values meaning beyond 0.
enum TDCFFlag : qint32 {
    DCFNone = 0, ///< The initial state.
    DCFChanged = 1, ///< For the host's use.
    DCFStored = 2 ///< For the host's use.
};

/// One entry of a CANopen object dictionary as the host keeps it: name, index, sub-index, the
/// host's attributes, the PDO mapping direction, and a device-configuration flag and value that
/// may change later. A plain value, not a QObject: the library only stores, copies and compares
/// it, and no library operation creates or reads one.
class COMMANDHANDLER_EXPORT CANOpenObject
{
public:
    /// Stores the twelve arguments; the DCF flag starts at DCFNone and the DCF value at the int 0.
    CANOpenObject(QString name, unsigned short index, unsigned char subIndex, unsigned char byteAttribute,
        unsigned short wordAttribute, bool attrFlag1, bool attrFlag2, bool attrFlag3, TPDOMapDirection pdoMapDirection,
        bool attrFlag4, bool attrFlag5, bool attrFlag6);
    /// Copies every field, DCF flag and value included.
    CANOpenObject(const CANOpenObject &other);
    /// Copies as well; the source keeps everything (a const source cannot be moved from).
    CANOpenObject(const CANOpenObject &&other); // NOLINT(performance-noexcept-move-constructor)
    /// Copies every field.
    CANOpenObject &operator=(const CANOpenObject &other);
    ~CANOpenObject();

    /// Same entry: index, sub-index, word attribute and the sixth flag; nothing else takes part.
    bool operator==(const CANOpenObject &other) const;
    /// The negation of operator==().
    bool operator!=(const CANOpenObject &other) const;
    /// True only when both index and sub-index are smaller. Kept for hosts that compare entries
    /// this way; it is not a strict weak ordering, so sort with sortsBefore() instead.
    bool operator<(const CANOpenObject &other) const;
    /// Strict weak ordering by index, sub-index, word attribute and the sixth flag, whose
    /// equivalence is exactly operator==: usable with std::sort and as a map key.
    static bool sortsBefore(const CANOpenObject &left, const CANOpenObject &right);

    /// Sets the value of dcfFlag().
    void setDcfFlag(TDCFFlag flag);
    /// Sets the value of dcfValue().
    void setDcfValue(QVariant value);

    /// Whether an index lies in one of the eight axes' blocks: manufacturer 0x2000 + k*0x200
    /// (0x200 long) or profile 0x6000 + k*0x800 (0x800 long), k = 0..7. Together they cover
    /// 0x2000..0x2FFF and 0x6000..0x9FFF.
    static bool isAxisObject(int index);

    /// The entry's name (argument 1).
    QString name() const { return m_name; }
    /// The 16-bit index (argument 2).
    unsigned short index() const { return m_index; }
    /// The sub-index (argument 3).
    unsigned char subIndex() const { return m_subIndex; }
    /// The host's byte attribute (argument 4).
    unsigned char byteAttribute() const { return m_byteAttribute; }
    /// The host's word attribute (argument 5).
    unsigned short wordAttribute() const { return m_wordAttribute; }
    /// The host's first flag (argument 6).
    bool attrFlag1() const { return m_attrFlag1; }
    /// The host's second flag (argument 7).
    bool attrFlag2() const { return m_attrFlag2; }
    /// The host's third flag (argument 8).
    bool attrFlag3() const { return m_attrFlag3; }
    /// The host's fourth flag (argument 10).
    bool attrFlag4() const { return m_attrFlag4; }
    /// The host's fifth flag (argument 11).
    bool attrFlag5() const { return m_attrFlag5; }
    /// The host's sixth flag (argument 12).
    bool attrFlag6() const { return m_attrFlag6; }
    /// The PDO mapping direction (argument 9).
    TPDOMapDirection pdoMapDirection() const { return m_pdoMapDirection; }
    /// The device-configuration flag; DCFNone at first.
    TDCFFlag dcfFlag() const { return m_dcfFlag; }
    /// The device-configuration value; the int 0 at first.
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
