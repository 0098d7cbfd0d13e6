#pragma once

#include <QtGlobal>

// The records PeripheryManager::handleNativeEvent reads. On Windows the host forwards its MSG
// as it is; elsewhere a host (or a hot-plug bridge of its own) fills these, which share the layout
// of MSG and DEV_BROADCAST_HDR.
namespace ch {

struct NativeMessage
{
    void *hwnd = nullptr;
    quint32 message = 0;
    quintptr wParam = 0;
    qintptr lParam = 0; // on a device change, null or a DeviceBroadcastHeader*
    quint32 time = 0;
    qint32 ptX = 0;
    qint32 ptY = 0;
};

struct DeviceBroadcastHeader
{
    quint32 size = sizeof(DeviceBroadcastHeader);
    quint32 deviceType = 0;
    quint32 reserved = 0;
};

constexpr quint32 WmDeviceChange = 0x0219;
constexpr quintptr DbtDevNodesChanged = 0x0007;
constexpr quintptr DbtDeviceArrival = 0x8000;
constexpr quintptr DbtDeviceRemoveComplete = 0x8004;

} // namespace ch
