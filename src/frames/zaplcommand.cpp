#include "zaplcommand.h"

#include "basictools.h"
#include "chlog_p.h"
#include "command.h"

#include <cstring>

namespace {
uchar sumOf(const uchar *bytes)
{
    uint sum = 0;
    for (int i = 0; i < 8; ++i)
        sum += bytes[i];
    return static_cast<uchar>(sum & 0xFF);
}

void putValue(uchar *out, int value)
{
    const auto v = static_cast<quint32>(value);
    out[0] = static_cast<uchar>(v >> 24);
    out[1] = static_cast<uchar>(v >> 16);
    out[2] = static_cast<uchar>(v >> 8);
    out[3] = static_cast<uchar>(v);
}

// Four header bytes, the value most significant byte first, and the checksum byte.
QByteArray frameBytes(uchar b0, uchar b1, uchar b2, uchar b3, int value, uchar checkSum)
{
    uchar bytes[9] = { b0, b1, b2, b3 };
    putValue(bytes + 4, value);
    bytes[8] = checkSum;
    return QByteArray(reinterpret_cast<const char *>(bytes), 9);
}

QString spaced(const uchar *bytes, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += BasicTools::iToHex(bytes[i], 2, i == 0 ? QString() : QStringLiteral(" "));
    return text;
}

QString bracketed(const QString &head, const uchar *bytes, int count)
{
    QString text = head;
    for (int i = 0; i < count; ++i) {
        text += BasicTools::iToHex(bytes[i], 2, QStringLiteral("0x"));
        text += i + 1 < count ? QStringLiteral(", ") : QStringLiteral("]");
    }
    return text;
}
} // namespace

ZAPLCommandInterface::ZAPLCommandInterface(uchar moduleAddress) : m_moduleAddress(moduleAddress)
{ }

ZAPLCommandInterface::~ZAPLCommandInterface() = default;

ZAPLRequestCommand::ZAPLRequestCommand(uchar moduleAddress, uchar command, uchar type, uchar motor, int value)
    : ZAPLCommandInterface(moduleAddress)
{
    m_command = command;
    m_type = type;
    m_motorNumber = motor;
    m_value = value;
    m_checkSum = computeCheckSum();
}

ZAPLRequestCommand::ZAPLRequestCommand(const Command *request) : ZAPLCommandInterface(request->address())
{
    m_command = request->command();
    m_value = request->value();
    packTypeAndMotor(*request, m_type, m_motorNumber);
    m_checkSum = computeCheckSum();
}

ZAPLRequestCommand::~ZAPLRequestCommand() = default;

void ZAPLRequestCommand::packTypeAndMotor(const Command &request, uchar &type, uchar &motor)
{
    type = static_cast<uchar>(request.type() & 0xFF);
    // The MC register commands keep the whole bank byte; the DRV write packs like any other.
    if (!request.isExtendedType() || request.command() == 146 || request.command() == 148) {
        motor = request.motorBank();
    } else {
        motor = static_cast<uchar>(((request.type() >> 4) & 0xF0) | (request.motorBank() & 0x0F));
    }
}

uchar ZAPLRequestCommand::computeCheckSum() const
{
    const QByteArray bytes = toByteArray();
    return sumOf(reinterpret_cast<const uchar *>(bytes.constData()));
}

const char *ZAPLRequestCommand::toChar()
{
    const QByteArray bytes = toByteArray();
    memcpy(m_out, bytes.constData(), sizeof m_out);
    return m_out;
}

QByteArray ZAPLRequestCommand::toByteArray() const
{
    return frameBytes(m_moduleAddress, m_command, m_type, m_motorNumber, m_value, m_checkSum);
}

QString ZAPLRequestCommand::toString() const
{
    const QByteArray b = toByteArray();
    return spaced(reinterpret_cast<const uchar *>(b.constData()), 9);
}

QString ZAPLRequestCommand::toHex() const
{
    const QByteArray b = toByteArray();
    return bracketed(QStringLiteral("Request["), reinterpret_cast<const uchar *>(b.constData()), 9);
}

ZAPLReplyCommand::ZAPLReplyCommand() : ZAPLCommandInterface(1)
{
    m_moduleAddress = 0;
}

ZAPLReplyCommand::ZAPLReplyCommand(const char *bytes) : ZAPLCommandInterface(1)
{
    update(bytes, false);
}

ZAPLReplyCommand::~ZAPLReplyCommand() = default;

void ZAPLReplyCommand::update(const char *bytes, bool skipChecksumTest)
{
    const auto *b = reinterpret_cast<const uchar *>(bytes);
    m_valid = true;
    m_replyAddress = b[0];
    m_moduleAddress = b[1];
    m_status = b[2];
    m_command = b[3];
    m_value = static_cast<int>((quint32(b[4]) << 24) | (quint32(b[5]) << 16) | (quint32(b[6]) << 8) | quint32(b[7]));
    m_checkSum = b[8];
    if (skipChecksumTest) {
        m_checksumValid = true;
        return;
    }
    m_checksumValid = sumOf(b) == b[8];
    if (!m_checksumValid)
        CH_DEBUG << "invalid checksum!" << toString();
}

bool ZAPLReplyCommand::update(const QByteArray &bytes, bool skipChecksumTest)
{
    if (bytes.size() < 9) {
        m_valid = false;
        return false;
    }
    update(bytes.constData(), skipChecksumTest);
    return true;
}

QByteArray ZAPLReplyCommand::toReply() const
{
    return frameBytes(m_replyAddress, m_moduleAddress, m_status, m_command, m_value, m_checkSum);
}

QString ZAPLReplyCommand::toString() const
{
    const QByteArray b = toReply();
    return spaced(reinterpret_cast<const uchar *>(b.constData()), 9);
}

QString ZAPLReplyCommand::toHex() const
{
    const QByteArray b = toReply();
    return bracketed(QStringLiteral("Reply  ["), reinterpret_cast<const uchar *>(b.constData()), 9);
}
