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
    QLibrary d2xxLibrary; // whichever library supplies the D2XX in use
    QLibrary ft4222Library;
    bool d2xxLoaded = false;
    bool ft4222Loaded = false;
    // The D2XX came from the FT4222 library, whose functions are then taken from d2xxLibrary
    // too: two QLibrary objects on one file do not share a load count reliably (Qt 6 can
    // unload the file under the other).
    bool ft4222InD2xxLibrary = false;
    D2xxApi d2xx;
    Ft4222Api ft4222;
    int users = 0;
};

Libraries &libs()
{
    static Libraries l;
    return l;
}

template<typename Pointer> bool resolveInto(QLibrary &library, const char *symbol, Pointer &target, bool report)
{
    target = reinterpret_cast<Pointer>(library.resolve(symbol));
    if (!target && report)
        CH_DEBUG << "missing symbol" << symbol << "in" << library.fileName();
    return target != nullptr;
}

bool resolveD2xx(QLibrary &library, D2xxApi &api, bool report)
{
    bool all = true;
#define CH_FT_RESOLVE(name, args) all = resolveInto(library, #name, api.name, report) && all;
    CH_D2XX_FUNCTIONS(CH_FT_RESOLVE)
#undef CH_FT_RESOLVE
    return all;
}

bool resolveFt4222(QLibrary &library, Ft4222Api &api, bool report)
{
    bool all = true;
#define CH_FT_RESOLVE(name, args) all = resolveInto(library, #name, api.name, report) && all;
    CH_FT4222_FUNCTIONS(CH_FT_RESOLVE)
#undef CH_FT_RESOLVE
    return all;
}

// The first of `names` that loads and resolves every entry point: its index, or -1. Only the
// last candidate reports its missing symbols: an earlier one lacking them is simply not the one.
template<typename Api, typename Resolve>
int loadAndResolve(QLibrary &library, const QStringList &names, Api &api, Resolve resolve, const char *notFound)
{
    bool found = false;
    for (int i = 0; i < names.size(); ++i) {
        library.setFileName(names.at(i));
        if (!library.load())
            continue;
        found = true;
        if (resolve(library, api, i == names.size() - 1))
            return i;
        library.unload();
        api = Api();
    }
    CH_DEBUG << (found ? "Failed to load library functions." : notFound);
    return -1;
}

// ftd2xx.dll's loader.
bool loadD2xxLocked(Libraries &l)
{
    if (l.d2xxLoaded)
        return true;
    const QStringList names = d2xxLibraryNames();
    const int found = loadAndResolve(l.d2xxLibrary, names, l.d2xx, resolveD2xx, "failed to load ftd2xx.dll");
    l.d2xxLoaded = found >= 0;
    l.ft4222InD2xxLibrary = l.d2xxLoaded && ft4222LibraryNames().contains(names.at(found));
    return l.d2xxLoaded;
}

// LibFT4222.dll's loader; after the D2XX's.
bool loadFt4222Locked(Libraries &l)
{
    if (l.ft4222Loaded)
        return true;
    if (l.ft4222InD2xxLibrary) {
        l.ft4222Loaded = resolveFt4222(l.d2xxLibrary, l.ft4222, true);
        if (!l.ft4222Loaded) {
            CH_DEBUG << "Failed to load library functions.";
            l.ft4222 = Ft4222Api();
        }
    } else {
        const QStringList names = ft4222LibraryNames();
        l.ft4222Loaded
            = loadAndResolve(l.ft4222Library, names, l.ft4222, resolveFt4222, "failed to load LibFT4222.dll") >= 0;
    }
    return l.ft4222Loaded;
}

void unloadLocked(Libraries &l)
{
    if (l.ft4222Loaded && (l.ft4222InD2xxLibrary || l.ft4222Library.unload())) {
        l.ft4222Loaded = false;
        l.ft4222 = Ft4222Api();
    }
    if (l.d2xxLoaded && l.d2xxLibrary.unload()) {
        l.d2xxLoaded = false;
        l.d2xx = D2xxApi();
        l.ft4222InD2xxLibrary = false;
    }
}

bool loadBothLocked(Libraries &l)
{
    if (!loadD2xxLocked(l)) {
        CH_DEBUG << "failed to load ftd2xx.dll!";
        CH_CRITICAL << "Failed to load ftd2xx.dll!";
        return false;
    }
    DWORD_FT version = 0;
    if (l.d2xx.FT_GetLibraryVersion(&version) == kFtOk)
        CH_DEBUG << "ftd2xx.dll: libraryVersion: " << ftHex(version);
    else
        CH_DEBUG << "ftd2xx.dll: libraryVersion: unknown!";
    // No bridge interface is open yet, so this query normally ends in the "unknown!" line.
    if (l.d2xx.FT_GetDriverVersion(nullptr, &version) == kFtOk)
        CH_DEBUG << "ftd2xx.dll: driverVersion: " << ftHex(version);
    else
        CH_DEBUG << "ftd2xx.dll: driverVersion: unknown!";
    if (!loadFt4222Locked(l)) {
        CH_DEBUG << "failed to load LibFT4222.dll!";
        CH_CRITICAL << "Failed to load LibFT4222.dll!";
        if (l.users == 0)
            unloadLocked(l);
        return false;
    }
    return true;
}
} // namespace

bool FT4222H_loadLibraries()
{
    Libraries &l = libs();
    QMutexLocker lock(&l.lock);
    if (!loadBothLocked(l))
        return false;
    ++l.users;
    return true;
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

const Ft4222Api &ft4222()
{
    return libs().ft4222;
}
