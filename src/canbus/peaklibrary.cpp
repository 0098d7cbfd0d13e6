#include "peaklibrary_p.h"

#define CH_PEAK_DEFINE(Ret, name, params) PeakLibrary::name##_t PeakLibrary::name = nullptr;
CH_PEAK_FUNCTIONS(CH_PEAK_DEFINE)
#undef CH_PEAK_DEFINE

namespace {
bool bindPeak(VendorLibrary &library)
{
    bool all = true;
#define CH_PEAK_BIND(Ret, name, params) all = library.bind(PeakLibrary::name, #name) && all;
    CH_PEAK_FUNCTIONS(CH_PEAK_BIND)
#undef CH_PEAK_BIND
    return all;
}

void resetPeak()
{
#define CH_PEAK_RESET(Ret, name, params) PeakLibrary::name = nullptr;
    CH_PEAK_FUNCTIONS(CH_PEAK_RESET)
#undef CH_PEAK_RESET
}
} // namespace

VendorLibrary &PeakLibrary::library()
{
    static VendorLibrary instance("PEAK", CanVendor::Peak, { bindPeak, resetPeak, nullptr });
    return instance;
}

QString PeakLibrary::errorText(PeakStatus status)
{
    // The library writes up to 255 characters and a terminator; keep a margin and terminate.
    char buffer[512] = {};
    if (!CAN_GetErrorText || CAN_GetErrorText(status, 0, buffer) != kOk)
        return QString();
    buffer[sizeof buffer - 1] = '\0';
    return QString::fromLatin1(buffer);
}
