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
        { QStringLiteral("016"), QStringLiteral("VX-016 legacy stepper") },
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
    // '9' stands for a digit, anything else for itself.
    const bool older = moduleAndFirmware.size() == 8 && moduleAndFirmware.at(3) == QLatin1Char('v');
    const QLatin1String shape = older ? QLatin1String("999v9.99") : QLatin1String("9999V999");
    if (moduleAndFirmware.size() != shape.size())
        return QString();
    for (int i = 0; i < shape.size(); ++i) {
        const QChar c = moduleAndFirmware.at(i);
        const bool fits
            = shape.at(i) == QLatin1Char('9') ? (c >= QLatin1Char('0') && c <= QLatin1Char('9')) : c == shape.at(i);
        if (!fits)
            return QString();
    }
    const QString module = moduleName(moduleAndFirmware.left(older ? 3 : 4));
    if (module.isEmpty())
        return QString();
    name = module;
    int major = (version >> 8) & 0xFF;
    int minor = version & 0xFF;
    if (version == 0) {
        major = moduleAndFirmware.mid(older ? 4 : 5, 1).toInt();
        minor = moduleAndFirmware.mid(6, 2).toInt();
    }
    return QStringLiteral("%1 firmware %2.%3").arg(module).arg(major).arg(minor, 2, 10, QLatin1Char('0'));
}
