#pragma once

#include "canadapters_p.h"

namespace ch {
namespace platform {

// Where the CAN listing looks by default: the registry's USB enumeration on Windows, the USB
// devices under sysfs elsewhere.
QString defaultCanDeviceRoot();

// CAN adapters known to the operating system, grouped by device identifier in name order.
// A missing or unreadable source yields no records.
QList<CanAdapterRecord> listCanAdapters(const QString &root);

} // namespace platform
} // namespace ch
