#include "canopenprotocol_p.h"

#include <algorithm>

namespace canopen {

CanMessage frame(quint32 id, const quint8 *bytes, int length)
{
    CanMessage m;
    m.id = id;
    m.setData(bytes, length);
    return m;
}

CanMessage nmtFrame(quint8 specifier, quint8 node)
{
    const quint8 bytes[2] = { specifier, node };
    return frame(kNmtId, bytes, 2);
}

CanMessage syncFrame(int length)
{
    const quint8 counter = 0x01;
    return frame(kSyncId, &counter, length > 0 ? 1 : 0);
}

CanMessage lssFrame(quint8 cs, std::initializer_list<quint8> rest)
{
    quint8 bytes[8] = { cs };
    int at = 1;
    for (quint8 b : rest) {
        if (at < 8)
            bytes[at++] = b;
    }
    return frame(kLssRequestId, bytes, 8);
}

CanMessage lssFrame32(quint8 cs, quint32 value, quint8 b5, quint8 b6, quint8 b7)
{
    return lssFrame(cs, { quint8(value), quint8(value >> 8), quint8(value >> 16), quint8(value >> 24), b5, b6, b7 });
}

CanMessage sdoFrame(quint8 node, quint8 command, quint16 index, quint8 subIndex, quint32 payload)
{
    const quint8 bytes[8] = { command, quint8(index), quint8(index >> 8), subIndex, quint8(payload),
        quint8(payload >> 8), quint8(payload >> 16), quint8(payload >> 24) };
    return frame(kSdoRequestBase + node, bytes, 8);
}

CanMessage sdoAbortFrame(quint8 node, quint16 index, quint8 subIndex, quint32 code)
{
    return sdoFrame(node, 0x80, index, subIndex, code);
}

quint32 le32(const CanMessage &f, int at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i) {
        const int pos = at + i;
        v = (v << 8) | ((pos < f.length && pos < 8) ? f.data[pos] : 0u);
    }
    return v;
}

bool isPdoId(quint32 id)
{
    return id >= 0x181 && id <= 0x57F;
}

SdoStep SdoStep::done(quint8 result)
{
    SdoStep s;
    s.finish = true;
    s.result = result;
    return s;
}

SdoStep SdoStep::sendAndWait(const CanMessage &f)
{
    SdoStep s;
    s.send = true;
    s.frame = f;
    s.restartTimer = true;
    return s;
}

SdoStep SdoStep::abortAndFinish(const CanMessage &abort, quint8 result)
{
    SdoStep s = done(result);
    s.send = true;
    s.frame = abort;
    return s;
}

bool SdoTransfer::fromServer(const CanMessage &reply) const
{
    return !reply.extended && !reply.remote && reply.id == kSdoReplyBase + m_node;
}

bool SdoTransfer::answersRequest(const CanMessage &reply) const
{
    // A reply too short to carry the index cannot be the answer to this request.
    return fromServer(reply) && reply.length >= 4 && reply.data[1] == quint8(m_index)
        && reply.data[2] == quint8(m_index >> 8) && reply.data[3] == m_subIndex;
}

CanMessage SdoTransfer::request(quint8 command, quint32 payload) const
{
    return sdoFrame(m_node, command, m_index, m_subIndex, payload);
}

SdoStep SdoTransfer::timeoutAbort() const
{
    return SdoStep::abortAndFinish(sdoAbortFrame(m_node, m_index, m_subIndex, kAbortTimedOut), SdoTimedOut);
}

// ---- expedited download

SdoExpeditedDownload::SdoExpeditedDownload(
    quint8 node, quint16 index, quint8 subIndex, quint8 size, qint32 value, quint32 &abortCode)
    : SdoTransfer(node, index, subIndex), m_size(size), m_value(value), m_abortCode(abortCode)
{ }

SdoStep SdoExpeditedDownload::start()
{
    if (m_size < 1 || m_size > 4)
        return SdoStep::done(SdoBadSize);
    const quint8 command = quint8(0x23 | ((4 - m_size) << 2));
    const quint32 mask = m_size == 4 ? 0xFFFFFFFFu : ((1u << (8 * m_size)) - 1);
    return SdoStep::sendAndWait(request(command, quint32(m_value) & mask));
}

SdoStep SdoExpeditedDownload::onFrame(const CanMessage &reply)
{
    if (!answersRequest(reply))
        return SdoStep::waitMore();
    switch (reply.data[0]) {
    case 0x60:
        m_abortCode = 0;
        return SdoStep::done(SdoDone);
    case 0x80:
        m_abortCode = le32(reply, 4);
        return SdoStep::done(SdoDownloadAborted);
    default:
        m_abortCode = 0;
        return SdoStep::done(SdoError);
    }
}

// ---- segmented download

SdoSegmentedDownload::SdoSegmentedDownload(
    quint8 node, quint16 index, quint8 subIndex, quint32 size, const QByteArray &data, quint32 &abortCode)
    : SdoTransfer(node, index, subIndex), m_size(size), m_data(data), m_abortCode(abortCode)
{ }

SdoStep SdoSegmentedDownload::start()
{
    return SdoStep::sendAndWait(request(0x21, m_size));
}

