#include "ft4222hcommandhandler.h"

#include "chlog_p.h"
#include "ft4222hcommandhandler_p.h"

#include <vector>

// The handler's life, opening and closing, and the bridge's GPIO and set-up calls. Frames and
// requests are in ft4222hrequests.cpp, the monitoring unit in ft4222hdebugger.cpp.

namespace {
constexpr unsigned long kJoinMs = 1000;

// The vendor's FT_DEVICE_LIST_INFO_NODE.
struct DeviceListNode
{
    DWORD_FT flags;
    DWORD_FT type;
    DWORD_FT id;
    DWORD_FT locId;
    char serialNumber[16];
    char description[64];
    FT_HANDLE handle;
};

QString text(const char *bytes, int size)
{
    return QString::fromLatin1(bytes, int(qstrnlen(bytes, uint(size))));
}
} // namespace

FT4222HCommandHandler::FT4222HCommandHandler(QObject *parent) : CommandHandlerInterface(parent), d(new Private)
{
    setObjectName(QStringLiteral("SPI FT4222H"));
    setDeviceName(QStringLiteral("SPI FT4222H"));
    m_dataRate = 1000;
    setMaxTimeoutMS(100);
    setDefaultTimeoutMS(50);
    setLiveModeActive(false);
    startSession();
}

void FT4222HCommandHandler::startSession()
{
    d->bridge = std::make_shared<FT4222HBridge>();
    d->thread.reset(new FT4222HDataThread(d->bridge));
    connect(d->thread.get(), &FT4222HDataThread::newReadPacket, this, &FT4222HCommandHandler::handleReadPacket,
        Qt::DirectConnection);
}

FT4222HCommandHandler::~FT4222HCommandHandler()
{
    // The reader uses the bridge: it ends before the bridge does.
    if (joinReader())
        CH_DEBUG << "dataThread finished.";
}

bool FT4222HCommandHandler::joinReader()
{
    // Each pass is bounded by the 1 ms read time-out, so only a vendor read that hangs can keep
    // the reader longer. It is then left to end on its own, with the session it reads from,
    // whose port A is closed when it ends; port B is not the reader's and is closed now.
    if (d->thread->stopAndJoin(kJoinMs))
        return true;
    CH_WARNING << "reader thread did not stop within" << kJoinMs << "ms; port A is closed when it does";
    FT4222HDataThread *reader = d->thread.release();
    disconnect(reader, nullptr, this, nullptr);
    reader->orphan(); // deleting it lets go of the session
    d->bridge->close(FT4222HBridge::PortB);
    startSession();
    return false;
}

bool FT4222HCommandHandler::setDataRate(int)
{
    return true;
}

QString FT4222HCommandHandler::getFirmwareVersion(uchar)
{
    CH_DEBUG << m_deviceName;
    return QString();
}

QString FT4222HCommandHandler::getModuleAndFirmwareVersion(uchar)
{
    CH_DEBUG << m_deviceName;
    return QString();
}

bool FT4222HCommandHandler::reopenDevice()
{
    CH_DEBUG << m_deviceName;
    return false;
}

QString FT4222HCommandHandler::deviceFlagToString(ulong flags)
{
    return QLatin1String((flags & 1) ? "OPEN" : "CLOSED") + QLatin1String(", ")
        + QLatin1String((flags & 2) ? "High-speed" : "Full-speed");
}

void FT4222HCommandHandler::listFtUsbDevices()
{
    DWORD_FT count = 0;
    if (ftd2xx().FT_CreateDeviceInfoList(&count) != kFtOk || count == 0)
        return;
    std::vector<DeviceListNode> nodes(count);
    DWORD_FT filled = count;
    if (ftd2xx().FT_GetDeviceInfoList(nodes.data(), &filled) != kFtOk)
        return;
    CH_DEBUG << " Devices: " << count;
    for (DWORD_FT i = 0; i < qMin(count, filled); ++i) {
        const DeviceListNode &n = nodes[i];
        CH_DEBUG << "   Desc:   " << text(n.description, sizeof n.description);
        CH_DEBUG << "   Flags:  " << deviceFlagToString(n.flags) << "(" << n.flags << ")";
        CH_DEBUG << "   Type:   " << n.type;
        CH_DEBUG << "   ID:     " << ftHex(n.id);
        CH_DEBUG << "   LocId:  " << ftHex(n.locId);
        CH_DEBUG << "   SerNr.: " << text(n.serialNumber, sizeof n.serialNumber);
    }
}

void FT4222HCommandHandler::dumpChipAndLibraryVersion(FT_HANDLE handle)
{
    FT4222_Version version { 0, 0 };
    if (handle && ft4222().FT4222_GetVersion(handle, &version) == kFtOk)
        CH_DEBUG << "LibFT4222: chipVersion:" << ftHex(version.chipVersion)
                 << "dllVersion:" << ftHex(version.dllVersion);
    else
        CH_DEBUG << "LibFT422: unable to read chip and library version!";
}

bool FT4222HCommandHandler::GPIOInit(GPIO_Dir *directions)
{
    FT_HANDLE portB = d->bridge->handle(FT4222HBridge::PortB);
    const FT_STATUS status = portB ? ft4222().FT4222_GPIO_Init(portB, directions) : kFtInvalidHandle;
    CH_DEBUG << "state of ft4222_GPIO_Init:" << status;
    if (status != kFtOk)
        return false;
    for (GPIO_Port line : { GPIO_PORT0, GPIO_PORT1, GPIO_PORT2, GPIO_PORT3 })
        GPIOWrite(line, 0);
    return true;
}

