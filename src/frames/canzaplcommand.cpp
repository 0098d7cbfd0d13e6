#include "canzaplcommand.h"

#include "basictools.h"
#include "command.h"

#include <cstring>

namespace {
void putValueMsbFirst(quint8 *out, int value)
{
    const auto v = static_cast<quint32>(value);
    out[0] = static_cast<quint8>(v >> 24);
    out[1] = static_cast<quint8>(v >> 16);
    out[2] = static_cast<quint8>(v >> 8);
    out[3] = static_cast<quint8>(v);
}

void putLsbFirst(quint8 *out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<quint8>(v >> (8 * i));
}

int valueMsbFirst(const quint8 *b)
{
    return static_cast<int>((quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]));
}

QString spaced(const quint8 *bytes, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += BasicTools::iToHex(bytes[i], 2, i == 0 ? QString() : QStringLiteral(" "));
    return text;
}

// Each item is "0x" before a digit pair that already carries the "0x" prefix, and the list is
// left open: hosts parse this text as it has always looked.
QString listed(const QString &head, const quint8 *bytes, int count)
{
    QString text = head;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += QStringLiteral(", ");
        text += QStringLiteral("0x") + BasicTools::iToHex(bytes[i], 2, QStringLiteral("0x"));
    }
    return text;
}

// The 16 bytes both hex texts show: identifier LSB first, length, flags, 0, 0, command, type,
// motor, value LSB first, spare.
QString hexRecord(
    const QString &head, quint32 id, quint8 length, quint8 flags, const ZAPLCommandInterface &f, quint8 spare)
{
    quint8 b[16] = {};
    putLsbFirst(b, id);
    b[4] = length;
    b[5] = flags;
    b[8] = f.command();
    b[9] = f.type();
    b[10] = f.motorNumber();
    putLsbFirst(b + 11, static_cast<quint32>(f.value()));
    b[15] = spare;
    return listed(head, b, 16);
}
} // namespace

CANZAPLRequestCommand::CANZAPLRequestCommand(quint8 address, quint8 command, quint8 type, quint8 motor, int value)
    : ZAPLCommandInterface(address), m_id(address)
{
    m_command = command;
    m_type = type;
    m_motorNumber = motor;
    m_value = value;
}

CANZAPLRequestCommand::CANZAPLRequestCommand(const Command *request)
    : ZAPLCommandInterface(request->address()), m_id(request->address())
{
    m_command = request->command();
    m_value = request->value();
    m_type = static_cast<uchar>(request->type() & 0xFF);
    if (!request->isExtendedType()) {
        m_motorNumber = request->motorBank();
    } else if (request->getRegAddressBitWidth() == 11) {
        // Type bits 8..10 ride in motor bits 5..7.
        m_motorNumber = static_cast<uchar>((request->motorBank() & 0x1F) | ((request->type() >> 3) & 0xE0));
    } else {
        // Type bits 8..11 ride in motor bits 4..7.
        m_motorNumber = static_cast<uchar>((request->motorBank() & 0x0F) | ((request->type() >> 4) & 0xF0));
    }
}

CANZAPLRequestCommand::~CANZAPLRequestCommand() = default;

void CANZAPLRequestCommand::fillData(char *out) const
{
    quint8 b[8];
    b[0] = m_command;
    b[1] = m_type;
    b[2] = m_motorNumber;
    putValueMsbFirst(b + 3, m_value);
    b[7] = m_dummy;
    std::memcpy(out, b, 8);
}

const char *CANZAPLRequestCommand::toKvaserChar()
{
    fillData(m_kvaser);
    return m_kvaser;
}

const char *CANZAPLRequestCommand::toSocketCANArray()
{
    fillData(m_socket);
    return m_socket;
}

const char *CANZAPLRequestCommand::toESDChar()
{
    quint8 head[8] = {};
    putLsbFirst(head, m_id);
    head[4] = m_length;
    head[5] = m_flags;
    std::memcpy(m_esd, head, 8);
    fillData(m_esd + 8);
    return m_esd;
}

QByteArray CANZAPLRequestCommand::data() const
{
    char b[8];
    fillData(b);
    return QByteArray(b, 8);
}

QString CANZAPLRequestCommand::toString() const
{
    quint8 b[9] = {};
    b[0] = m_moduleAddress;
    b[1] = m_command;
    b[2] = m_type;
    b[3] = m_motorNumber;
    putValueMsbFirst(b + 4, m_value);
    return spaced(b, 9);
}

QString CANZAPLRequestCommand::toHex() const
{
    return hexRecord(QStringLiteral("ZAPLRequest["), m_id, m_length, m_flags, *this, m_dummy);
}

CANZAPLReplyCommand::CANZAPLReplyCommand() : ZAPLCommandInterface(1)
{ }

CANZAPLReplyCommand::CANZAPLReplyCommand(const char *record) : ZAPLCommandInterface(1)
{
    update(record);
}

CANZAPLReplyCommand::~CANZAPLReplyCommand() = default;

void CANZAPLReplyCommand::update(const char *record)
{
    const auto *b = reinterpret_cast<const quint8 *>(record);
    m_id = static_cast<quint32>(valueMsbFirst(b));
    m_length = b[4];
    m_flags = b[5];
    m_spare1 = b[6];
    m_spare2 = b[7];
    updateFromData(b + 8, 8);
}

void CANZAPLReplyCommand::updateFromData(const quint8 *data, int count)
{
    quint8 b[8] = {};
    if (count > 0)
        std::memcpy(b, data, static_cast<size_t>(qMin(count, 8)));
    m_moduleAddress = b[0];
    m_status = b[1];
    m_command = b[2];
    m_value = valueMsbFirst(b + 3);
    m_dummy = b[7];
    m_valid = true;
    m_checksumValid = true;
}

QByteArray CANZAPLReplyCommand::data() const
{
    quint8 b[8];
    b[0] = m_moduleAddress;
    b[1] = m_status;
    b[2] = m_command;
    putValueMsbFirst(b + 3, m_value);
    b[7] = m_dummy;
    return QByteArray(reinterpret_cast<const char *>(b), 8);
}

QString CANZAPLReplyCommand::toString() const
{
    quint8 b[9] = {};
    b[0] = m_replyAddress;
    b[1] = m_moduleAddress;
    b[2] = m_status;
    b[3] = m_command;
    putValueMsbFirst(b + 4, m_value);
    return spaced(b, 9);
}

QString CANZAPLReplyCommand::toHex() const
{
    return hexRecord(QStringLiteral("CANZAPLReply["), m_id, m_length, m_flags, *this, m_dummy);
}
