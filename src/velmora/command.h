#pragma once

#include "velmora_global.h"

#include <QMetaType>

// One request or reply record as the host hands it to a handler. Plain value type.
class VELMORA_EXPORT Command
{
public:
    Command() = default;
    Command(quint8 address, quint8 command, quint16 type, quint8 motorBank, qint32 value);

    quint8 address() const { return m_address; }
    void setAddress(quint8 a) { m_address = a; }
    quint8 command() const { return m_command; }
    void setCommand(quint8 c) { m_command = c; }
    // Bits 8-11 carry the extended type.
    quint16 type() const { return m_type; }
    void setType(quint16 t) { m_type = t; }
    quint8 motorBank() const { return m_motorBank; }
    void setMotorBank(quint8 m) { m_motorBank = m; }
    qint32 value() const { return m_value; }
    void setValue(qint32 v) { m_value = v; }
    quint8 status() const { return m_status; }
    void setStatus(quint8 s) { m_status = s; }
    quint8 checksum() const { return m_checksum; }
    void setChecksum(quint8 c) { m_checksum = c; }
    quint8 replyAddress() const { return m_replyAddress; }
    void setReplyAddress(quint8 a) { m_replyAddress = a; }
    bool isExtendedType() const { return m_extendedType; }
    void setExtendedType(bool e) { m_extendedType = e; }
    quint8 getRegAddressBitWidth() const { return m_regAddressBitWidth; }
    void setRegAddressBitWidth(quint8 w) { m_regAddressBitWidth = w; }
    bool isValid() const { return m_valid; }
    void setValid(bool v) { m_valid = v; }

    bool operator==(const Command &other) const;
    bool operator!=(const Command &other) const { return !(*this == other); }

private:
    qint32 m_value = 0;
    quint16 m_type = 0;
    quint8 m_address = 1;
    quint8 m_command = 0;
    quint8 m_motorBank = 0;
    quint8 m_status = 0;
    quint8 m_checksum = 0;
    quint8 m_replyAddress = 0;
    quint8 m_regAddressBitWidth = 8;
    bool m_extendedType = false;
    bool m_valid = false;
};

Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(Command *)
