#include "canopennode.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr quint32 kSdoRequestBase = 0x600;
constexpr quint32 kSdoReplyBase = 0x580;
constexpr quint32 kLssRequest = 0x7E5;
constexpr quint32 kLssReply = 0x7E4;
constexpr int kMaxValue = 1 << 20; // a download larger than this is refused, not buffered

quint32 le32(const quint8 *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

QByteArray leBytes(quint32 v, int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(v >> (8 * i)));
    return b;
}

// The frame's data with everything beyond its length zeroed, so no stale byte is ever read.
void payload(const SimCanFrame &f, quint8 out[8])
{
    std::fill(out, out + 8, 0);
    std::copy(f.data, f.data + std::min<int>(f.length, 8), out);
}
} // namespace

CanOpenNode::CanOpenNode(quint8 nodeId, const Identity &identity)
    : m_nodeId(nodeId), m_pendingNodeId(nodeId), m_identity(identity)
{
    loadDefaults();
}

CanOpenNode::~CanOpenNode()
{
    detach();
}

void CanOpenNode::loadDefaults()
{
    m_od.clear();
    auto put = [this](quint16 i, quint8 s, const QByteArray &v, bool w, int size) { m_od[key(i, s)] = { v, w, size }; };
    put(0x1000, 0, leBytes(0x00020192, 4), false, 4);
    put(0x1001, 0, leBytes(0, 1), false, 1);
    put(0x1008, 0, QByteArrayLiteral("ZAPL CANopen node"), false, 0);
    put(0x100A, 0, QByteArrayLiteral("1.0"), false, 0);
    put(0x1017, 0, leBytes(0, 2), true, 2);
    put(0x1018, 0, leBytes(4, 1), false, 1);
    for (int part = 0; part < 4; ++part)
        put(0x1018, quint8(part + 1), leBytes(identityPart(part), 4), false, 4);
    put(0x2000, 0, leBytes(0, 4), true, 4); // process value: RPDO1 in, TPDO1 out
    put(0x2001, 0, QByteArray(), true, 0); // domain for segmented transfers
    put(0x2002, 0, leBytes(0, 1), true, 1); // unsigned 8
    put(0x2003, 0, leBytes(0, 2), true, 2); // unsigned 16
    put(0x2004, 0, leBytes(0, 3), true, 3); // unsigned 24
}

quint32 CanOpenNode::identityPart(int part) const
{
    switch (part) {
    case 0:
        return m_identity.vendor;
    case 1:
        return m_identity.product;
    case 2:
        return m_identity.revision;
    default:
        return m_identity.serial;
    }
}

void CanOpenNode::attachTo(SimCanBus &bus)
{
    detach();
    std::lock_guard<std::mutex> lock(m_lock);
    m_bus = &bus;
    m_stop = false;
    bus.attach(this);
    bootUp(bus);
    m_heartbeat = std::thread(&CanOpenNode::heartbeatLoop, this);
}

void CanOpenNode::detach()
{
    SimCanBus *bus = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        bus = m_bus;
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_heartbeat.joinable())
        m_heartbeat.join();
    if (bus)
        bus->detach(this);
    std::lock_guard<std::mutex> lock(m_lock);
    m_bus = nullptr;
}

void CanOpenNode::heartbeatLoop()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_stop) {
        const QByteArray period = m_od[key(0x1017, 0)].value;
        const int ms = period.size() >= 2 ? (quint8(period[0]) | quint8(period[1]) << 8) : 0;
        if (m_wake.wait_for(lock, std::chrono::milliseconds(ms > 0 ? ms : 50), [this] { return m_stop; }))
            break;
        if (ms > 0 && m_bus && m_state != NmtState::Initialising) {
            const quint8 state = quint8(m_state);
            send(*m_bus, 0x700 + m_nodeId, &state, 1);
        }
    }
}

void CanOpenNode::setEntry(quint16 index, quint8 subIndex, const QByteArray &value, bool writable, int fixedSize)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_od[key(index, subIndex)] = { value, writable, fixedSize };
}

