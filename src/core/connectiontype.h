#pragma once

/// \file
/// The connection kinds.

#include "commandhandler_global.h"

#include <QObject>

/// The connection kinds of both handler families; signals such as
/// CommandHandlerInterface::handleDetachedDevice() carry them as plain int.
namespace ConnectionType {
Q_NAMESPACE_EXPORT(COMMANDHANDLER_EXPORT)
/// The kinds; Q_FLAG_NS makes their names readable by reflection.
enum e {
    Undefined = 0, ///< Not set.
    USB = 1, ///< A USB virtual COM port (SerialCommandHandler, USB reading).
    Serial = 2, ///< A serial line (SerialCommandHandler).
    CAN_ESD = 3, ///< CANEsdCommandHandler.
    CAN_Ixxat = 4, ///< CANIxxatCommandHandler.
    CAN_Kvaser = 5, ///< CANKvaserCommandHandler.
    CAN_PEAK = 6, ///< CANPeakCommandHandler.
    CAN_SLCAN = 7, ///< CANSlCanCommandHandler.
    CAN_Socket = 8, ///< CANSocketCommandHandler on Qt's "socketcan" plugin.
    CAN_OTHER = 9, ///< CANSocketCommandHandler on any other Qt CAN bus plugin.
    SPI_FT4222H = 10, ///< FT4222HCommandHandler.
    CANopen_ESD = 11, ///< CANopenEsdCommandHandler.
    CANopen_Kvaser = 12, ///< CANopenKvaserCommandHandler.
    CANopen_Peak = 13, ///< CANopenPeakCommandHandler.
    CANopen_Ixxat = 14, ///< CANopenIxxatCommandHandler.
    CANopen_SLCAN = 15, ///< CANopenSlCanCommandHandler.
    CANopen_Virtual = 16, ///< Reserved for a simulated CANopen master; no library handler uses it.
    CANopen_Socket = 17, ///< CANopenSocketCommandHandler.
    Virtual = 18 ///< VirtualCommandHandler.
};
Q_FLAG_NS(e)
} // namespace ConnectionType
