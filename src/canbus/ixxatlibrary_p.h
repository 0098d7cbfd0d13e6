#pragma once

#include "vendorlibrary_p.h"

#include <QtGlobal>

// The IXXAT VCI is a COM-style interface: two exported functions hand out objects whose
// methods are stdcall virtual functions in a fixed vtable order. Declared here without the
// vendor's headers; method order and record layouts are what the library expects.
namespace vci {
using Result = qint32; // HRESULT
constexpr Result kOk = 0;

struct Guid
{
    quint32 data1;
    quint16 data2;
    quint16 data3;
    quint8 data4[8];
};

#pragma pack(push, 1)
union ObjectId {
    struct
    {
        quint32 low;
        qint32 high;
    } luid;
    qint64 value;
};
struct DeviceInfo
{
    ObjectId objectId;
    Guid deviceClass;
    quint8 driverMajor, driverMinor;
    quint16 driverBuild;
    quint8 hardware[4];
    quint8 uniqueHardwareId[16];
    char description[128];
    char manufacturer[126];
    quint16 driverReleaseVersion;
};
struct BalFeatures
{
    quint16 firmwareMajor, firmwareMinor;
    quint16 busSocketCount;
    quint16 busSocketType[32];
};
struct InitLine
{
    quint8 operatingMode, reserved, btr0, btr1;
};
struct Message
{
    quint32 time;
    quint32 id;
    quint8 type; // 0 = data
    quint8 reserved; // additional flags on newer libraries
    quint8 flags; // bits 0-3: data length code
    quint8 accept;
    quint8 data[8];
};
#pragma pack(pop)
static_assert(sizeof(DeviceInfo) == 304, "VCI device information layout");
static_assert(sizeof(BalFeatures) == 70, "VCI bus access features layout");
static_assert(sizeof(Message) == 20, "VCI CAN message layout");

struct Unknown
{
    virtual Result CH_STDCALL QueryInterface(const Guid *iid, void **object) = 0;
    virtual quint32 CH_STDCALL AddRef() = 0;
    virtual quint32 CH_STDCALL Release() = 0;
};
struct EnumDevice : Unknown
{
    virtual Result CH_STDCALL Next(quint32 count, DeviceInfo *infos, quint32 *fetched) = 0;
    virtual Result CH_STDCALL Skip(quint32 count) = 0;
    virtual Result CH_STDCALL Reset() = 0;
    virtual Result CH_STDCALL AssignEvent(void *event) = 0;
};
struct Device : Unknown
{
    virtual Result CH_STDCALL GetDeviceInfo(DeviceInfo *info) = 0;
    virtual Result CH_STDCALL GetDeviceCaps(void *caps) = 0;
    virtual Result CH_STDCALL OpenComponent(const Guid *classId, const Guid *iid, void **object) = 0;
};
struct DeviceManager : Unknown
{
    virtual Result CH_STDCALL EnumDevices(EnumDevice **enumerator) = 0;
    virtual Result CH_STDCALL OpenDevice(const ObjectId *id, Device **device) = 0;
};
struct BalObject : Unknown
{
    virtual Result CH_STDCALL GetFeatures(BalFeatures *features) = 0;
    virtual Result CH_STDCALL OpenSocket(quint32 busNo, const Guid *iid, void **object) = 0;
};
// Both FIFO interfaces start with the same entries; single inheritance appends to the table.
struct Fifo : Unknown
{
    virtual Result CH_STDCALL Lock() = 0;
    virtual Result CH_STDCALL Unlock() = 0;
    virtual Result CH_STDCALL AssignEvent(void *event) = 0;
    virtual Result CH_STDCALL SetThreshold(quint16 threshold) = 0;
    virtual Result CH_STDCALL GetThreshold(quint16 *threshold) = 0;
    virtual Result CH_STDCALL GetCapacity(quint16 *capacity) = 0;
    virtual Result CH_STDCALL GetEntrySize(quint16 *size) = 0;
    virtual Result CH_STDCALL GetFillCount(quint16 *count) = 0;
    virtual Result CH_STDCALL GetFreeCount(quint16 *count) = 0;
};
struct FifoReader : Fifo
{
    virtual Result CH_STDCALL GetDataEntry(void *message) = 0;
    virtual Result CH_STDCALL AcquireRead(void **entry, quint16 *count) = 0;
    virtual Result CH_STDCALL ReleaseRead(quint16 count) = 0;
};
struct FifoWriter : Fifo
{
    virtual Result CH_STDCALL PutDataEntry(void *message) = 0;
    virtual Result CH_STDCALL AcquireWrite(void **entry, quint16 *count) = 0;
    virtual Result CH_STDCALL ReleaseWrite(quint16 count) = 0;
};
struct CanChannel : Unknown
{
    virtual Result CH_STDCALL Initialize(quint16 rxFifoSize, quint16 txFifoSize) = 0;
    virtual Result CH_STDCALL Activate() = 0;
    virtual Result CH_STDCALL Deactivate() = 0;
    virtual Result CH_STDCALL GetReader(FifoReader **reader) = 0;
    virtual Result CH_STDCALL GetWriter(FifoWriter **writer) = 0;
    virtual Result CH_STDCALL GetStatus(void *status) = 0;
};
struct CanSocket : Unknown
{
    virtual Result CH_STDCALL GetSocketInfo(void *info) = 0;
    virtual Result CH_STDCALL GetCapabilities(void *caps) = 0;
    virtual Result CH_STDCALL GetLineStatus(void *status) = 0;
    virtual Result CH_STDCALL CreateChannel(qint32 exclusive, CanChannel **channel) = 0;
};
struct CanControl : Unknown
{
    virtual Result CH_STDCALL DetectBaud(quint16 timeoutMs, void *table) = 0;
    virtual Result CH_STDCALL InitLine(InitLine *init) = 0;
    virtual Result CH_STDCALL ResetLine() = 0;
    virtual Result CH_STDCALL StartLine() = 0;
    virtual Result CH_STDCALL StopLine() = 0;
    virtual Result CH_STDCALL GetLineStatus(void *status) = 0;
    virtual Result CH_STDCALL SetAccFilter(quint8 select, quint32 code, quint32 mask) = 0;
    virtual Result CH_STDCALL AddFilterIds(quint8 select, quint32 code, quint32 mask) = 0;
    virtual Result CH_STDCALL RemFilterIds(quint8 select, quint32 code, quint32 mask) = 0;
};

extern const Guid kClassBal;
extern const Guid kIidBalObject;
extern const Guid kIidCanSocket;
extern const Guid kIidCanControl;
} // namespace vci

#define CH_IXXAT_FUNCTIONS(F)                                                                                          \
    F(vci::Result, VciInitialize, (void))                                                                              \
    F(vci::Result, VciGetDeviceManager, (vci::DeviceManager * *manager))

// The process-wide VCI binding and the one set of adapter objects every IXXAT handler (ZAPL
// and CANopen) shares: one IXXAT connection exists per process.
struct IxxatLibrary
{
#define CH_IXXAT_POINTER(Ret, name, params) CH_VENDOR_DECLARE_POINTER(CH_STDCALL, Ret, name, params)
    CH_IXXAT_FUNCTIONS(CH_IXXAT_POINTER)
#undef CH_IXXAT_POINTER

    static VendorLibrary &library();

    // Finds the first CAN socket of up to five devices and opens channel, control, reader and
    // writer on it. True when they exist (also when another handler created them).
    static bool initialise();
    // Resets the line and releases the objects; also run before the library is unloaded.
    static void releaseObjects();
    static bool isInitialised();
    // Standard frames with the two bit-timing registers, then starts the line.
    static bool setBusTiming(quint8 btr0, quint8 btr1);
    static bool send(const vci::Message &message);
    // One message of any type, non-blocking.
    static bool receive(vci::Message &message);
};
