// The SPI byte-stream splitter: the packets and dropped bytes do not depend on how the stream
// was cut into reads, and at most six bytes are ever left waiting.
#include "ft4222hpacketsplitter_p.h"
#include "fuzzcheck.h"

#include <cstdint>
#include <vector>

namespace {
struct Outcome
{
    std::vector<FT4222HPacketSplitter::Packet> packets;
    std::vector<qint8> dropped;
    int left = 0;
};

bool samePackets(
    const std::vector<FT4222HPacketSplitter::Packet> &a, const std::vector<FT4222HPacketSplitter::Packet> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].sync != b[i].sync || a[i].id != b[i].id || a[i].timeStamp != b[i].timeStamp
            || a[i].value != b[i].value)
            return false;
    }
    return true;
}

Outcome feed(const uint8_t *data, int size, int chunk)
{
    FT4222HPacketSplitter splitter;
    Outcome out;
    for (int at = 0; at < size; at += chunk) {
        splitter.append(data + at, qMin(chunk, size - at));
        splitter.split([&](const FT4222HPacketSplitter::Packet &p) { out.packets.push_back(p); },
            [&](qint8 byte, int buffered) {
                FUZZ_CHECK(buffered >= FT4222HPacketSplitter::kPacketLength);
                out.dropped.push_back(byte);
            });
        FUZZ_CHECK(splitter.size() < FT4222HPacketSplitter::kPacketLength);
    }
    out.left = splitter.size();
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int chunk = 1 + data[0] % 16;
    const uint8_t *stream = data + 1;
    const int length = int(size) - 1;

    const Outcome whole = feed(stream, length, qMax(length, 1));
    // Every byte is accounted for: in a packet, dropped, or still waiting.
    FUZZ_CHECK(int(whole.packets.size()) * FT4222HPacketSplitter::kPacketLength + int(whole.dropped.size()) + whole.left
        == length);
    for (const auto &p : whole.packets)
        FUZZ_CHECK(p.sync == FT4222HPacketSplitter::kSync);
    for (qint8 byte : whole.dropped)
        FUZZ_CHECK(quint8(byte) != FT4222HPacketSplitter::kSync);

    for (int cut : { chunk, 1 }) {
        const Outcome pieces = feed(stream, length, cut);
        FUZZ_CHECK(samePackets(pieces.packets, whole.packets));
        FUZZ_CHECK(pieces.dropped == whole.dropped && pieces.left == whole.left);
    }
    return 0;
}
