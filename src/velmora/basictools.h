#pragma once

#include "velmora_global.h"

#include <QString>

// Text helpers shared by the host and the communication library.
class VELMORA_EXPORT BasicTools
{
public:
    // Upper-case hexadecimal digits, zero-padded to `digits`, preceded by `prefix`.
    static QString iToHex(quint8 value, int digits, const QString &prefix);
    static QString iToHex(quint16 value, int digits, const QString &prefix);
    static QString iToHex(quint32 value, int digits, const QString &prefix);
    static QString iToHex(quint64 value, int digits, const QString &prefix);
    // Decimal text, zero-padded to `digits`, preceded by `prefix`.
    static QString iToUint(quint32 value, int digits, const QString &prefix);
    // "1st", "2nd", "3rd", "4th", "11th", "21st", ...
    static QString itoOrdinal(int number);

    // Identifies a module from the 8-character module-and-firmware text a module answers to a
    // type-0 version query: four digits of the module type, "V", and three version digits
    // (for example "1161V207"). `name` receives the catalogue name of the module. The
    // result is "<name> firmware <major>.<minor>" (minor with two digits) where the version value's bits 15-8 are the
    // major and bits 7-0 the minor number, or an empty text when the module is not catalogued
    // or the text is malformed.
    static QString matchFirmwareVersion(QString &name, const QString &moduleAndFirmware, qint32 version);

    // The catalogue behind matchFirmwareVersion: module type digits and module name.
    static QString moduleName(const QString &typeDigits);
};
