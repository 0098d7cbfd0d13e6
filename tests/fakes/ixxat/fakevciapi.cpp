// Stand-in for the IXXAT VCI on a simulated bus. The VCI hands out COM-style objects: the
// classes below lay out their virtual functions in the vendor's vtable order (IUnknown's three
// first, no virtual destructor) with 32-bit results.

#include "vendorfake.h"

#include <atomic>
#include <cstring>

namespace {
using HRESULT = qint32;
constexpr HRESULT VCI_OK = 0;
constexpr HRESULT VCI_E_UNEXPECTED = HRESULT(0xE0010001);
constexpr HRESULT VCI_E_NO_MORE_ITEMS = HRESULT(0xE001000F);
constexpr HRESULT VCI_E_RXQUEUE_EMPTY = HRESULT(0xE0010012);
constexpr HRESULT VCI_E_TXQUEUE_FULL = HRESULT(0xE0010013);

std::atomic<int> liveObjects { 0 };

#pragma pack(push, 1)
struct DeviceInfo
{
    qint64 objectId;
    quint8 rest[296];
};
struct Features
{
    quint16 fwMajor, fwMinor, socketCount, socketType[32];
};
struct InitLine
{
    quint8 opMode, reserved, btr0, btr1;
};
struct CanMsg
{
    quint32 time, id;
    quint8 type, reserved, flags, accept;
    quint8 data[8];
};
#pragma pack(pop)

// Reference counting shared by every object; `destroy` deletes the concrete class.
struct Object
{
    virtual HRESULT QueryInterface(const void *, void **object)
    {
        *object = nullptr;
        return VCI_E_UNEXPECTED;
    }
    virtual quint32 AddRef() { return quint32(++refs); }
    virtual quint32 Release()
    {
        const int left = --refs;
        if (left == 0)
            destroy(this);
        return quint32(left);
    }

