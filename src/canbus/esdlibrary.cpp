#include "esdlibrary_p.h"

#include "chlog_p.h"

#include <QByteArray>

#define CH_ESD_DEFINE(name, params, args, bytes, required)                                                             \
    EsdLibrary::name##_cdecl_t EsdLibrary::name##_cdecl = nullptr;                                                     \
    EsdLibrary::name##_stdcall_t EsdLibrary::name##_stdcall = nullptr;
CH_ESD_FUNCTIONS(CH_ESD_DEFINE)
#undef CH_ESD_DEFINE

namespace {
// On 32-bit Windows the decorated stdcall name is tried first; its pointer type only differs
// from the plain one there.
template<typename Std, typename Plain>
void bindEsd(
    VendorLibrary &library, Std &stdcallPointer, Plain &cdeclPointer, const char *name, int bytes, bool required)
{
#if defined(_WIN32) && !defined(_WIN64)
    const QByteArray decorated = "__" + QByteArray(name) + '@' + QByteArray::number(bytes);
    if (library.tryBind(stdcallPointer, decorated.constData()))
        return;
#else
    Q_UNUSED(stdcallPointer)
    Q_UNUSED(bytes)
#endif
    if (required)
        library.bind(cdeclPointer, name);
    else
        library.tryBind(cdeclPointer, name);
}

bool bindEsdAll(VendorLibrary &library)
{
#define CH_ESD_BIND(name, params, args, bytes, required)                                                               \
    bindEsd(library, EsdLibrary::name##_stdcall, EsdLibrary::name##_cdecl, #name, bytes, required);
    CH_ESD_FUNCTIONS(CH_ESD_BIND)
#undef CH_ESD_BIND
    return true; // missing entry points are named in the log; calls to them fail
}

void resetEsd()
{
#define CH_ESD_RESET(name, params, args, bytes, required)                                                              \
    EsdLibrary::name##_cdecl = nullptr;                                                                                \
    EsdLibrary::name##_stdcall = nullptr;
    CH_ESD_FUNCTIONS(CH_ESD_RESET)
#undef CH_ESD_RESET
}
} // namespace

EsdResult EsdLibrary::missingCall(const char *name)
{
    CH_WARNING << "the esd library" << library().fileName() << "lacks the symbol" << name;
    return kMissing;
}

VendorLibrary &EsdLibrary::library()
{
    static VendorLibrary instance("esd", CanVendor::Esd, { bindEsdAll, resetEsd, nullptr });
    return instance;
}
