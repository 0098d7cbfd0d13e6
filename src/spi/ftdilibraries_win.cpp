#include "ftdilibraries_p.h"

#include <QStringList>

QString ftd2xxLibraryName()
{
    return QStringLiteral("ftd2xx.dll");
}

QStringList ft4222LibraryNames()
{
#if defined(_WIN64)
    return { QStringLiteral("LibFT4222-64.dll"), QStringLiteral("LibFT4222.dll") };
#else
    return { QStringLiteral("LibFT4222.dll") };
#endif
}
