#include "ixxatlibrary_p.h"

#include "chlog_p.h"

#include <QMutex>
#include <QMutexLocker>
#include <cstring>

namespace vci {
const Guid kClassBal = { 0x3CB880F4, 0x2791, 0x40BD, { 0xB8, 0x52, 0x09, 0x34, 0x9D, 0x1A, 0x7B, 0x37 } };
const Guid kIidBalObject = { 0xA2B958AA, 0x9188, 0x4CDB, { 0x83, 0x07, 0x25, 0xD9, 0xF1, 0xF8, 0x43, 0xE9 } };
const Guid kIidCanSocket = { 0x48965C25, 0x9F8D, 0x4E4D, { 0x8D, 0xE6, 0xF0, 0x29, 0x80, 0x8C, 0x9E, 0xD2 } };
const Guid kIidCanControl = { 0xD213C143, 0x7039, 0x4D1D, { 0xAC, 0xED, 0x13, 0x90, 0x28, 0x9C, 0x8E, 0xBA } };
} // namespace vci

#define CH_IXXAT_DEFINE(Ret, name, params) IxxatLibrary::name##_t IxxatLibrary::name = nullptr;
CH_IXXAT_FUNCTIONS(CH_IXXAT_DEFINE)
#undef CH_IXXAT_DEFINE

// The VCI objects are the library's, not C++ objects of the interface types declared here: the
// dynamic-type check of the undefined-behaviour sanitizer does not apply to calls on them.
#if defined(__GNUC__) || defined(__clang__)
#define CH_FOREIGN_OBJECTS __attribute__((no_sanitize("vptr")))
#else
#define CH_FOREIGN_OBJECTS
#endif

namespace {
constexpr quint32 kMaxDevices = 5;
constexpr quint16 kQueueSize = 32;
constexpr quint8 kBusCan = 1;
constexpr quint8 kOpModeStandard = 1;

// Releases a VCI object and forgets it.
template<typename T> CH_FOREIGN_OBJECTS void drop(T *&object)
{
    if (object)
        object->Release();
    object = nullptr;
}

// The process-wide adapter objects; every access holds the lock.
struct Objects
{
    QMutex lock;
    vci::CanControl *control = nullptr;
    vci::CanChannel *channel = nullptr;
    vci::FifoReader *reader = nullptr;
    vci::FifoWriter *writer = nullptr;
    bool initialised = false;

    CH_FOREIGN_OBJECTS void releaseLocked()
    {
        if (control)
            control->ResetLine();
        drop(channel);
        drop(control);
        drop(writer);
        drop(reader);
        initialised = false;
    }
};

Objects &objects()
{
    static Objects instance;
    return instance;
}

bool bindIxxat(VendorLibrary &library)
{
    bool all = true;
#define CH_IXXAT_BIND(Ret, name, params) all = library.bind(IxxatLibrary::name, #name) && all;
    CH_IXXAT_FUNCTIONS(CH_IXXAT_BIND)
#undef CH_IXXAT_BIND
    return all;
}

void resetIxxat()
{
#define CH_IXXAT_RESET(Ret, name, params) IxxatLibrary::name = nullptr;
    CH_IXXAT_FUNCTIONS(CH_IXXAT_RESET)
#undef CH_IXXAT_RESET
}

// Index of the first CAN socket among the features, or -1.
int firstCanSocket(const vci::BalFeatures &features)
{
    const int count = qMin<int>(features.busSocketCount, int(sizeof features.busSocketType / sizeof(quint16)));
    for (int i = 0; i < count; ++i) {
        if (((features.busSocketType[i] >> 8) & 0xFF) == kBusCan)
            return i;
    }
    return -1;
}

// Opens channel, control, reader and writer on the first CAN socket of `device`.
CH_FOREIGN_OBJECTS bool openOnDevice(vci::Device *device, Objects &o)
{
    vci::BalObject *bal = nullptr;
    vci::CanSocket *socket = nullptr;
    bool ok = false;
    vci::BalFeatures features = {};
    if (device->OpenComponent(&vci::kClassBal, &vci::kIidBalObject, reinterpret_cast<void **>(&bal)) == vci::kOk && bal
        && bal->GetFeatures(&features) == vci::kOk) {
        const int socketNo = firstCanSocket(features);
        ok = socketNo >= 0
            && bal->OpenSocket(quint32(socketNo), &vci::kIidCanSocket, reinterpret_cast<void **>(&socket)) == vci::kOk
            && socket
            && bal->OpenSocket(quint32(socketNo), &vci::kIidCanControl, reinterpret_cast<void **>(&o.control))
                == vci::kOk
            && o.control && socket->CreateChannel(0, &o.channel) == vci::kOk && o.channel
            && o.channel->Initialize(kQueueSize, kQueueSize) == vci::kOk && o.channel->Activate() == vci::kOk
            && o.channel->GetWriter(&o.writer) == vci::kOk && o.writer && o.channel->GetReader(&o.reader) == vci::kOk
            && o.reader;
    }
    drop(socket);
    drop(bal);
    if (!ok)
        o.releaseLocked();
    return ok;
}
} // namespace