bool FT4222HCommandHandler::GPIOWrite(GPIO_Port port, int value)
{
    FT_HANDLE portB = d->bridge->handle(FT4222HBridge::PortB);
    return portB && ft4222().FT4222_GPIO_Write(portB, port, value) == kFtOk;
}

void FT4222HCommandHandler::setICDebuggerDataAvailable(bool available)
{
    GPIOWrite(GPIO_PORT1, available ? 1 : 0);
}

void FT4222HCommandHandler::clearICDebuggerDataAvailable()
{
    GPIOWrite(GPIO_PORT1, 0);
}

bool FT4222HCommandHandler::initializeBridge(SPI_SlaveProtocol protocol, GPIO_Dir *directions)
{
    if (!GPIOInit(directions)) {
        CH_DEBUG << "GPIO Init --> FAILED";
        return false;
    }
    CH_DEBUG << "GPIO Init --> OK";
    if (d->bridge->withPortA([protocol](FT_HANDLE port) { return ft4222().FT4222_SPISlave_InitEx(port, protocol); })
        == kFtOk) {
        CH_DEBUG << "SPI Slave Init --> OK";
        return true;
    }
    CH_DEBUG << "SPI Slave Init --> FAILED";
    return false;
}

bool FT4222HCommandHandler::spiReset()
{
    return d->bridge->withPortA([](FT_HANDLE port) { return ft4222().FT4222_SPI_Reset(port); }) == kFtOk;
}

bool FT4222HCommandHandler::uninitialize()
{
    FT_HANDLE portB = d->bridge->handle(FT4222HBridge::PortB);
    const FT_STATUS status = portB ? ft4222().FT4222_UnInitialize(portB) : kFtInvalidHandle;
    CH_DEBUG << status;
    return status == kFtOk;
}

bool FT4222HCommandHandler::openPort(int port, quint32 location, const QString &description)
{
    const auto which = FT4222HBridge::Port(port);
    if (d->bridge->handle(which)) {
        // A second bridge: the first one found stays in use.
        CH_DEBUG << "ignored" << description << "at" << ftHex(location);
        return true;
    }
    const bool a = which == FT4222HBridge::PortA;
    if (!d->bridge->open(which, location)) {
        CH_DEBUG << (a ? "Open FT4222_A device failed!" : "Open FT4222_B device failed!");
        return false;
    }
    CH_DEBUG << (a ? "opened handlePortA:" : "opened handlePortB:") << description;
    if (a)
        dumpChipAndLibraryVersion(d->bridge->handle(which));
    return true;
}

bool FT4222HCommandHandler::openDevice(QVariant)
{
    CH_DEBUG << m_deviceName;
    if (d->bridge->handle(FT4222HBridge::PortA) || d->bridge->handle(FT4222HBridge::PortB))
        closeDevice(); // never leak the handles of an earlier open
    deviceOpen = false;
    timeoutedAddresses.clear();
    if (!d->bridge->acquireLibraries()) {
        CH_DEBUG << "initialisation failed!!!";
        return false;
    }
    listFtUsbDevices();

    DWORD_FT count = 0;
    if (ftd2xx().FT_CreateDeviceInfoList(&count) != kFtOk)
        count = 0;
    CH_DEBUG << " Devices: " << count;
    for (DWORD_FT i = 0; i < count; ++i) {
        DWORD_FT flags = 0, type = 0, id = 0, locId = 0;
        char serial[16] = {};
        char description[64] = {};
        FT_HANDLE unused = nullptr;
        const FT_STATUS status
            = ftd2xx().FT_GetDeviceInfoDetail(i, &flags, &type, &id, &locId, serial, description, &unused);
        if (status != kFtOk) {
            CH_DEBUG << "state of ftd2xx_getDeviceInfoDetail:" << status;
            continue;
        }
        const QString desc = text(description, sizeof description);
        CH_DEBUG << "   Dev:    " << i;
        CH_DEBUG << "   Desc:   " << desc;
        CH_DEBUG << "   Flags:  " << deviceFlagToString(flags) << "(" << flags << ")";
        CH_DEBUG << "   Type:   " << type;
        CH_DEBUG << "   ID:     " << ftHex(id);
        CH_DEBUG << "   LocId:  " << ftHex(locId);
        CH_DEBUG << "   SerNr.: " << text(serial, sizeof serial);
        if (desc == QLatin1String("FT4222 A") && !openPort(FT4222HBridge::PortA, locId, desc))
            return false;
        if (desc == QLatin1String("FT4222 B") && !openPort(FT4222HBridge::PortB, locId, desc))
            return false;
    }

    resetDebugger();
    // 3: the 80 MHz system clock.
    const FT_STATUS status = d->bridge->withPortA([](FT_HANDLE port) { return ft4222().FT4222_SetClock(port, 3); });
    CH_DEBUG << "Status of ft4222_setClock:" << status;

    GPIO_Dir directions[4] = { GPIO_OUTPUT, GPIO_OUTPUT, GPIO_OUTPUT, GPIO_OUTPUT };
    if (!initializeBridge(SPI_SLAVE_NO_PROTOCOL, directions)) {
        CH_DEBUG << "Initialize Bridge --> FAILED";
        return false;
    }
    CH_DEBUG << "Initialize Bridge --> OK";
    d->thread->begin(QThread::InheritPriority);
    deviceOpen = true;
    return true;
}

bool FT4222HCommandHandler::closeDevice()
{
    // Joined rather than only asked to stop, so that a following open can start it again.
    const bool stopped = joinReader();
    CH_DEBUG << m_deviceName;
    d->bridge->close();
    return stopped;
}
