#pragma once

#include <QString>

namespace ch {
namespace platform {
// Sort key of a serial port name in the port map: "COM12" -> "012" on Windows, the natural
// order of device names elsewhere.
QString portSortKey(const QString &portName);

// Windows rule: drop the first three characters ("COM") and left-pad with '0' to three.
QString windowsPortKey(const QString &portName);
// Every run of digits left-padded to ten, so "ttyUSB2" sorts before "ttyUSB10".
QString naturalPortKey(const QString &portName);

} // namespace platform
} // namespace ch
