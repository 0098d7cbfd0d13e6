#pragma once

#include "commandhandler_global.h"

#include <QSerialPort>

// The serial handler's port; a type of its own so hosts can find it among the handler's children.
class COMMANDHANDLER_EXPORT SerialPort : public QSerialPort
{
    Q_OBJECT
public:
    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;
};
