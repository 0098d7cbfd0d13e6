#include "ftdilibraries_p.h"

#include <QStringList>

// LibFT4222 imports ftd2xx.dll, so both share one D2XX.
QStringList d2xxLibraryNames()
{
    return { QStringLiteral("ftd2xx.dll") };
}

QStringList ft4222LibraryNames()
{
#if defined(_WIN64)
    return { QStringLiteral("LibFT4222-64.dll"), QStringLiteral("LibFT4222.dll") };
#else
    return { QStringLiteral("LibFT4222.dll") };
#endif
}
