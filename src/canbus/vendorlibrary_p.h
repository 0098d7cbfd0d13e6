#pragma once

#include <QFunctionPointer>
#include <QLibrary>
#include <QMutex>
#include <QString>
#include <QStringList>

// Calling conventions only differ on 32-bit Windows; elsewhere there is one.
#if defined(_WIN32) && !defined(_WIN64)
#define CH_STDCALL __stdcall
#define CH_CDECL __cdecl
#else
#define CH_STDCALL
#define CH_CDECL
#endif

enum class CanVendor { Kvaser, Peak, Esd, Ixxat };

// File names tried in order for a vendor's library on this platform (vendorlibrary_<os>.cpp).
QStringList vendorLibraryFileNames(CanVendor vendor);

// One vendor's library, process-wide, shared by every handler of that vendor (ZAPL and
// CANopen). Users are counted: the library is released only when its last user has gone,
// so closing one handler never pulls the code from under another.
class VendorLibrary
{
public:
    struct Hooks
    {
        // Binds the vendor's entry points after a load; false refuses the library.
        bool (*bind)(VendorLibrary &library);
        // Forgets every bound pointer (after an unload or a refused load).
        void (*reset)();
        // Runs before the library is released (process-wide objects of the vendor).
        void (*beforeUnload)();
    };

    VendorLibrary(const char *vendor, CanVendor kind, Hooks hooks);

    // Adds one user; loads the library when it is not loaded. True when it is loaded.
    bool acquire();
    // Removes one user; the last one releases the library.
    void release();
    bool isLoaded() const;
    int users() const;
    QString fileName() const;
    // Symbols that the last load could not bind.
    QStringList missingSymbols() const;

    // For the vendor's bind hook: resolves `name` into `pointer`, naming a missing symbol in
    // the log. True when bound.
    template<typename F> bool bind(F &pointer, const char *name)
    {
        pointer = reinterpret_cast<F>(resolve(name, true));
        return pointer != nullptr;
    }
    // As bind(), but silent: for alternative export names tried before the usual one.
    template<typename F> bool tryBind(F &pointer, const char *name)
    {
        pointer = reinterpret_cast<F>(resolve(name, false));
        return pointer != nullptr;
    }

private:
    QFunctionPointer resolve(const char *name, bool reportMissing);
    void noteMissing(const char *name);
    bool loadLocked();
    void unloadLocked();

    const char *m_vendor;
    CanVendor m_kind;
    Hooks m_hooks;
    mutable QMutex m_lock;
    QLibrary m_library;
    bool m_loaded = false;
    int m_users = 0;
    QStringList m_missing;
};

// One holder's claim on a VendorLibrary; acquire() and release() may be called any number of
// times, the claim is counted once. Released on destruction.
class VendorLibraryUse
{
public:
    explicit VendorLibraryUse(VendorLibrary &library) : m_library(library) { }
    ~VendorLibraryUse() { release(); }
    VendorLibraryUse(const VendorLibraryUse &) = delete;
    VendorLibraryUse &operator=(const VendorLibraryUse &) = delete;

    bool acquire()
    {
        if (!m_held) {
            m_held = true;
            return m_library.acquire();
        }
        return m_library.isLoaded();
    }
    void release()
    {
        if (m_held) {
            m_held = false;
            m_library.release();
        }
    }
    bool held() const { return m_held; }
    bool isLoaded() const { return m_held && m_library.isLoaded(); }

private:
    VendorLibrary &m_library;
    bool m_held = false;
};

// Declares the pointer type `name_t` and the pointer `name` for each entry of a vendor list.
#define CH_VENDOR_DECLARE_POINTER(Convention, Ret, name, params)                                                       \
    using name##_t = Ret(Convention *) params;                                                                         \
    static name##_t name;
