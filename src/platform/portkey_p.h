#pragma once

#include <QString>

namespace ch {
namespace platform {
// Sort key of a serial port name in the port map: "COM12" -> "012" on Windows, the natural
// order of device names elsewhere.
QString portSortKey(const QString &portName);
} // namespace platform
} // namespace ch
