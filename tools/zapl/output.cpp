#include "zapl.h"

#include <QVariant>

namespace zapl {
namespace {
QString jsonString(const QString &text)
{
    QString s = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            s += QLatin1String("\\\"");
            break;
        case '\\':
            s += QLatin1String("\\\\");
            break;
        case '\n':
            s += QLatin1String("\\n");
            break;
        case '\r':
            s += QLatin1String("\\r");
            break;
        case '\t':
            s += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                s += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                s += c;
        }
    }
    return s + QLatin1Char('"');
}

bool isNumber(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

QString json(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("null");
    if (value.userType() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (isNumber(value))
        return value.toString();
    return jsonString(value.toString());
}

QString csv(const QVariant &value)
{
    if (!value.isValid())
        return QString();
    QString text = value.toString();
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}
} // namespace

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

Records::Records(Format format, const QStringList &keys) : m_format(format), m_keys(keys)
{
    if (m_format == Format::Csv)
        out() << m_keys.join(QLatin1Char(',')) << "\n" << Qt::flush;
}

void Records::add(const QVariantList &values, const QString &text)
{
    Q_ASSERT(values.size() == m_keys.size());
    QStringList fields;
    switch (m_format) {
    case Format::Text:
        if (text.isNull())
            return;
        out() << text << "\n";
        break;
    case Format::Json:
        for (int i = 0; i < m_keys.size(); ++i)
            fields << jsonString(m_keys.at(i)) + QLatin1Char(':') + json(values.value(i));
        out() << "{" << fields.join(QLatin1Char(',')) << "}\n";
        break;
    case Format::Csv:
        for (const QVariant &value : values)
            fields << csv(value);
        out() << fields.join(QLatin1Char(',')) << "\n";
        break;
    }
    // A reader at the other end of a pipe sees each record when it is made.
    out().flush();
}

} // namespace zapl
