#pragma once

#include <QString>

// The maker's USB identifiers come from the build (CMake cache options, docs/ports.md).
namespace ch {
namespace usbids {

extern const char *const makerVid1;
extern const char *const makerVid2;
extern const char *const makerVid3;
// Nine consecutive product identifiers under maker VID 1 start here.
extern const quint16 makerFirstProduct;
constexpr int makerProductRun = 9;
// "VID_xxxx&PID_yyyy" of the two maker products that are whitelisted and blacklisted at once.
QString makerDeviceVid1();
QString makerDeviceVid3();

// Prefixes that keep a port out of the serial list, in the order they are searched.
QStringList serialExclusionPrefixes();

} // namespace usbids
} // namespace ch
