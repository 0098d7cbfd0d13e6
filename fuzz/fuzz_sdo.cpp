// The SDO transfers as a handler drives them: any sequence of received frames, time-outs and
// refused sends ends a transfer with a known result, and what a transfer sends is a well-formed
// request to its node that carries the caller's bytes and nothing else.
#include "canopenprotocol_p.h"
#include "fuzzcheck.h"

#include <cstdint>
#include <vector>

using namespace canopen;

namespace {
// The input, read front to back so that seeds can be written by hand (fuzz/README.md); past
// its end every value is 0.
class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) { }
    bool atEnd() const { return m_at >= m_size; }
    quint8 byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    quint16 u16()
    {
        const quint16 low = byte();
        return quint16(low | (byte() << 8));
    }
    quint32 u32()
    {
        const quint32 low = u16();
        return low | (quint32(u16()) << 16);
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

struct Ids
{
    quint8 node;
    quint16 index;
    quint8 subIndex;
};

// Mostly the server's reply, often carrying the transfer's index, so that the search gets past
// the filters quickly; sometimes another node's frame, an extended or a remote frame.
CanMessage receivedFrame(Input &in, const Ids &ids)
{
    const quint8 shape = in.byte();
    quint8 bytes[8] = {};
    const int count = in.byte() % 9;
    for (int i = 0; i < count; ++i)
        bytes[i] = in.byte();
    if (shape & 0x04) {
        bytes[1] = quint8(ids.index);
        bytes[2] = quint8(ids.index >> 8);
        bytes[3] = ids.subIndex;
    }
    CanMessage f;
    f.id = (shape & 0x03) ? kSdoReplyBase + ids.node : in.u32() & 0x1FFFFFFF;
    f.extended = (shape & 0x18) == 0x18;
    f.remote = (shape & 0xE0) == 0xE0;
    f.setData(bytes, count);
    return f;
}

void checkStep(const SdoStep &step, const Ids &ids)
{
    if (step.send) {
        FUZZ_CHECK(step.frame.id == kSdoRequestBase + ids.node && !step.frame.extended && !step.frame.remote
            && step.frame.length == 8);
    }
    if (step.finish) {
        FUZZ_CHECK(step.result >= SdoDone && step.result <= SdoTimedOut);
        // The only frame sent on the way out is an abort.
        FUZZ_CHECK(!step.send || step.frame.data[0] == 0x80);
    } else {
        FUZZ_CHECK(step.send == step.restartTimer);
    }
}

// Runs `transfer` to its end or to the end of the input; returns the requests it sent (the
// closing abort not included) and the final step.
SdoStep run(SdoTransfer &transfer, Input &in, const Ids &ids, std::vector<CanMessage> &requests)
{
    SdoStep step = transfer.start();
    for (;;) {
        checkStep(step, ids);
        if (step.send && !step.finish)
            requests.push_back(step.frame);
        if (step.finish || in.atEnd())
            return step;
        const bool justSent = step.send;
        switch (in.byte() % 16) {
        case 0:
            step = transfer.onTimeout();
            break;
        case 1:
            step = justSent ? transfer.onRefused() : transfer.onFrame(receivedFrame(in, ids));
            break;
        default:
            step = transfer.onFrame(receivedFrame(in, ids));
        }
    }
}

void expeditedDownload(Input &in, const Ids &ids)
{
    const quint8 size = in.byte();
    const auto value = qint32(in.u32());
    quint32 abortCode = 0xDEADBEEF;
    SdoExpeditedDownload transfer(ids.node, ids.index, ids.subIndex, size, value, abortCode);
    std::vector<CanMessage> requests;
    const SdoStep last = run(transfer, in, ids, requests);
    if (size < 1 || size > 4) {
        FUZZ_CHECK(last.finish && last.result == SdoBadSize && requests.empty());
        return;
    }
    FUZZ_CHECK(requests.size() == 1);
    const CanMessage &r = requests.front();
    FUZZ_CHECK(r.data[0] == quint8(0x23 | ((4 - size) << 2)));
    for (int i = 4; i < 8; ++i)
        FUZZ_CHECK(r.data[i] == (i - 4 < size ? quint8(quint32(value) >> (8 * (i - 4))) : 0));
    if (last.finish && last.result == SdoDone)
        FUZZ_CHECK(abortCode == 0);
}

void segmentedDownload(Input &in, const Ids &ids)
{
    // The announced size may differ from the bytes given: missing bytes go out as 0.
    const quint32 size = in.byte() % 65;
    QByteArray data;
    for (int i = in.byte() % 65; i > 0; --i)
        data.append(char(in.byte()));
    quint32 abortCode = 0;
    SdoSegmentedDownload transfer(ids.node, ids.index, ids.subIndex, size, data, abortCode);
    std::vector<CanMessage> requests;
    const SdoStep last = run(transfer, in, ids, requests);

    FUZZ_CHECK(!requests.empty() && requests[0].data[0] == 0x21 && le32(requests[0], 4) == size);
    QByteArray sent;
    for (size_t i = 1; i < requests.size(); ++i) {
        const quint8 command = requests[i].data[0];
        FUZZ_CHECK(((command >> 4) & 1) == ((i - 1) & 1)); // toggle alternates from 0
        FUZZ_CHECK((command & 0xE0) == 0);
        const bool lastSegment = command & 1;
        FUZZ_CHECK(!lastSegment || i + 1 == requests.size());
        const int unused = lastSegment ? (command >> 1) & 7 : 0;
        sent.append(reinterpret_cast<const char *>(requests[i].data + 1), 7 - unused);
    }
    FUZZ_CHECK(quint32(sent.size()) <= size);
    for (int i = 0; i < sent.size(); ++i)
        FUZZ_CHECK(sent.at(i) == (i < data.size() ? data.at(i) : '\0'));
    if (last.finish && last.result == SdoDone)
        FUZZ_CHECK(quint32(sent.size()) == size && (requests.back().data[0] & 1));
}

void upload(Input &in, const Ids &ids, bool segmentsOnly)
{
    quint32 info = 0;
    const quint32 expected = in.u16() % 257;
    SdoUpload transfer = segmentsOnly ? SdoUpload::segmentsOnly(ids.node, expected, info)
                                      : SdoUpload(ids.node, ids.index, ids.subIndex, info);
    std::vector<CanMessage> requests;
    const SdoStep last = run(transfer, in, ids, requests);

    size_t first = 0;
    if (!segmentsOnly) {
        FUZZ_CHECK(!requests.empty() && requests[0].data[0] == 0x40);
        first = 1;
    }
    for (size_t i = first; i < requests.size(); ++i)
        FUZZ_CHECK(requests[i].data[0] == quint8(0x60 | (((i - first) & 1) << 4)));
    if (!(last.finish && last.result == SdoDone))
        return;
    if (transfer.segmented()) {
        FUZZ_CHECK(quint32(transfer.bytes().size()) == info);
    } else {
        FUZZ_CHECK(info >= 1 && info <= 4);
        FUZZ_CHECK(info == 4 || (quint32(transfer.value()) >> (8 * info)) == 0);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in(data, size);
    const int kind = in.byte() % 4;
    Ids ids;
    ids.node = quint8(1 + in.byte() % 127);
    ids.index = in.u16();
    ids.subIndex = in.byte();
    switch (kind) {
    case 0:
        expeditedDownload(in, ids);
        break;
    case 1:
        segmentedDownload(in, ids);
        break;
    default:
        upload(in, ids, kind == 3);
    }
    return 0;
}
