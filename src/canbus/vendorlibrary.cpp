#include "vendorlibrary_p.h"

#include "chlog_p.h"

#include <QMutexLocker>

VendorLibrary::VendorLibrary(const char *vendor, CanVendor kind, Hooks hooks)
    : m_vendor(vendor), m_kind(kind), m_hooks(hooks)
{ }

bool VendorLibrary::acquire()
{
    QMutexLocker locker(&m_lock);
    ++m_users;
    return m_loaded || loadLocked();
}

void VendorLibrary::release()
{
    QMutexLocker locker(&m_lock);
    if (--m_users > 0)
        return;
    m_users = 0;
    unloadLocked();
}

bool VendorLibrary::isLoaded() const
{
    QMutexLocker locker(&m_lock);
    return m_loaded;
}

int VendorLibrary::users() const
{
    QMutexLocker locker(&m_lock);
    return m_users;
}

QString VendorLibrary::fileName() const
{
    QMutexLocker locker(&m_lock);
    return m_library.fileName();
}

QStringList VendorLibrary::missingSymbols() const
{
    QMutexLocker locker(&m_lock);
    return m_missing;
}

QFunctionPointer VendorLibrary::resolve(const char *name, bool reportMissing)
{
    QFunctionPointer pointer = m_library.resolve(name);
    if (!pointer && reportMissing)
        noteMissing(name);
    return pointer;
}

void VendorLibrary::noteMissing(const char *name)
{
    m_missing.append(QString::fromLatin1(name));
    CH_WARNING << m_vendor << "library" << m_library.fileName() << "lacks the symbol" << name;
}

bool VendorLibrary::loadLocked()
{
    const QStringList names = vendorLibraryFileNames(m_kind);
    for (const QString &name : names) {
        m_library.setFileName(name);
        if (m_library.load())
            break;
        CH_LOW << m_vendor << "library" << name << "not loaded:" << m_library.errorString();
    }
    if (!m_library.isLoaded()) {
        CH_CRITICAL << m_vendor << "library not found:" << names.join(QLatin1String(", "));
        return false;
    }
    m_missing.clear();
    if (!m_hooks.bind(*this)) {
        CH_WARNING << m_vendor << "library" << m_library.fileName()
                   << "refused, missing:" << m_missing.join(QLatin1String(", "));
        m_hooks.reset();
        m_library.unload();
        return false;
    }
    m_loaded = true;
    return true;
}

void VendorLibrary::unloadLocked()
{
    if (!m_loaded)
        return;
    if (m_hooks.beforeUnload)
        m_hooks.beforeUnload();
    m_hooks.reset();
    m_loaded = false;
    m_library.unload();
}
