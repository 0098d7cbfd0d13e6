#include "basictools.h"

#include <QHash>

namespace {
QString hexText(quint64 value, int digits, const QString &prefix)
{
    return prefix + QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

// Invented module types for the stand-in; a host with the real sibling library brings its own.
const QHash<QString, QString> &catalogue()
{
    static const QHash<QString, QString> names {
        { QStringLiteral("1161"), QStringLiteral("VX-1161 single-axis stepper") },
        { QStringLiteral("1240"), QStringLiteral("VX-1240 servo drive") },
        { QStringLiteral("3110"), QStringLiteral("VX-3110 three-axis controller") },
        { QStringLiteral("6110"), QStringLiteral("VX-6110 six-axis controller") },
        { QStringLiteral("0042"), QStringLiteral("VX-EVAL evaluation board") },
    };
    return names;
}
} // namespace

QString BasicTools::iToHex(quint8 value, int digits, const QString &prefix)
{
    return hexText(value, digits, prefix);
}
QString BasicTools::iToHex(quint16 value, int digits, const QString &prefix)
{
    return hexText(value, digits, prefix);
}
QString BasicTools::iToHex(quint32 value, int digits, const QString &prefix)
{
    return hexText(value, digits, prefix);
}
QString BasicTools::iToHex(quint64 value, int digits, const QString &prefix)
{
    return hexText(value, digits, prefix);
}

QString BasicTools::iToUint(quint32 value, int digits, const QString &prefix)
{
    return prefix + QString::number(value).rightJustified(digits, QLatin1Char('0'));
}

QString BasicTools::itoOrdinal(int number)
{
    const int lastTwo = qAbs(number) % 100;
    const int last = qAbs(number) % 10;
    const char *suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        if (last == 1)
            suffix = "st";
        else if (last == 2)
            suffix = "nd";
        else if (last == 3)
            suffix = "rd";
    }
    return QString::number(number) + QLatin1String(suffix);
}

QString BasicTools::moduleName(const QString &typeDigits)
{
    return catalogue().value(typeDigits);
}

QString BasicTools::matchFirmwareVersion(QString &name, const QString &moduleAndFirmware, qint32 version)
{
    name.clear();
    if (moduleAndFirmware.size() != 8 || moduleAndFirmware.at(4) != QLatin1Char('V'))
        return QString();
    for (int i : { 0, 1, 2, 3, 5, 6, 7 })
        if (moduleAndFirmware.at(i) < QLatin1Char('0') || moduleAndFirmware.at(i) > QLatin1Char('9'))
            return QString();
    const QString module = moduleName(moduleAndFirmware.left(4));
    if (module.isEmpty())
        return QString();
    name = module;
    int major = (version >> 8) & 0xFF;
    int minor = version & 0xFF;
    if (version == 0) {
        major = moduleAndFirmware.mid(5, 1).toInt();
        minor = moduleAndFirmware.mid(6, 2).toInt();
    }
    return QStringLiteral("%1 firmware %2.%3").arg(module).arg(major).arg(minor, 2, 10, QLatin1Char('0'));
}
