// The request text of "zapl send": any line is either refused with a reason or gives fields
// within their ranges, and the fields written back as numbers read as the same request.
#include "fuzzcheck.h"
#include "requesttext.h"

#include <cstdint>

namespace {
void checkNumber(const QString &text, qint64 min, qint64 max)
{
    qint64 value = 0;
    QString error;
    if (!zapl::parseNumber(text, min, max, &value, &error)) {
        FUZZ_CHECK(!error.isEmpty());
        return;
    }
    FUZZ_CHECK(value >= min && value <= max);
    qint64 again = 0;
    FUZZ_CHECK(zapl::parseNumber(QString::number(value), min, max, &again, &error) && again == value);
    const QString hex = (value < 0 ? QStringLiteral("-0x") : QStringLiteral("0x")) + QString::number(qAbs(value), 16);
    FUZZ_CHECK(zapl::parseNumber(hex, min, max, &again, &error) && again == value);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 512)
        return 0;
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    zapl::RequestFields fields;
    QString error;
    if (!zapl::parseRequestText(line, &fields, &error)) {
        FUZZ_CHECK(!error.isEmpty());
    } else {
        FUZZ_CHECK(fields.count >= 1 && fields.count <= 4 && fields.type <= 0xFFF);
        const QString numbers
            = QStringLiteral("%1 %2 %3 %4").arg(fields.command).arg(fields.type).arg(fields.motor).arg(fields.value);
        zapl::RequestFields again;
        FUZZ_CHECK(zapl::parseRequestText(numbers, &again, &error));
        FUZZ_CHECK(again.command == fields.command && again.type == fields.type && again.motor == fields.motor
            && again.value == fields.value && again.count == 4);
    }
    // The same text as one number, against each range a request field has.
    checkNumber(line, 0, 255);
    checkNumber(line, 0, 0xFFF);
    checkNumber(line, -2147483648LL, 4294967295LL);
    return 0;
}
