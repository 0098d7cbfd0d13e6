// The conversions between each vendor library's frame record (Kvaser's identifier, data and
// length code, PEAK's message, esd's 16-byte record, IXXAT's message) and the library's frame:
// a decoder reads only the record it is given and yields a well-formed frame, and a frame
// encoded for a vendor decodes to itself.
#include "canrecords_p.h"
#include "fuzzcheck.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {
template<typename Record> Record recordFrom(const uint8_t *data, size_t size)
{
    Record record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, data, std::min(size, sizeof record));
    return record;
}

void checkFrame(const CanReceived &received, const uint8_t *data, int length)
{
    const CanMessage &f = received.frame;
    FUZZ_CHECK(f.length == length && length >= 0 && length <= 8);
    FUZZ_CHECK(length == 0 || std::memcmp(f.data, data, size_t(length)) == 0);
    for (int i = length; i < 8; ++i)
        FUZZ_CHECK(f.data[i] == 0);
}

// A well-formed frame made from the input: identifier within its width, length 0..8, no bytes
// beyond the length, none at all in a remote frame.
CanMessage wellFormed(const uint8_t *data, size_t size)
{
    uint8_t b[14] = {};
    std::memcpy(b, data, std::min(size, sizeof b));
    CanMessage f;
    f.extended = b[0] & 1;
    f.remote = b[0] & 2;
    const quint32 id = quint32(b[1]) | (quint32(b[2]) << 8) | (quint32(b[3]) << 16) | (quint32(b[4]) << 24);
    f.id = id & (f.extended ? 0x1FFFFFFFu : 0x7FFu);
    const int length = b[5] % 9;
    if (f.remote)
        f.length = length;
    else
        f.setData(b + 6, length);
    return f;
}

void checkRoundTrips(const CanMessage &f)
{
    CanReceived r;
    FUZZ_CHECK(canrecords::fromPeak(canrecords::toPeak(f), r) && r.frame == f && r.rawLength == f.length);
    r = canrecords::fromEsd(canrecords::toEsd(f));
    FUZZ_CHECK(r.frame == f && r.rawLength == f.length && r.hasRecord);
    r = CanReceived();
    FUZZ_CHECK(canrecords::fromIxxat(canrecords::toIxxat(f), r) && r.frame == f && r.rawLength == f.length);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8)
        return 0;
    // Kvaser: identifier and length code from the first 8 bytes, the rest is the data buffer,
    // copied so that its end is where a read past it is caught.
    qint32 id = 0;
    quint32 dlc = 0;
    std::memcpy(&id, data, 4);
    std::memcpy(&dlc, data + 4, 4);
    const std::vector<uint8_t> buffer(data + 8, data + size);
    const CanReceived kvaser = canrecords::fromKvaser(id, buffer.data(), buffer.size(), dlc);
    FUZZ_CHECK(kvaser.frame.id == quint32(id) && kvaser.rawLength == int(std::min(dlc, 64u)) && !kvaser.hasRecord);
    checkFrame(kvaser, buffer.data(), int(std::min<size_t>(buffer.size(), std::min(dlc, 8u))));

    const auto peak = recordFrom<PeakMessage>(data, size);
    CanReceived received;
    if (canrecords::fromPeak(peak, received)) {
        FUZZ_CHECK(!(peak.type & 0xC0) && received.frame.id == peak.id && received.rawLength == peak.length);
        FUZZ_CHECK(received.frame.remote == bool(peak.type & 1) && received.frame.extended == bool(peak.type & 2));
        checkFrame(received, peak.data, std::min<int>(peak.length, 8));
    } else {
        FUZZ_CHECK(peak.type & 0xC0);
    }

    const auto esd = recordFrom<EsdMessage>(data, size);
    received = canrecords::fromEsd(esd);
    FUZZ_CHECK(received.hasRecord && std::memcmp(received.record, &esd, sizeof esd) == 0);
    FUZZ_CHECK(received.frame.id == (quint32(esd.id) & ~0x20000000u)
        && received.frame.extended == bool(quint32(esd.id) & 0x20000000u));
    FUZZ_CHECK(received.frame.remote == bool(esd.len & 0x10) && received.rawLength == (esd.len & 0x0F));
    checkFrame(received, esd.data, std::min(esd.len & 0x0F, 8));

    const auto ixxat = recordFrom<vci::Message>(data, size);
    received = CanReceived();
    if (canrecords::fromIxxat(ixxat, received)) {
        FUZZ_CHECK(ixxat.type == 0 && received.frame.id == ixxat.id && received.rawLength == (ixxat.flags & 0x0F));
        FUZZ_CHECK(
            received.frame.remote == bool(ixxat.flags & 0x40) && received.frame.extended == bool(ixxat.flags & 0x80));
        checkFrame(received, ixxat.data, std::min(ixxat.flags & 0x0F, 8));
    } else {
        FUZZ_CHECK(ixxat.type != 0);
    }

    checkRoundTrips(wellFormed(data, size));
    return 0;
}
