#include "command.h"

Command::Command(quint8 address, quint8 command, quint16 type, quint8 motorBank, qint32 value)
    : m_value(value), m_type(type), m_address(address), m_command(command), m_motorBank(motorBank)
{ }

bool Command::operator==(const Command &o) const
{
    return m_value == o.m_value && m_type == o.m_type && m_address == o.m_address && m_command == o.m_command
        && m_motorBank == o.m_motorBank && m_status == o.m_status && m_checksum == o.m_checksum
        && m_replyAddress == o.m_replyAddress && m_regAddressBitWidth == o.m_regAddressBitWidth
        && m_extendedType == o.m_extendedType && m_valid == o.m_valid;
}
