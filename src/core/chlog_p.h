#pragma once

#include <QDebug>
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(chLow) // "commandhandler.debLevel.low"
Q_DECLARE_LOGGING_CATEGORY(chXml) // "commandhandler.xml"

namespace ch {
// "Class::method()" from a compiler's pretty function signature.
QString methodTag(const char *prettyFunction);
} // namespace ch

#define CH_TAG (ch::methodTag(Q_FUNC_INFO))
// Every line starts with the method tag of the function that writes it.
#define CH_DEBUG qDebug().noquote() << CH_TAG
#define CH_WARNING qWarning().noquote() << CH_TAG
#define CH_CRITICAL qCritical().noquote() << CH_TAG
#define CH_LOW qCDebug(chLow).noquote() << CH_TAG
