#include "usbidentifiers_p.h"

#include <QStringList>

#ifndef CH_MAKER_VID1
#error "CH_MAKER_VID1 and the other maker identifiers are set by src/CMakeLists.txt"
#endif

namespace {
constexpr bool isHex4(const char *text)
{
    for (int i = 0; i < 4; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return text[4] == '\0';
}
static_assert(isHex4(CH_MAKER_VID1) && isHex4(CH_MAKER_VID2) && isHex4(CH_MAKER_VID3),
    "maker vendor identifiers must be four hexadecimal digits");
static_assert(isHex4(CH_MAKER_FIRST_PID) && isHex4(CH_MAKER_PID_VID1) && isHex4(CH_MAKER_PID_VID3),
    "maker product identifiers must be four hexadecimal digits");

constexpr quint16 hex4(const char *text)
{
    quint16 v = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = text[i];
        const int d = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        v = static_cast<quint16>(v * 16 + d);
    }
    return v;
}

QString identifier(const char *vid, const char *pid)
{
    return QStringLiteral("VID_%1&PID_%2").arg(QString::fromLatin1(vid).toUpper(), QString::fromLatin1(pid).toUpper());
}
} // namespace

namespace ch {
namespace usbids {

const char *const makerVid1 = CH_MAKER_VID1;
const char *const makerVid2 = CH_MAKER_VID2;
const char *const makerVid3 = CH_MAKER_VID3;
const quint16 makerFirstProduct = hex4(CH_MAKER_FIRST_PID);
static_assert(hex4(CH_MAKER_FIRST_PID) <= 0xFFFF - (makerProductRun - 1), "the product run leaves 16 bits");

QString makerDeviceVid1()
{
    return identifier(CH_MAKER_VID1, CH_MAKER_PID_VID1);
}

QString makerDeviceVid3()
{
    return identifier(CH_MAKER_VID3, CH_MAKER_PID_VID3);
}

QStringList serialExclusionPrefixes()
{
    auto prefix = [](const char *vid) { return QStringLiteral("VID_%1&PID_").arg(QString::fromLatin1(vid).toUpper()); };
    return { prefix(makerVid2), prefix(makerVid1), QStringLiteral("VID_0AB4&PID_"), QStringLiteral("VID_0BFD&PID_"),
        QStringLiteral("VID_0C72&PID_") };
}

} // namespace usbids
} // namespace ch
