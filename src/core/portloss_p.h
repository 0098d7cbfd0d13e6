#pragma once

#include <QSerialPort>

namespace ch {
// Whether a port error means the device has gone (unplugged, line hung up) rather than that
// one call failed: the port stays unusable until it is opened again. A hung-up line shows as
// a read that finds the port readable but gets nothing (ReadError) or as EIO (ResourceError),
// depending on the driver; a removed device fails writes too.
inline bool isPortLost(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError || error == QSerialPort::WriteError;
}

// The fault name under which a handler reports a lost port, mapped to the port's name.
constexpr char kPortLostFault[] = "Port Lost";
} // namespace ch
