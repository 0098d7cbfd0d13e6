#pragma once

#include "commandhandler_global.h"

#include <QSerialPort>

/// The serial handler's port, a child of the handler made by its first openDevice(); a type of
/// its own so hosts can find it among the handler's children. Behaves as QSerialPort.
class COMMANDHANDLER_EXPORT SerialPort : public QSerialPort
{
    Q_OBJECT
public:
    /// A closed port.
    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;
};