QByteArray CanOpenNode::entry(quint16 index, quint8 subIndex) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_od.find(key(index, subIndex));
    return it == m_od.end() ? QByteArray() : it->second.value;
}

void CanOpenNode::setFault(Fault fault, quint32 abortCode)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_fault = fault;
    m_faultCode = abortCode;
}

void CanOpenNode::sendEmergency(quint16 errorCode, quint8 errorRegister)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const quint8 bytes[8] = { quint8(errorCode), quint8(errorCode >> 8), errorRegister };
    if (m_bus)
        send(*m_bus, 0x080 + m_nodeId, bytes, 8);
}

quint8 CanOpenNode::nodeId() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nodeId;
}

CanOpenNode::NmtState CanOpenNode::state() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state;
}

bool CanOpenNode::inLssConfiguration() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lssConfiguration;
}

void CanOpenNode::send(SimCanBus &bus, quint32 id, const quint8 *bytes, int length)
{
    if (m_fault == Fault::Silent)
        return;
    SimCanFrame f;
    f.id = id;
    f.length = quint8(std::clamp(length, 0, 8));
    std::copy(bytes, bytes + f.length, f.data);
    bus.reply(f, this);
}

void CanOpenNode::bootUp(SimCanBus &bus)
{
    m_state = NmtState::PreOperational;
    m_transfer = Transfer();
    const quint8 boot = 0x00;
    send(bus, 0x700 + m_nodeId, &boot, 1);
}

void CanOpenNode::receive(const SimCanFrame &frame, SimCanBus &bus)
{
    if (frame.extended || frame.remote)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    quint8 d[8];
    payload(frame, d);
    const bool operational = m_state == NmtState::Operational;
    if (frame.id == 0x000) {
        handleNmt(frame, bus);
    } else if (frame.id == 0x080 && operational && m_nodeId <= 127) {
        const QByteArray v = m_od[key(0x2000, 0)].value;
        send(bus, 0x180 + m_nodeId, reinterpret_cast<const quint8 *>(v.constData()), v.size());
    } else if (frame.id == 0x200u + m_nodeId && operational) {
        QByteArray v(reinterpret_cast<const char *>(d), 4);
        m_od[key(0x2000, 0)].value = v;
    } else if (frame.id == kSdoRequestBase + m_nodeId && m_state != NmtState::Stopped) {
        handleSdo(frame, bus);
    } else if (frame.id == kLssRequest) {
        handleLss(frame, bus);
    }
}

void CanOpenNode::handleNmt(const SimCanFrame &frame, SimCanBus &bus)
{
    if (frame.length < 2 || (frame.data[1] != 0 && frame.data[1] != m_nodeId))
        return;
    switch (frame.data[0]) {
    case 0x01:
        m_state = NmtState::Operational;
        break;
    case 0x02:
        m_state = NmtState::Stopped;
        break;
    case 0x80:
        m_state = NmtState::PreOperational;
        break;
    case 0x81:
        loadDefaults();
        bootUp(bus);
        break;
    case 0x82:
        m_nodeId = m_pendingNodeId;
        bootUp(bus);
        break;
    default:
        break;
    }
}

void CanOpenNode::sdoReply(SimCanBus &bus, quint8 command, quint16 index, quint8 subIndex, quint32 value)
{
    const quint8 bytes[8] = { command, quint8(index), quint8(index >> 8), subIndex, quint8(value), quint8(value >> 8),
        quint8(value >> 16), quint8(value >> 24) };
    send(bus, kSdoReplyBase + m_nodeId, bytes, 8);
}

void CanOpenNode::sdoAbort(SimCanBus &bus, quint16 index, quint8 subIndex, quint32 code)
{
    m_transfer = Transfer();
    sdoReply(bus, 0x80, index, subIndex, code);
}

quint32 CanOpenNode::checkWrite(quint16 index, quint8 subIndex, int length) const
{
    const auto it = m_od.find(key(index, subIndex));
    if (it == m_od.end()) {
        const bool objectExists = m_od.lower_bound(key(index, 0)) != m_od.upper_bound(key(index, 0xFF));
        return objectExists ? kAbortNoSubIndex : kAbortNoObject;
    }
    if (!it->second.writable)
        return kAbortReadOnly;
    if ((it->second.fixedSize && length != it->second.fixedSize) || length > kMaxValue)
        return kAbortLength;
    return 0;
}

