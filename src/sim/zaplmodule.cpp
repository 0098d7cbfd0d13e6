#include "zaplmodule.h"

#include <QtGlobal>

namespace {
// Reading command a writing command stores under, or 0 when the command does not write.
quint8 storedUnder(quint8 command)
{
    switch (command) {
    case 5: // SAP
    case 7: // STAP
        return 6; // GAP
    case 9: // SGP
        return 10; // GGP
    case 146:
        return 148;
    case 147:
        return 149;
    default:
        return 0;
    }
}

bool isReading(quint8 command)
{
    return command == 6 || command == 10 || command == 148 || command == 149;
}

// The protocol's vocabulary, kept here on its own so the simulator stays independent of the
// library it is the peer of.
bool isKnownCommand(quint8 command)
{
    return command <= 74 || command == 80 || (command >= 128 && command <= 154) || (command >= 170 && command <= 172)
        || command == 255;
}

quint32 keyOf(quint8 command, quint8 type, quint8 motor)
{
    return (quint32(command) << 16) | (quint32(type) << 8) | motor;
}

void putValue(QByteArray &out, int at, qint32 value)
{
    const auto v = static_cast<quint32>(value);
    out[at] = char(v >> 24);
    out[at + 1] = char(v >> 16);
    out[at + 2] = char(v >> 8);
    out[at + 3] = char(v);
}

qint32 valueAt(const QByteArray &in, int at)
{
    const auto b = [&](int i) { return quint32(quint8(in.at(at + i))); };
    return static_cast<qint32>((b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3));
}

quint8 sumOf(const QByteArray &bytes, int count)
{
    quint32 sum = 0;
    for (int i = 0; i < count; ++i)
        sum += quint8(bytes.at(i));
    return quint8(sum);
}
} // namespace

ZaplModuleModel::ZaplModuleModel(quint8 address) : m_address(address)
{ }

quint8 ZaplModuleModel::address() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_address;
}

void ZaplModuleModel::setAddress(quint8 address)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_address = address;
}

void ZaplModuleModel::clearStore()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_store.clear();
}

int ZaplModuleModel::requestCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests;
}

void ZaplModuleModel::setIdentity(const QString &typeDigits, int major, int minor, int build)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_typeDigits = typeDigits.left(4).rightJustified(4, QLatin1Char('0'));
    m_major = qBound(0, major, 9);
    m_minor = qBound(0, minor, 99);
    m_build = build;
    m_versionText.clear();
}

void ZaplModuleModel::setVersionText(const QByteArray &text)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_versionText = text.isEmpty() ? QByteArray() : text.left(8).leftJustified(8, '\0');
}

QByteArray ZaplModuleModel::versionText() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return versionTextLocked();
}

QByteArray ZaplModuleModel::versionTextLocked() const
{
    // A copy of its own: the text leaves the lock for another thread.
    if (!m_versionText.isEmpty())
        return QByteArray(m_versionText.constData(), m_versionText.size());
    return (m_typeDigits + QLatin1Char('V') + QString::number(m_major)
        + QString::number(m_minor).rightJustified(2, QLatin1Char('0')))
        .toLatin1();
}

ZaplModuleModel::Reply ZaplModuleModel::handle(const Request &request)
{
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_requests;
    Reply reply;
    reply.moduleAddress = m_address;
    reply.command = request.command;
    reply.status = kStatusOk;
    reply.value = request.value;

    if (!isKnownCommand(request.command)) {
        reply.status = kStatusUnknownCommand;
    } else if (request.command == kGetVersion) {
        switch (request.type) {
        case 0:
            reply.isText = true;
            reply.text = versionTextLocked();
            break;
        case 1:
            reply.value = (m_major << 8) | m_minor;
            break;
        case 5:
            reply.value = m_build;
            break;
        default:
            reply.status = kStatusInvalidType;
            break;
        }
    } else if (const quint8 reading = storedUnder(request.command)) {
        m_store.insert(keyOf(reading, request.type, request.motor), request.value);
    } else if (isReading(request.command)) {
        reply.value = m_store.value(keyOf(request.command, request.type, request.motor), 0);
    }
    return reply;
}

QByteArray ZaplModuleModel::handleSerial(const QByteArray &request, quint8 hostAddress)
{
    const quint8 own = address();
    if (request.size() != 9 || quint8(request.at(0)) != own)
        return QByteArray();
    QByteArray out(9, '\0');
    out[0] = char(hostAddress);
    if (sumOf(request, 8) != quint8(request.at(8))) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_requests;
        }
        out[1] = char(own);
        out[2] = char(kStatusBadChecksum);
        out[3] = request.at(1);
        putValue(out, 4, valueAt(request, 4));
    } else {
        const Reply reply
            = handle({ own, quint8(request.at(1)), quint8(request.at(2)), quint8(request.at(3)), valueAt(request, 4) });
        if (reply.isText) {
            for (int i = 0; i < 8; ++i)
                out[1 + i] = reply.text.at(i);
            return out;
        }
        out[1] = char(reply.moduleAddress);
        out[2] = char(reply.status);
        out[3] = char(reply.command);
        putValue(out, 4, reply.value);
    }
    out[8] = char(sumOf(out, 8));
    return out;
}

QByteArray ZaplModuleModel::handleCan(const QByteArray &data)
{
    if (data.size() < 7)
        return QByteArray();
    const Reply reply
        = handle({ address(), quint8(data.at(0)), quint8(data.at(1)), quint8(data.at(2)), valueAt(data, 3) });
    if (reply.isText)
        return reply.text;
    QByteArray out(8, '\0');
    out[0] = char(reply.moduleAddress);
    out[1] = char(reply.status);
    out[2] = char(reply.command);
    putValue(out, 3, reply.value);
    return out;
}
