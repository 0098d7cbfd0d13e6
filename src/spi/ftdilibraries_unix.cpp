#include "ftdilibraries_p.h"

#include <QStringList>

// The vendors' Linux names; QLibrary adds "lib" and ".so".
QString ftd2xxLibraryName()
{
    return QStringLiteral("ftd2xx");
}

QStringList ft4222LibraryNames()
{
    return { QStringLiteral("ft4222") };
}
