#pragma once

// The text of one ZAPL request, parsed without I/O: what "zapl send" takes from an argument or
// a line of standard input. Kept apart so that a fuzz target builds it with the library alone.

#include <QList>
#include <QString>
#include <QtGlobal>

namespace zapl {

struct RequestFields
{
    quint8 command = 0;
    quint16 type = 0; // above 255 the bits 8-11 travel as the extended type
    quint8 motor = 0;
    qint32 value = 0;
    int count = 0; // fields given, 1..4
};

// "COMMAND [TYPE [MOTOR [VALUE]]]": COMMAND a mnemonic (case-sensitive) or 0..255, TYPE 0..4095,
// MOTOR 0..255, VALUE -2147483648..4294967295; numbers decimal or 0x-hexadecimal; fields apart
// by blanks; missing fields are 0. False with *error naming the offending field otherwise.
bool parseRequestText(const QString &line, RequestFields *fields, QString *error);

// A whole number, decimal or 0x-hexadecimal (a minus sign in front of either), within
// [min, max]; false with *error quoting the text otherwise.
bool parseNumber(const QString &text, qint64 min, qint64 max, qint64 *value, QString *error);

// "1,3,7": addresses within [min, 255], each once, in the order given; false with *error
// quoting the first that is not one.
bool parseAddresses(const QString &text, qint64 min, QList<quint8> *addresses, QString *error);

} // namespace zapl
