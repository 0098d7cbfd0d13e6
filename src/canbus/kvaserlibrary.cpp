#include "kvaserlibrary_p.h"

#define CH_KVASER_DEFINE(Ret, name, params) KvaserLibrary::name##_t KvaserLibrary::name = nullptr;
CH_KVASER_FUNCTIONS(CH_KVASER_DEFINE)
#undef CH_KVASER_DEFINE

namespace {
bool bindKvaser(VendorLibrary &library)
{
#define CH_KVASER_BIND(Ret, name, params) library.bind(KvaserLibrary::name, #name);
    CH_KVASER_FUNCTIONS(CH_KVASER_BIND)
#undef CH_KVASER_BIND
    return true; // missing entry points are named in the log, not refused
}

void resetKvaser()
{
#define CH_KVASER_RESET(Ret, name, params) KvaserLibrary::name = nullptr;
    CH_KVASER_FUNCTIONS(CH_KVASER_RESET)
#undef CH_KVASER_RESET
}
} // namespace

VendorLibrary &KvaserLibrary::library()
{
    static VendorLibrary instance("Kvaser", CanVendor::Kvaser, { bindKvaser, resetKvaser, nullptr });
    return instance;
}

bool KvaserLibrary::hasCoreFunctions()
{
    return canInitializeLibrary && canOpenChannel && canClose && canSetBusParams && canGetBusParams && canBusOn
        && canBusOff && canWrite && canRead;
}
