// The ZAPL reply parse: the 9-byte serial frame, the 16-byte CAN record and the decode of the
// data bytes of a received CAN frame.
#include "canzaplcommand.h"
#include "fuzzcheck.h"
#include "zaplcommand.h"

#include <QLoggingCategory>

#include <cstdint>

namespace {
quint32 msbFirst(const uint8_t *b)
{
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

void checkSerial(const QByteArray &bytes, bool skipChecksumTest)
{
    ZAPLReplyCommand reply;
    const bool parsed = reply.update(bytes, skipChecksumTest);
    FUZZ_CHECK(parsed == (bytes.size() >= 9));
    FUZZ_CHECK(reply.isValid() == parsed);
    if (!parsed)
        return;
    const auto *b = reinterpret_cast<const uint8_t *>(bytes.constData());
    FUZZ_CHECK(reply.toReply() == bytes.left(9));
    FUZZ_CHECK(reply.replyAddress() == b[0] && reply.moduleAddress() == b[1] && reply.status() == b[2]
        && reply.command() == b[3] && quint32(reply.value()) == msbFirst(b + 4));
    quint8 sum = 0;
    for (int i = 0; i < 8; ++i)
        sum = quint8(sum + b[i]);
    FUZZ_CHECK(reply.isChecksumValid() == (skipChecksumTest || sum == b[8]));
    FUZZ_CHECK(!reply.toString().isEmpty() && !reply.toHex().isEmpty());
}

void checkRecord(const uint8_t *record)
{
    const CANZAPLReplyCommand reply(reinterpret_cast<const char *>(record));
    FUZZ_CHECK(reply.isValid());
    FUZZ_CHECK(reply.id() == msbFirst(record) && reply.length() == record[4]);
    FUZZ_CHECK(reply.data() == QByteArray(reinterpret_cast<const char *>(record + 8), 8));
    FUZZ_CHECK(!reply.toString().isEmpty() && !reply.toHex().isEmpty());
}

// `count` as a receive path may hand it: negative, or above the 8 bytes a frame can carry.
void checkDirect(const uint8_t *data, int count)
{
    CANZAPLReplyCommand reply;
    reply.updateFromData(data, count);
    const int used = qBound(0, count, 8);
    QByteArray expected(reinterpret_cast<const char *>(data), used);
    expected.append(QByteArray(8 - used, '\0'));
    FUZZ_CHECK(reply.isValid() && reply.data() == expected);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // An invalid checksum is logged; thousands of lines a second would only slow the search.
    QLoggingCategory::setFilterRules(QStringLiteral("commandhandler*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    checkSerial(bytes, false);
    checkSerial(bytes, true);
    if (size >= size_t(CANZAPLReplyCommand::RecordSize))
        checkRecord(data);
    if (size >= 1) {
        // The first byte says how many of the rest the caller claims to hand over.
        const int claimed = data[0] < 0x80 ? int(data[0]) : int(data[0]) - 0x100;
        checkDirect(data + 1, qMin(claimed, int(size) - 1));
    }
    return 0;
}
