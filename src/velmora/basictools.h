#pragma once

#include "velmora_global.h"

#include <QString>
#include <type_traits>

// Text helpers shared by the host and the communication library.
class VELMORA_EXPORT BasicTools
{
public:
    // Upper-case hexadecimal digits, zero-padded to `digits`, preceded by `prefix`.
    static QString iToHex(quint8 value, int digits, const QString &prefix);
    static QString iToHex(quint16 value, int digits, const QString &prefix);
    static QString iToHex(quint32 value, int digits, const QString &prefix);
    static QString iToHex(quint64 value, int digits, const QString &prefix);
    // Any other integer (int handles, char bytes, size_t): its two's complement at its own width.
    template<typename T, typename = std::enable_if_t<std::is_integral<T>::value>>
    static QString iToHex(T value, int digits, const QString &prefix)
    {
        return iToHex(static_cast<quint64>(static_cast<std::make_unsigned_t<T>>(value)), digits, prefix);
    }
    // Decimal text, zero-padded to `digits`, preceded by `prefix`.
    static QString iToUint(quint32 value, int digits, const QString &prefix);
    // "1st", "2nd", "3rd", "4th", "11th", "21st", ...
    static QString itoOrdinal(int number);

    // Identifies a module from the 8-character module-and-firmware text a module answers to a
    // type-0 version query: four digits of the module type, "V", one major and two minor
    // version digits (for example "1161V207"); older modules answer three type digits, "v",
    // and their firmware version as four characters (for example "016v1.05"). `name` receives
    // the catalogue name of the module. The result is "<name> firmware <major>.<minor>" (minor
    // with two digits), taken from bits 15-8 (major) and 7-0 (minor) of `version`, or from the
    // text's digits when `version` is 0; an empty text (and an empty `name`) when the module
    // is not catalogued or the text is malformed. Catalogue: see moduleName().
    static QString matchFirmwareVersion(QString &name, const QString &moduleAndFirmware, qint32 version);

    // The catalogue behind matchFirmwareVersion: module type digits (four, or three for the
    // older modules) and module name.
    static QString moduleName(const QString &typeDigits);
};