SdoStep SdoSegmentedDownload::nextSegment()
{
    quint8 bytes[8] = { quint8(m_toggle << 4) };
    if (m_remaining <= 7)
        bytes[0] |= quint8(((7 - m_remaining) << 1) | 1);
    for (int i = 1; i < 8 && m_remaining > 0; ++i, ++m_offset, --m_remaining)
        bytes[i] = m_offset < quint32(m_data.size()) ? quint8(m_data.at(int(m_offset))) : 0;
    return SdoStep::sendAndWait(frame(kSdoRequestBase + m_node, bytes, 8));
}

SdoStep SdoSegmentedDownload::onFrame(const CanMessage &reply)
{
    if (!m_initiated) {
        if (!answersRequest(reply))
            return SdoStep::waitMore();
        if (reply.data[0] != 0x60) {
            const bool aborted = reply.data[0] == 0x80;
            m_abortCode = aborted ? le32(reply, 4) : 0;
            return SdoStep::done(aborted ? SdoDownloadAborted : SdoError);
        }
        m_abortCode = 0;
        m_initiated = true;
        m_remaining = m_size;
        return nextSegment();
    }
    if (!fromServer(reply))
        return SdoStep::waitMore();
    quint8 result = SdoError;
    if (reply.data[0] == 0x20 || reply.data[0] == 0x30) {
        result = (reply.data[0] >> 4 & 1) == m_toggle ? SdoDone : SdoError;
    } else if (reply.data[0] == 0x80) {
        m_abortCode = le32(reply, 4);
        result = SdoDownloadAborted;
    }
    if (m_remaining == 0 || result != SdoDone)
        return SdoStep::done(result);
    m_toggle ^= 1;
    return nextSegment();
}

SdoStep SdoSegmentedDownload::onTimeout()
{
    // The initiate phase ends without an abort frame.
    return m_initiated ? timeoutAbort() : SdoStep::done(SdoTimedOut);
}

// ---- upload

SdoUpload::SdoUpload(quint8 node, quint16 index, quint8 subIndex, quint32 &info)
    : SdoTransfer(node, index, subIndex), m_info(info)
{ }

SdoUpload SdoUpload::segmentsOnly(quint8 node, quint32 expectedSize, quint32 &info)
{
    SdoUpload u(node, 0, 0, info);
    u.m_segmented = true;
    u.m_abortOnTimeout = false;
    u.m_expected = expectedSize;
    return u;
}

SdoStep SdoUpload::start()
{
    return m_segmented ? requestSegment() : SdoStep::sendAndWait(request(0x40));
}

SdoStep SdoUpload::requestSegment()
{
    const quint8 bytes[8] = { quint8(0x60 | (m_toggle << 4)) };
    return SdoStep::sendAndWait(frame(kSdoRequestBase + m_node, bytes, 8));
}

SdoStep SdoUpload::onFrame(const CanMessage &reply)
{
    if (m_segmented)
        return onSegment(reply);
    if (!answersRequest(reply))
        return SdoStep::waitMore();
    const quint8 command = reply.data[0];
    switch (command) {
    case 0x4F:
    case 0x4B:
    case 0x47:
    case 0x43: {
        const int n = 4 - ((command >> 2) & 3);
        // The announced bytes must be in the frame; zero padding is not data.
        if (reply.length < 4 + n)
            return SdoStep::done(SdoError);
        const quint32 raw = le32(reply, 4);
        m_value = qint32(n == 4 ? raw : raw & ((1u << (8 * n)) - 1));
        m_info = quint32(n);
        return SdoStep::done(SdoDone);
    }
    case 0x41:
        m_segmented = true;
        m_expected = le32(reply, 4);
        return requestSegment();
    case 0x80:
        m_info = le32(reply, 4);
        return SdoStep::done(SdoUploadAborted);
    default:
        return SdoStep::done(SdoError);
    }
}

SdoStep SdoUpload::onSegment(const CanMessage &reply)
{
    if (!fromServer(reply))
        return SdoStep::waitMore();
    const quint8 command = reply.data[0];
    if (command == 0x80) {
        m_info = le32(reply, 4);
        return SdoStep::done(SdoUploadAborted);
    }
    // Only bytes the frame really carries are data.
    const int announced = 7 - ((command >> 1) & 7);
    const int count = std::max(0, std::min(announced, reply.length - 1));
    m_bytes.append(reinterpret_cast<const char *>(reply.data + 1), count);
    // A server that sends more than it announced is not followed any further.
    if (quint32(m_bytes.size()) > m_expected)
        return SdoStep::done(SdoError);
    const quint8 sentToggle = m_toggle;
    m_toggle ^= 1;
    if (!(command & 1)) {
        // A segment that brings nothing would let a faulty server keep us polling for ever.
        return count > 0 ? requestSegment() : SdoStep::done(SdoError);
    }
    const bool complete = quint32(m_bytes.size()) == m_expected && ((command >> 4) & 1) == sentToggle;
    if (complete)
        m_info = m_expected;
    return SdoStep::done(complete ? SdoDone : SdoError);
}

SdoStep SdoUpload::onTimeout()
{
    if (!m_segmented || m_abortOnTimeout)
        return timeoutAbort();
    return SdoStep::done(SdoTimedOut);
}

} // namespace canopen
