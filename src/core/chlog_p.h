#pragma once

#include <QDebug>
#include <QLoggingCategory>
#include <QString>

class QObject;

// Every line the library writes belongs to one of these, so that a host can switch the
// library's lines on or off ("commandhandler*") without touching its own.
Q_DECLARE_LOGGING_CATEGORY(chMain) // "commandhandler"
Q_DECLARE_LOGGING_CATEGORY(chLow) // "commandhandler.debLevel.low"
Q_DECLARE_LOGGING_CATEGORY(chXml) // "commandhandler.xml"

namespace ch {
// "Class::method()" from a compiler's pretty function signature.
QString methodTag(const char *prettyFunction);
// As methodTag(), but with the class of `object` as it is at run time: a line written by code
// that a base class shares names the concrete handler, as each handler's own code would.
QString objectTag(const QObject *object, const char *prettyFunction);
} // namespace ch

#define CH_TAG (ch::methodTag(Q_FUNC_INFO))
#define CH_SELF_TAG (ch::objectTag(this, Q_FUNC_INFO))
// Every line starts with the method tag of the function that writes it.
#define CH_DEBUG qCDebug(chMain).noquote() << CH_TAG
#define CH_WARNING qCWarning(chMain).noquote() << CH_TAG
#define CH_CRITICAL qCCritical(chMain).noquote() << CH_TAG
#define CH_LOW qCDebug(chLow).noquote() << CH_TAG
#define CH_SELF_DEBUG qCDebug(chMain).noquote() << CH_SELF_TAG
#define CH_SELF_WARNING qCWarning(chMain).noquote() << CH_SELF_TAG
