#include "vendorlibrary_p.h"

QStringList vendorLibraryFileNames(CanVendor vendor)
{
    switch (vendor) {
    case CanVendor::Kvaser:
        return { QStringLiteral("canlib32.dll") };
    case CanVendor::Peak:
        return { QStringLiteral("PCANBasic.dll") };
    case CanVendor::Esd:
        return { QStringLiteral("ntcan.dll") };
    case CanVendor::Ixxat:
        return { QStringLiteral("vciapi.dll") };
    }
    return {};
}
