#include "vendorlibrary_p.h"

// The vendors' Linux libraries, versioned name first. The IXXAT interface has no Linux build;
// a library of the name below is tried all the same, so a compatible one can be supplied.
QStringList vendorLibraryFileNames(CanVendor vendor)
{
    switch (vendor) {
    case CanVendor::Kvaser:
        return { QStringLiteral("libcanlib.so.1"), QStringLiteral("libcanlib.so") };
    case CanVendor::Peak:
        return { QStringLiteral("libpcanbasic.so"), QStringLiteral("libpcanbasic.so.4") };
    case CanVendor::Esd:
        return { QStringLiteral("libntcan.so.4"), QStringLiteral("libntcan.so") };
    case CanVendor::Ixxat:
        return { QStringLiteral("libvciapi.so") };
    }
    return {};
}