    explicit Object(void (*destroyer)(Object *)) : destroy(destroyer) { ++liveObjects; }
    ~Object() { --liveObjects; }
    std::atomic<int> refs { 1 };
    void (*destroy)(Object *);
};

template<typename T> void destroyAs(Object *object)
{
    delete static_cast<T *>(object);
}

// Fails when the call is scripted to fail.
HRESULT result(const char *name, std::initializer_list<long long> arguments = {})
{
    return fake::call(name, arguments) ? VCI_E_UNEXPECTED : VCI_OK;
}

// The reader and writer tables start with the same entries; single inheritance appends.
struct Fifo : Object
{
    using Object::Object;
    virtual HRESULT Lock() { return VCI_OK; }
    virtual HRESULT Unlock() { return VCI_OK; }
    virtual HRESULT AssignEvent(void *) { return VCI_OK; }
    virtual HRESULT SetThreshold(quint16) { return VCI_OK; }
    virtual HRESULT GetThreshold(quint16 *) { return VCI_OK; }
    virtual HRESULT GetCapacity(quint16 *) { return VCI_OK; }
    virtual HRESULT GetEntrySize(quint16 *) { return VCI_OK; }
    virtual HRESULT GetFillCount(quint16 *) { return VCI_OK; }
    virtual HRESULT GetFreeCount(quint16 *) { return VCI_OK; }
};

struct Reader final : Fifo
{
    Reader() : Fifo(destroyAs<Reader>) { }
    virtual HRESULT GetDataEntry(void *entry)
    {
        SimCanFrame frame;
        if (result("GetDataEntry") != VCI_OK)
            return VCI_E_UNEXPECTED;
        if (!fake::bus().take(frame))
            return VCI_E_RXQUEUE_EMPTY;
        CanMsg message = {};
        message.id = frame.id;
        message.type = 0;
        message.flags = quint8((frame.length & 0x0F) | (frame.remote ? 0x40 : 0) | (frame.extended ? 0x80 : 0));
        std::memcpy(message.data, frame.data, 8);
        std::memcpy(entry, &message, sizeof message);
        return VCI_OK;
    }
    virtual HRESULT AcquireRead(void **, quint16 *) { return VCI_E_UNEXPECTED; }
    virtual HRESULT ReleaseRead(quint16) { return VCI_E_UNEXPECTED; }
};

struct Writer final : Fifo
{
    Writer() : Fifo(destroyAs<Writer>) { }
    virtual HRESULT PutDataEntry(void *entry)
    {
        CanMsg message;
        std::memcpy(&message, entry, sizeof message);
        if (result("PutDataEntry", { message.id, message.type, message.flags }) != VCI_OK)
            return VCI_E_UNEXPECTED;
        if (fake::flags().refuseSend)
            return VCI_E_TXQUEUE_FULL;
        SimCanFrame frame;
        frame.id = message.id;
        frame.length = quint8(message.flags & 0x0F);
        std::memcpy(frame.data, message.data, 8);
        fake::bus().transmit(frame);
        return VCI_OK;
    }
    virtual HRESULT AcquireWrite(void **, quint16 *) { return VCI_E_UNEXPECTED; }
    virtual HRESULT ReleaseWrite(quint16) { return VCI_E_UNEXPECTED; }
};

struct Channel final : Object
{
    Channel() : Object(destroyAs<Channel>) { }
    virtual HRESULT Initialize(quint16 rx, quint16 tx) { return result("Initialize", { rx, tx }); }
    virtual HRESULT Activate() { return result("Activate"); }
    virtual HRESULT Deactivate() { return result("Deactivate"); }
    virtual HRESULT GetReader(Reader **reader)
    {
        *reader = new Reader;
        return VCI_OK;
    }
    virtual HRESULT GetWriter(Writer **writer)
    {
        *writer = new Writer;
        return VCI_OK;
    }
    virtual HRESULT GetStatus(void *) { return VCI_OK; }
};

struct Socket final : Object
{
    Socket() : Object(destroyAs<Socket>) { }
    virtual HRESULT GetSocketInfo(void *) { return VCI_OK; }
    virtual HRESULT GetCapabilities(void *) { return VCI_OK; }
    virtual HRESULT GetLineStatus(void *) { return VCI_OK; }
    virtual HRESULT CreateChannel(qint32 exclusive, Channel **channel)
    {
        if (result("CreateChannel", { exclusive }) != VCI_OK)
            return VCI_E_UNEXPECTED;
        *channel = new Channel;
        return VCI_OK;
    }
};

struct Control final : Object
{
    Control() : Object(destroyAs<Control>) { }
    virtual HRESULT DetectBaud(quint16, void *) { return VCI_E_UNEXPECTED; }
    virtual HRESULT InitLine(InitLine *init)
    {
        return result("InitLine", { init->opMode, init->reserved, init->btr0, init->btr1 });
    }
    virtual HRESULT ResetLine() { return result("ResetLine"); }
    virtual HRESULT StartLine()
    {
        return result("StartLine") != VCI_OK || fake::flags().failBusOn ? VCI_E_UNEXPECTED : VCI_OK;
    }
    virtual HRESULT StopLine() { return result("StopLine"); }
    virtual HRESULT GetLineStatus(void *) { return VCI_OK; }
    virtual HRESULT SetAccFilter(quint8, quint32, quint32) { return VCI_OK; }
    virtual HRESULT AddFilterIds(quint8, quint32, quint32) { return VCI_OK; }
    virtual HRESULT RemFilterIds(quint8, quint32, quint32) { return VCI_OK; }
};

// Interface identifiers are told apart by their first 32 bits.
constexpr quint32 kIidCanSocket = 0x48965C25;
constexpr quint32 kIidCanControl = 0xD213C143;
constexpr quint32 kIidBalObject = 0xA2B958AA;
constexpr quint32 kClassBal = 0x3CB880F4;

quint32 guidHead(const void *guid)
{
    quint32 head;
    std::memcpy(&head, guid, 4);
    return head;
}

struct Bal final : Object
{
    Bal() : Object(destroyAs<Bal>) { }
    virtual HRESULT GetFeatures(Features *features)
    {
        *features = Features();
        features->socketCount = 2;
        features->socketType[0] = 0x0200; // not CAN: the search must go on
        features->socketType[1] = 0x0101; // CAN
        return result("GetFeatures");
    }
    virtual HRESULT OpenSocket(quint32 busNo, const void *iid, void **object)
    {
        *object = nullptr;
        if (result("OpenSocket", { busNo, guidHead(iid) }) != VCI_OK || busNo != 1)
            return VCI_E_UNEXPECTED;
        if (guidHead(iid) == kIidCanSocket)
            *object = new Socket;
        else if (guidHead(iid) == kIidCanControl)
            *object = new Control;
        return *object ? VCI_OK : VCI_E_UNEXPECTED;
    }
};

struct Device final : Object
{
    Device() : Object(destroyAs<Device>) { }
    virtual HRESULT GetDeviceInfo(void *) { return VCI_OK; }
    virtual HRESULT GetDeviceCaps(void *) { return VCI_OK; }
    virtual HRESULT OpenComponent(const void *classId, const void *iid, void **object)
    {
        *object = nullptr;
        if (result("OpenComponent") != VCI_OK || guidHead(classId) != kClassBal || guidHead(iid) != kIidBalObject)
            return VCI_E_UNEXPECTED;
        *object = new Bal;
        return VCI_OK;
    }
};

struct Enumerator final : Object
{
    Enumerator() : Object(destroyAs<Enumerator>) { }
    virtual HRESULT Next(quint32 count, DeviceInfo *infos, quint32 *fetched)
    {
        *fetched = 0;
        if (result("Next", { count }) != VCI_OK)
            return VCI_E_UNEXPECTED;
        if (fake::flags().noDevice || count == 0)
            return VCI_E_NO_MORE_ITEMS;
        infos[0] = DeviceInfo();
        infos[0].objectId = 7;
        *fetched = 1;
        return VCI_OK;
    }
    virtual HRESULT Skip(quint32) { return VCI_OK; }
    virtual HRESULT Reset() { return VCI_OK; }
    virtual HRESULT AssignEvent(void *) { return VCI_OK; }
};

struct Manager final : Object
{
    Manager() : Object(destroyAs<Manager>) { }
    virtual HRESULT EnumDevices(Enumerator **enumerator)
    {
        *enumerator = new Enumerator;
        return VCI_OK;
    }
    virtual HRESULT OpenDevice(const qint64 *id, Device **device)
    {
        *device = nullptr;
        if (result("OpenDevice", { *id }) != VCI_OK || fake::flags().failOpen)
            return VCI_E_UNEXPECTED;
        *device = new Device;
        return VCI_OK;
    }
};
} // namespace

extern "C" {
Q_DECL_EXPORT HRESULT VciInitialize(void)
{
    return result("VciInitialize");
}

Q_DECL_EXPORT HRESULT VciGetDeviceManager(Manager **manager)
{
    if (result("VciGetDeviceManager") != VCI_OK)
        return VCI_E_UNEXPECTED;
    *manager = new Manager;
    return VCI_OK;
}

// Objects handed out and not yet released.
Q_DECL_EXPORT int fake_live_objects()
{
    return liveObjects;
}
}
