#pragma once

#include "canmessage.h"

#include <QByteArray>
#include <QtGlobal>

// CANopen master protocol without I/O: frame builders and the SDO transfers as state machines
// that take received frames and time-outs and answer with the next step. The handlers drive
// them over one adapter; tests drive them frame by frame.
namespace canopen {

enum SdoResult : quint8 {
    SdoDone = 1,
    SdoBadSize = 2,
    SdoDownloadAborted = 3,
    SdoUploadAborted = 4,
    SdoError = 5,
    SdoTimedOut = 6,
};
enum LssResult : quint8 { LssMatched = 1, LssTimedOut = 6 };

constexpr quint32 kNmtId = 0x000;
constexpr quint32 kSyncId = 0x080;
constexpr quint32 kSdoRequestBase = 0x600;
constexpr quint32 kSdoReplyBase = 0x580;
constexpr quint32 kLssRequestId = 0x7E5;
constexpr quint32 kLssReplyId = 0x7E4;
constexpr quint32 kAbortTimedOut = 0x05040000;

CanMessage frame(quint32 id, const quint8 *bytes, int length);
CanMessage nmtFrame(quint8 specifier, quint8 node);
CanMessage syncFrame(int length);
// Byte 0 = cs, bytes 1..7 as given (missing ones 0).
CanMessage lssFrame(quint8 cs, std::initializer_list<quint8> rest);
CanMessage lssFrame32(quint8 cs, quint32 value, quint8 b5 = 0, quint8 b6 = 0, quint8 b7 = 0);
CanMessage sdoFrame(quint8 node, quint8 command, quint16 index, quint8 subIndex, quint32 payload);
CanMessage sdoAbortFrame(quint8 node, quint16 index, quint8 subIndex, quint32 code);
// Bytes at..at+3 low byte first; bytes beyond the frame's length count as 0.
quint32 le32(const CanMessage &frame, int at);
bool isPdoId(quint32 id);

// What a transfer wants next. `send` goes out first; then the transfer either finishes with
// `result` (a send failure is then ignored: it is the closing abort) or waits for a frame.
struct SdoStep
{
    bool send = false;
    CanMessage frame;
    bool finish = false;
    bool restartTimer = false;
    quint8 result = 0;

    static SdoStep waitMore() { return {}; }
    static SdoStep done(quint8 result);
    static SdoStep sendAndWait(const CanMessage &frame);
    static SdoStep abortAndFinish(const CanMessage &abort, quint8 result);
};

class SdoTransfer
{
public:
    virtual ~SdoTransfer() = default;
    virtual SdoStep start() = 0;
    // Any frame that reached the master during the wait; waitMore() when it is not the reply.
    virtual SdoStep onFrame(const CanMessage &reply) = 0;
    virtual SdoStep onTimeout() = 0;
    // The adapter refused the frame of the last step.
    SdoStep onRefused() { return SdoStep::done(SdoError); }

protected:
    SdoTransfer(quint8 node, quint16 index, quint8 subIndex) : m_node(node), m_index(index), m_subIndex(subIndex) { }
    bool fromServer(const CanMessage &reply) const;
    // From the server and carrying this transfer's index and sub-index.
    bool answersRequest(const CanMessage &reply) const;
    CanMessage request(quint8 command, quint32 payload = 0) const;
    SdoStep timeoutAbort() const;

    quint8 m_node;
    quint16 m_index;
    quint8 m_subIndex;
};

class SdoExpeditedDownload : public SdoTransfer
{
public:
    SdoExpeditedDownload(quint8 node, quint16 index, quint8 subIndex, quint8 size, qint32 value, quint32 &abortCode);
    SdoStep start() override;
    SdoStep onFrame(const CanMessage &reply) override;
    SdoStep onTimeout() override { return timeoutAbort(); }

private:
    quint8 m_size;
    qint32 m_value;
    quint32 &m_abortCode;
};

class SdoSegmentedDownload : public SdoTransfer
{
public:
    SdoSegmentedDownload(
        quint8 node, quint16 index, quint8 subIndex, quint32 size, const QByteArray &data, quint32 &abortCode);
    SdoStep start() override;
    SdoStep onFrame(const CanMessage &reply) override;
    SdoStep onTimeout() override;

private:
    SdoStep nextSegment();

    quint32 m_size;
    QByteArray m_data;
    quint32 &m_abortCode;
    bool m_initiated = false;
    quint8 m_toggle = 0;
    quint32 m_remaining = 0;
    quint32 m_offset = 0;
};

// Upload; with `segmentsOnly` it is the segment phase alone (SDOReadSegmented), which neither
// sends an initiate request nor an abort after a time-out.
class SdoUpload : public SdoTransfer
{
public:
    SdoUpload(quint8 node, quint16 index, quint8 subIndex, quint32 &info);
    static SdoUpload segmentsOnly(quint8 node, quint32 expectedSize, quint32 &info);
    SdoStep start() override;
    SdoStep onFrame(const CanMessage &reply) override;
    SdoStep onTimeout() override;

    bool segmented() const { return m_segmented; }
    const QByteArray &bytes() const { return m_bytes; }
    qint32 value() const { return m_value; }

private:
    SdoStep requestSegment();
    SdoStep onSegment(const CanMessage &reply);

    quint32 &m_info;
    bool m_segmented = false;
    bool m_abortOnTimeout = true;
    quint32 m_expected = 0;
    quint8 m_toggle = 0;
    QByteArray m_bytes;
    qint32 m_value = 0;
};

} // namespace canopen