void CanOpenNode::handleSdo(const SimCanFrame &frame, SimCanBus &bus)
{
    quint8 d[8];
    payload(frame, d);
    const quint8 command = d[0];
    const quint16 index = quint16(d[1] | d[2] << 8);
    const quint8 sub = d[3];
    const int ccs = command >> 5;
    const bool initiate = ccs == 1 || ccs == 2;
    if (initiate && m_fault == Fault::Abort)
        return sdoAbort(bus, index, sub, m_faultCode);
    const quint8 wrongToggle = m_fault == Fault::WrongToggle ? 0x10 : 0x00;

    switch (ccs) {
    case 1: { // initiate download
        const bool expedited = command & 0x02;
        const bool sized = command & 0x01;
        if (expedited) {
            const int n = sized ? 4 - ((command >> 2) & 3) : 4;
            if (const quint32 code = checkWrite(index, sub, n))
                return sdoAbort(bus, index, sub, code);
            m_od[key(index, sub)].value = QByteArray(reinterpret_cast<const char *>(d + 4), n);
            if (index == 0x1017)
                m_wake.notify_all();
        } else {
            const auto it = m_od.find(key(index, sub));
            const int announced = int(std::min<quint32>(le32(d + 4), kMaxValue + 1));
            const int probe = sized ? announced : (it != m_od.end() ? it->second.fixedSize : 0);
            if (const quint32 code = checkWrite(index, sub, probe))
                return sdoAbort(bus, index, sub, code);
            m_transfer = Transfer();
            m_transfer.kind = Transfer::Download;
            m_transfer.index = index;
            m_transfer.subIndex = sub;
        }
        return sdoReply(bus, 0x60, index, sub, 0);
    }
    case 0: { // download segment
        if (m_transfer.kind != Transfer::Download)
            return sdoAbort(bus, 0, 0, kAbortCommand);
        const quint8 toggle = (command >> 4) & 1;
        if (toggle != m_transfer.toggle)
            return sdoAbort(bus, m_transfer.index, m_transfer.subIndex, kAbortToggle);
        const int n = 7 - ((command >> 1) & 7);
        m_transfer.bytes.append(reinterpret_cast<const char *>(d + 1), n);
        if (m_transfer.bytes.size() > kMaxValue)
            return sdoAbort(bus, m_transfer.index, m_transfer.subIndex, kAbortLength);
        m_transfer.toggle ^= 1;
        if (command & 1) {
            const Transfer done = m_transfer;
            if (const quint32 code = checkWrite(done.index, done.subIndex, done.bytes.size()))
                return sdoAbort(bus, done.index, done.subIndex, code);
            m_od[key(done.index, done.subIndex)].value = done.bytes;
            m_transfer = Transfer();
        }
        const quint8 reply[8] = { quint8((0x20 | (toggle << 4)) ^ wrongToggle) };
        return send(bus, kSdoReplyBase + m_nodeId, reply, 8);
    }
    case 2: { // initiate upload
        const auto it = m_od.find(key(index, sub));
        if (it == m_od.end())
            return sdoAbort(bus, index, sub, checkWrite(index, sub, 0));
        const QByteArray &v = it->second.value;
        if (v.size() >= 1 && v.size() <= 4 && m_fault != Fault::WrongSize) {
            QByteArray padded = v + QByteArray(4 - v.size(), '\0');
            const quint8 cmd = quint8(0x43 | ((4 - v.size()) << 2));
            return sdoReply(bus, cmd, index, sub, le32(reinterpret_cast<const quint8 *>(padded.constData())));
        }
        m_transfer = Transfer();
        m_transfer.kind = Transfer::Upload;
        m_transfer.index = index;
        m_transfer.subIndex = sub;
        m_transfer.bytes = v;
        const quint32 announced = quint32(v.size()) + (m_fault == Fault::WrongSize ? 1 : 0);
        return sdoReply(bus, 0x41, index, sub, announced);
    }
    case 3: // upload segment
        if (m_transfer.kind != Transfer::Upload)
            return sdoAbort(bus, 0, 0, kAbortCommand);
        return uploadSegment(bus, (command >> 4) & 1);
    case 4: // abort from the master
        m_transfer = Transfer();
        return;
    default:
        return sdoAbort(bus, index, sub, kAbortCommand);
    }
}

