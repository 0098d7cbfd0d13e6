#pragma once

#include "commandhandler_global.h"

#include <QObject>

// The connection kinds of both handler families; signals carry them as plain int.
namespace ConnectionType {
Q_NAMESPACE_EXPORT(COMMANDHANDLER_EXPORT)
enum e {
    Undefined = 0,
    USB = 1,
    Serial = 2,
    CAN_ESD = 3,
    CAN_Ixxat = 4,
    CAN_Kvaser = 5,
    CAN_PEAK = 6,
    CAN_SLCAN = 7,
    CAN_Socket = 8,
    CAN_OTHER = 9,
    SPI_FT4222H = 10,
    CANopen_ESD = 11,
    CANopen_Kvaser = 12,
    CANopen_Peak = 13,
    CANopen_Ixxat = 14,
    CANopen_SLCAN = 15,
    CANopen_Virtual = 16,
    CANopen_Socket = 17,
    Virtual = 18
};
Q_FLAG_NS(e)
} // namespace ConnectionType
