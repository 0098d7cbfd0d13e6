#include "chlog_p.h"

#include <QMetaObject>
#include <QObject>

Q_LOGGING_CATEGORY(chMain, "commandhandler")
Q_LOGGING_CATEGORY(chLow, "commandhandler.debLevel.low")
Q_LOGGING_CATEGORY(chXml, "commandhandler.xml")

namespace ch {
QString methodTag(const char *prettyFunction)
{
    QString sig = QString::fromLatin1(prettyFunction);
    // Cut the parameter list at the parenthesis that closes the name (skip "operator()").
    int paren = sig.indexOf(QLatin1Char('('));
    if (paren > 0 && sig.left(paren).endsWith(QLatin1String("operator")))
        paren = sig.indexOf(QLatin1Char('('), paren + 2);
    QString head = paren >= 0 ? sig.left(paren) : sig;
    // Drop the return type: the name is the last blank-separated word outside template brackets.
    int depth = 0;
    int start = 0;
    for (int i = 0; i < head.size(); ++i) {
        const QChar c = head.at(i);
        if (c == QLatin1Char('<'))
            ++depth;
        else if (c == QLatin1Char('>'))
            --depth;
        else if (depth == 0 && (c == QLatin1Char(' ') || c == QLatin1Char('*') || c == QLatin1Char('&')))
            start = i + 1;
    }
    return head.mid(start) + QLatin1String("()");
}

QString objectTag(const QObject *object, const char *prettyFunction)
{
    QString tag = methodTag(prettyFunction);
    const int colons = tag.lastIndexOf(QLatin1String("::"));
    if (!object || colons < 0)
        return tag;
    return QLatin1String(object->metaObject()->className()) + tag.mid(colons);
}
} // namespace ch
