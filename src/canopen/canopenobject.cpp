#include "canopenobject.h"

#include <tuple>
#include <utility>

CANOpenObject::CANOpenObject(QString name, unsigned short index, unsigned char subIndex, unsigned char byteAttribute,
    unsigned short wordAttribute, bool attrFlag1, bool attrFlag2, bool attrFlag3, TPDOMapDirection pdoMapDirection,
    bool attrFlag4, bool attrFlag5, bool attrFlag6)
    : m_name(std::move(name)),
      m_index(index),
      m_subIndex(subIndex),
      m_byteAttribute(byteAttribute),
      m_wordAttribute(wordAttribute),
      m_attrFlag1(attrFlag1),
      m_attrFlag2(attrFlag2),
      m_attrFlag3(attrFlag3),
      m_pdoMapDirection(pdoMapDirection),
      m_attrFlag6(attrFlag6),
      m_attrFlag4(attrFlag4),
      m_attrFlag5(attrFlag5)
{ }

CANOpenObject::CANOpenObject(const CANOpenObject &other) = default;

// NOLINTNEXTLINE(performance-noexcept-move-constructor,performance-move-constructor-init)
CANOpenObject::CANOpenObject(const CANOpenObject &&other) : CANOpenObject(other)
{ }

CANOpenObject &CANOpenObject::operator=(const CANOpenObject &other) = default;

CANOpenObject::~CANOpenObject() = default;

bool CANOpenObject::operator==(const CANOpenObject &other) const
{
    return m_index == other.m_index && m_subIndex == other.m_subIndex && m_wordAttribute == other.m_wordAttribute
        && m_attrFlag6 == other.m_attrFlag6;
}

bool CANOpenObject::operator!=(const CANOpenObject &other) const
{
    return !(*this == other);
}

bool CANOpenObject::operator<(const CANOpenObject &other) const
{
    return m_index < other.m_index && m_subIndex < other.m_subIndex;
}

bool CANOpenObject::sortsBefore(const CANOpenObject &left, const CANOpenObject &right)
{
    return std::tie(left.m_index, left.m_subIndex, left.m_wordAttribute, left.m_attrFlag6)
        < std::tie(right.m_index, right.m_subIndex, right.m_wordAttribute, right.m_attrFlag6);
}

void CANOpenObject::setDcfFlag(TDCFFlag flag)
{
    m_dcfFlag = flag;
}

void CANOpenObject::setDcfValue(QVariant value)
{
    m_dcfValue = std::move(value);
}

bool CANOpenObject::isAxisObject(int index)
{
    for (int k = 0; k < 8; ++k) {
        const int manufacturer = 0x2000 + k * 0x200;
        if (index >= manufacturer && index <= manufacturer + 0x1FF)
            return true;
        const int profile = 0x6000 + k * 0x800;
        if (index >= manufacturer && index >= profile && index <= profile + 0x7FF)
            return true;
    }
    return false;
}
