// The SLCAN receive parser: whatever arrives, in whatever pieces, gives the same events, and
// every frame it yields is a well-formed classic CAN frame.
#include "fuzzcheck.h"
#include "slcanparser_p.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {
struct Event
{
    SlcanLineParser::Event kind;
    CanMessage frame;
    bool operator==(const Event &o) const { return kind == o.kind && frame == o.frame; }
};

void checkFrame(const CanMessage &frame)
{
    FUZZ_CHECK(frame.length >= 0 && frame.length <= 8);
    for (int i = frame.length; i < 8; ++i)
        FUZZ_CHECK(frame.data[i] == 0);
    if (frame.remote) {
        for (quint8 byte : frame.data)
            FUZZ_CHECK(byte == 0);
    }
}

std::vector<Event> feed(const uint8_t *data, int size, int chunk, bool framesEnabled)
{
    SlcanLineParser parser;
    std::vector<Event> events;
    for (int at = 0; at < size; at += chunk) {
        parser.append(QByteArray(reinterpret_cast<const char *>(data + at), qMin(chunk, size - at)));
        for (;;) {
            CanMessage frame;
            const auto kind = parser.next(framesEnabled, frame);
            if (kind == SlcanLineParser::Event::None)
                break;
            if (kind == SlcanLineParser::Event::Frame) {
                FUZZ_CHECK(framesEnabled);
                checkFrame(frame);
            } else {
                frame = CanMessage();
            }
            events.push_back({ kind, frame });
        }
        // Waiting for the rest of a line never holds more than a line's worth.
        FUZZ_CHECK(parser.pending() <= SlcanLineParser::MaxLineLength);
    }
    return events;
}

std::vector<Event> withoutFrames(const std::vector<Event> &events)
{
    std::vector<Event> out;
    for (const Event &e : events) {
        if (e.kind != SlcanLineParser::Event::Frame)
            out.push_back(e);
    }
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    // The first byte picks the size of the pieces the rest arrives in.
    const int chunk = 1 + data[0] % 32;
    const uint8_t *stream = data + 1;
    const int length = int(size) - 1;

    const std::vector<Event> whole = feed(stream, length, qMax(length, 1), true);
    FUZZ_CHECK(feed(stream, length, chunk, true) == whole);
    FUZZ_CHECK(feed(stream, length, 1, true) == whole);
    // With frames switched off the lines are consumed all the same.
    FUZZ_CHECK(feed(stream, length, chunk, false) == withoutFrames(whole));

    // One line on its own, in a buffer of exactly its size, so a read past it is caught.
    std::vector<char> line(stream, stream + length);
    CanMessage frame;
    if (SlcanLineParser::parseLine(line.data(), length, frame))
        checkFrame(frame);
    return 0;
}