VendorLibrary &IxxatLibrary::library()
{
    static VendorLibrary instance("IXXAT", CanVendor::Ixxat, { bindIxxat, resetIxxat, releaseObjects });
    return instance;
}

CH_FOREIGN_OBJECTS bool IxxatLibrary::initialise()
{
    Objects &o = objects();
    QMutexLocker locker(&o.lock);
    if (o.initialised)
        return true;
    if (!VciInitialize || !VciGetDeviceManager || VciInitialize() != vci::kOk)
        return false;
    vci::DeviceManager *manager = nullptr;
    vci::EnumDevice *enumerator = nullptr;
    if (VciGetDeviceManager(&manager) == vci::kOk && manager && manager->EnumDevices(&enumerator) == vci::kOk
        && enumerator) {
        vci::DeviceInfo infos[kMaxDevices] = {};
        quint32 fetched = 0;
        enumerator->Next(kMaxDevices, infos, &fetched);
        fetched = qMin(fetched, kMaxDevices);
        for (quint32 i = 0; i < fetched && !o.initialised; ++i) {
            vci::Device *device = nullptr;
            if (manager->OpenDevice(&infos[i].objectId, &device) == vci::kOk && device)
                o.initialised = openOnDevice(device, o);
            drop(device);
        }
    }
    drop(enumerator);
    drop(manager);
    return o.initialised;
}

void IxxatLibrary::releaseObjects()
{
    Objects &o = objects();
    QMutexLocker locker(&o.lock);
    o.releaseLocked();
}

bool IxxatLibrary::isInitialised()
{
    Objects &o = objects();
    QMutexLocker locker(&o.lock);
    return o.initialised;
}

CH_FOREIGN_OBJECTS bool IxxatLibrary::setBusTiming(quint8 btr0, quint8 btr1)
{
    Objects &o = objects();
    QMutexLocker locker(&o.lock);
    if (!o.initialised)
        return false;
    vci::InitLine init = { kOpModeStandard, 0, btr0, btr1 };
    return o.control->InitLine(&init) == vci::kOk && o.control->StartLine() == vci::kOk;
}

CH_FOREIGN_OBJECTS bool IxxatLibrary::send(const vci::Message &message)
{
    Objects &o = objects();
    QMutexLocker locker(&o.lock);
    if (!o.initialised)
        return false;
    vci::Message copy = message; // the writer takes a non-const entry
    return o.writer->PutDataEntry(&copy) == vci::kOk;
}

CH_FOREIGN_OBJECTS bool IxxatLibrary::receive(vci::Message &message)
{
    Objects &o = objects();
    QMutexLocker locker(&o.lock);
    if (!o.initialised)
        return false;
    message = {};
    return o.reader->GetDataEntry(&message) == vci::kOk;
}
