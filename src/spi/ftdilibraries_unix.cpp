#include "ftdilibraries_p.h"

#include <QStringList>

// The vendors' Linux names; QLibrary adds "lib" and ".so". libft4222.so carries its own D2XX,
// which owns the handles the FT4222 functions take; libftd2xx.so is a second, separate D2XX.
QStringList d2xxLibraryNames()
{
    return { QStringLiteral("ft4222"), QStringLiteral("ftd2xx") };
}

QStringList ft4222LibraryNames()
{
    return { QStringLiteral("ft4222") };
}