void CanOpenNode::uploadSegment(SimCanBus &bus, quint8 requestToggle)
{
    if (requestToggle != m_transfer.toggle)
        return sdoAbort(bus, m_transfer.index, m_transfer.subIndex, kAbortToggle);
    const int n = std::min(7, int(m_transfer.bytes.size()) - m_transfer.offset);
    const bool last = m_transfer.offset + n >= m_transfer.bytes.size();
    quint8 reply[8] = { quint8((requestToggle << 4) | ((7 - n) << 1) | (last ? 1 : 0)) };
    if (m_fault == Fault::WrongToggle)
        reply[0] ^= 0x10;
    std::copy(m_transfer.bytes.constData() + m_transfer.offset, m_transfer.bytes.constData() + m_transfer.offset + n,
        reply + 1);
    m_transfer.offset += n;
    m_transfer.toggle ^= 1;
    if (last)
        m_transfer = Transfer();
    send(bus, kSdoReplyBase + m_nodeId, reply, 8);
}

void CanOpenNode::lssReply(SimCanBus &bus, std::initializer_list<quint8> bytes)
{
    quint8 out[8] = {};
    std::copy(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 8), out);
    send(bus, kLssReply, out, 8);
}

void CanOpenNode::handleLss(const SimCanFrame &frame, SimCanBus &bus)
{
    quint8 d[8];
    payload(frame, d);
    const quint8 cs = d[0];
    const quint32 value = le32(d + 1);
    if (cs == 0x04) { // switch mode global
        m_lssConfiguration = d[1] == 1;
        m_lssSelectMatches = 0;
    } else if (cs >= 0x40 && cs <= 0x43) { // switch mode selective, one identity part each
        const int part = cs - 0x40;
        m_lssSelectMatches = (value == identityPart(part) && m_lssSelectMatches == part) ? part + 1 : 0;
        if (m_lssSelectMatches == 4) {
            m_lssConfiguration = true;
            m_lssSelectMatches = 0;
            lssReply(bus, { 0x44 });
        }
    } else if (cs == 0x4C) { // identify non-configured slaves
        if (m_nodeId == 0xFF)
            lssReply(bus, { 0x50 });
    } else if (cs == 0x51) { // fastscan: several nodes may answer
        const quint8 bitChecked = d[5], sub = d[6], next = d[7];
        if (m_lssConfiguration)
            return;
        if (bitChecked == 0x80) {
            m_fastscanPosition = 0;
            return lssReply(bus, { 0x4F });
        }
        if (sub != m_fastscanPosition || sub > 3 || bitChecked > 31)
            return;
        const quint32 mask = 0xFFFFFFFFu << bitChecked;
        if (((value ^ identityPart(sub)) & mask) != 0)
            return;
        lssReply(bus, { 0x4F });
        if (bitChecked == 0) {
            m_fastscanPosition = next;
            if (sub == 3)
                m_lssConfiguration = true;
        }
    } else if (!m_lssConfiguration) {
        return; // the services below need configuration mode
    } else if (cs == 0x11) {
        const bool valid = (d[1] >= 1 && d[1] <= 127) || d[1] == 0xFF;
        if (valid)
            m_pendingNodeId = d[1];
        lssReply(bus, { 0x11, quint8(valid ? 0 : 1) });
    } else if (cs == 0x13 || cs == 0x17) {
        lssReply(bus, { cs, 0 });
    } else if (cs >= 0x5A && cs <= 0x5D) {
        const quint32 v = identityPart(cs - 0x5A);
        lssReply(bus, { cs, quint8(v), quint8(v >> 8), quint8(v >> 16), quint8(v >> 24) });
    } else if (cs == 0x5E) {
        lssReply(bus, { 0x5E, m_nodeId });
    }
}
