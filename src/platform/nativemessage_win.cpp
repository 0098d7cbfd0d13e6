// Nothing to run: only proves at build time that the portable records match the Windows ones.
#include "nativemessage.h"

#include <qt_windows.h>

#include <cstddef>
#include <dbt.h>

static_assert(sizeof(ch::NativeMessage) == sizeof(MSG), "NativeMessage must match MSG");
static_assert(offsetof(ch::NativeMessage, message) == offsetof(MSG, message), "MSG.message");
static_assert(offsetof(ch::NativeMessage, wParam) == offsetof(MSG, wParam), "MSG.wParam");
static_assert(offsetof(ch::NativeMessage, lParam) == offsetof(MSG, lParam), "MSG.lParam");
static_assert(sizeof(ch::DeviceBroadcastHeader) == sizeof(DEV_BROADCAST_HDR), "DEV_BROADCAST_HDR");
static_assert(offsetof(ch::DeviceBroadcastHeader, deviceType) == offsetof(DEV_BROADCAST_HDR, dbch_devicetype),
    "DEV_BROADCAST_HDR.dbch_devicetype");
static_assert(
    ch::WmDeviceChange == WM_DEVICECHANGE && ch::DbtDevNodesChanged == DBT_DEVNODES_CHANGED, "device-change constants");
