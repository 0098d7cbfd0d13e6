#pragma once

/// \file
/// The native device-change records PeripheryManager::handleNativeEvent() reads.

#include <QtGlobal>

/// The records PeripheryManager::handleNativeEvent() reads. On Windows the host forwards its MSG
/// as it is; elsewhere a host (or a hot-plug bridge of its own) fills these, which share the layout
/// of MSG and DEV_BROADCAST_HDR.
namespace ch {

/// A native window message: the layout of Windows' MSG.
struct NativeMessage
{
    void *hwnd = nullptr; ///< Window; not read.
    quint32 message = 0; ///< Message identifier; WmDeviceChange is the one read.
    quintptr wParam = 0; ///< The event, such as DbtDevNodesChanged.
    qintptr lParam = 0; ///< On a device change, null or a DeviceBroadcastHeader*.
    quint32 time = 0; ///< Not read.
    qint32 ptX = 0; ///< Not read.
    qint32 ptY = 0; ///< Not read.
};

/// The header of a device-change record: the layout of Windows' DEV_BROADCAST_HDR.
struct DeviceBroadcastHeader
{
    quint32 size = sizeof(DeviceBroadcastHeader); ///< Size of the record; logged.
    quint32 deviceType = 0; ///< Device type; logged.
    quint32 reserved = 0; ///< Not read.
};

constexpr quint32 WmDeviceChange = 0x0219; ///< WM_DEVICECHANGE.
constexpr quintptr DbtDevNodesChanged = 0x0007; ///< DBT_DEVNODES_CHANGED: re-enumerate.
constexpr quintptr DbtDeviceArrival = 0x8000; ///< DBT_DEVICEARRIVAL: only logged.
constexpr quintptr DbtDeviceRemoveComplete = 0x8004; ///< DBT_DEVICEREMOVECOMPLETE: only logged.

} // namespace ch
