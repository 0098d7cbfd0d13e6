#include "requesttext.h"

#include "mnemonics.h"

#include <QStringList>

namespace zapl {

namespace {
bool onlyDigits(const QString &text, bool hex)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool decimal = u >= '0' && u <= '9';
        const bool letter = (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (!decimal && !(hex && letter))
            return false;
    }
    return !text.isEmpty();
}
} // namespace

bool parseNumber(const QString &text, qint64 min, qint64 max, qint64 *value, QString *error)
{
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QString magnitude = negative ? text.mid(1) : text;
    const bool hex = magnitude.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? magnitude.mid(2) : magnitude;
    // Digits only: toULongLong() would also take blanks and signs of its own.
    bool ok = onlyDigits(digits, hex);
    const quint64 v = ok ? digits.toULongLong(&ok, hex ? 16 : 10) : 0;
    // Far beyond every range used here, and clear of overflow when negated.
    ok = ok && v <= (quint64(1) << 62);
    if (!ok) {
        *error = QStringLiteral("'%1' is not a number").arg(text);
        return false;
    }
    const qint64 signedValue = negative ? -qint64(v) : qint64(v);
    if (signedValue < min || signedValue > max) {
        *error = QStringLiteral("'%1' is out of range %2..%3").arg(text).arg(min).arg(max);
        return false;
    }
    *value = signedValue;
    return true;
}

namespace {
bool parseField(const QString &field, const char *what, qint64 min, qint64 max, qint64 *value, QString *error)
{
    QString why;
    if (parseNumber(field, min, max, value, &why))
        return true;
    *error = QStringLiteral("%1: %2").arg(QLatin1String(what), why);
    return false;
}
} // namespace

bool parseRequestText(const QString &line, RequestFields *fields, QString *error)
{
    const QStringList parts = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.size() > 4) {
        *error = QStringLiteral("malformed request '%1' (expected: COMMAND [TYPE [MOTOR [VALUE]]])").arg(line);
        return false;
    }
    qint64 command = ZAPLMnemonics::number(parts.at(0));
    if (command < 0) {
        const QChar first = parts.at(0).at(0);
        if (!first.isDigit() && first != QLatin1Char('-')) {
            *error = QStringLiteral("unknown mnemonic '%1' (see zapl mnemonics)").arg(parts.at(0));
            return false;
        }
        if (!parseField(parts.at(0), "command", 0, 255, &command, error))
            return false;
    }
    qint64 type = 0;
    qint64 motor = 0;
    qint64 value = 0;
    if ((parts.size() > 1 && !parseField(parts.at(1), "type", 0, 0xFFF, &type, error))
        || (parts.size() > 2 && !parseField(parts.at(2), "motor", 0, 255, &motor, error))
        || (parts.size() > 3 && !parseField(parts.at(3), "value", -2147483648LL, 4294967295LL, &value, error)))
        return false;
    fields->command = quint8(command);
    fields->type = quint16(type);
    fields->motor = quint8(motor);
    fields->value = qint32(quint32(value));
    fields->count = int(parts.size());
    return true;
}

bool parseAddresses(const QString &text, qint64 min, QList<quint8> *addresses, QString *error)
{
    addresses->clear();
    for (const QString &item : text.split(QLatin1Char(','))) {
        qint64 a = 0;
        if (!parseNumber(item.trimmed(), min, 255, &a, error))
            return false;
        if (!addresses->contains(quint8(a)))
            addresses->append(quint8(a));
    }
    return true;
}

} // namespace zapl
