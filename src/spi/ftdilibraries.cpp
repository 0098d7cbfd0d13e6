#include "ftdilibraries_p.h"

#include "chlog_p.h"

#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

namespace {
// Process-wide: one library and one table per vendor, shared by every handler.
struct Libraries
{
    QMutex lock;
    QLibrary d2xxLibrary;
    QLibrary ft4222Library;
    bool d2xxLoaded = false;
    bool ft4222Loaded = false;
    D2xxApi d2xx;
    D2xxApi bundledD2xx; // complete only when the FT4222 library exports every D2XX function
    bool hasBundledD2xx = false;
    Ft4222Api ft4222;
    int users = 0;
};

Libraries &libs()
{
    static Libraries l;
    return l;
}

template<typename Pointer> bool resolveInto(QLibrary &library, const char *symbol, Pointer &target)
{
    target = reinterpret_cast<Pointer>(library.resolve(symbol));
    if (!target)
        CH_DEBUG << "missing symbol" << symbol << "in" << library.fileName();
    return target != nullptr;
}

bool resolveD2xx(QLibrary &library, D2xxApi &api)
{
    bool all = true;
#define CH_FT_RESOLVE(name, args) all = resolveInto(library, #name, api.name) && all;
    CH_D2XX_FUNCTIONS(CH_FT_RESOLVE)
#undef CH_FT_RESOLVE
    return all;
}

bool resolveFt4222(QLibrary &library, Ft4222Api &api)
{
    bool all = true;
#define CH_FT_RESOLVE(name, args) all = resolveInto(library, #name, api.name) && all;
    CH_FT4222_FUNCTIONS(CH_FT_RESOLVE)
#undef CH_FT_RESOLVE
    return all;
}

bool bundledD2xxPresent(QLibrary &library)
{
    // Probe quietly: on Windows the FT4222 library imports D2XX instead of bundling it.
#define CH_FT_PROBE(name, args) &&library.resolve(#name)
    return true CH_D2XX_FUNCTIONS(CH_FT_PROBE);
#undef CH_FT_PROBE
}

template<typename Api, typename Resolve>
bool loadAndResolve(QLibrary &library, const QStringList &names, Api &api, Resolve resolve, const char *notFound)
{
    bool found = false;
    for (const QString &name : names) {
        library.setFileName(name);
        if ((found = library.load()))
            break;
    }
    if (!found) {
        CH_DEBUG << notFound;
        return false;
    }
    if (!resolve(library, api)) {
        CH_DEBUG << "Failed to load library functions.";
        library.unload();
        api = Api();
        return false;
    }
    return true;
}

void unloadLocked(Libraries &l)
{
    if (l.ft4222Loaded && l.ft4222Library.unload()) {
        l.ft4222Loaded = false;
        l.ft4222 = Ft4222Api();
        l.bundledD2xx = D2xxApi();
        l.hasBundledD2xx = false;
    }
    if (l.d2xxLoaded && l.d2xxLibrary.unload()) {
        l.d2xxLoaded = false;
        l.d2xx = D2xxApi();
    }
}
} // namespace

bool ftd2xx_loadLibrary()
{
    Libraries &l = libs();
    QMutexLocker lock(&l.lock);
    if (!l.d2xxLoaded)
        l.d2xxLoaded
            = loadAndResolve(l.d2xxLibrary, { ftd2xxLibraryName() }, l.d2xx, resolveD2xx, "failed to load ftd2xx.dll");
    return l.d2xxLoaded;
}

bool LibFT4222_loadLibrary()
{
    Libraries &l = libs();
    QMutexLocker lock(&l.lock);
    if (l.ft4222Loaded)
        return true;
    if (!loadAndResolve(l.ft4222Library, ft4222LibraryNames(), l.ft4222, resolveFt4222, "failed to load LibFT4222.dll"))
        return false;
    l.hasBundledD2xx = bundledD2xxPresent(l.ft4222Library) && resolveD2xx(l.ft4222Library, l.bundledD2xx);
    l.ft4222Loaded = true;
    return true;
}

bool FT4222H_loadLibraries()
{
    if (!ftd2xx_loadLibrary()) {
        CH_DEBUG << "failed to load ftd2xx.dll!";
        CH_CRITICAL << "Failed to load ftd2xx.dll!";
        return false;
    }
    DWORD_FT version = 0;
    if (ftd2xx().FT_GetLibraryVersion(&version) == kFtOk)
        CH_DEBUG << "ftd2xx.dll: libraryVersion: " << ftHex(version);
    else
        CH_DEBUG << "ftd2xx.dll: libraryVersion: unknown!";
    // No bridge interface is open yet, so this query normally ends in the "unknown!" line.
    if (ftd2xx().FT_GetDriverVersion(nullptr, &version) == kFtOk)
        CH_DEBUG << "ftd2xx.dll: driverVersion: " << ftHex(version);
    else
        CH_DEBUG << "ftd2xx.dll: driverVersion: unknown!";
    if (!LibFT4222_loadLibrary()) {
        CH_DEBUG << "failed to load LibFT4222.dll!";
        CH_CRITICAL << "Failed to load LibFT4222.dll!";
        return false;
    }
    return true;
}

void FT4222H_retainLibraries()
{
    Libraries &l = libs();
    QMutexLocker lock(&l.lock);
    ++l.users;
}

void FT4222H_unloadLibraries()
{
    Libraries &l = libs();
    QMutexLocker lock(&l.lock);
    if (l.users > 0 && --l.users > 0)
        return;
    unloadLocked(l);
}

const D2xxApi &ftd2xx()
{
    return libs().d2xx;
}

const D2xxApi &bridgeD2xx()
{
    Libraries &l = libs();
    return l.hasBundledD2xx ? l.bundledD2xx : l.d2xx;
}

const Ft4222Api &ft4222()
{
    return libs().ft4222;
}
