#include "serialport.h"

SerialPort::SerialPort(QObject *parent) : QSerialPort(parent)
{ }

SerialPort::~SerialPort() = default;
