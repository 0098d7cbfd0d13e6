#include "ft4222hcommandhandler.h"

#include "chlog_p.h"
#include "ft4222hdatathread_p.h"
#include "ft4222hpacketsplitter_p.h"
#include "ftdilibraries_p.h"
#include "vexadebuggerdataset.h"
#include "zaplcommand.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace {
constexpr FT_STATUS kFtInvalidHandle = 1;
constexpr quint8 kSync = 0x50;
constexpr int kMaxWrites = 5;
constexpr int kZaplResetMs = 3000;
constexpr int kConfigResetMs = 5000;

// A reply packet as one atomic word: the reader stores it whole after it is complete, the
// caller takes it whole, so register and value always belong together.
constexpr quint64 kReplyValid = quint64(1) << 40;
quint64 packReply(quint8 reg, qint32 value)
{
    return kReplyValid | (quint64(reg) << 32) | quint32(value);
}
quint8 replyRegister(quint64 r)
{
    return quint8(r >> 32);
}
qint32 replyValue(quint64 r)
{
    return qint32(quint32(r));
}

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

QString hex(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16);
}

QString text(const char *bytes, int size)
{
    return QString::fromLatin1(bytes, int(qstrnlen(bytes, uint(size))));
}

enum LiveChange { NoChange = 0, BecameOff = 1, BecameOn = 2 };
} // namespace

struct FT4222HCommandHandler::Private
{
    QMutex bridgeLock; // port A calls only, one vendor call at a time
    FT_HANDLE portA = nullptr;
    FT_HANDLE portB = nullptr;
    FT4222HPacketSplitter receivedBytes; // the reader thread's alone
    std::unique_ptr<FT4222HDataThread> thread;
    bool holdsLibraries = false;

    // Shared with the reader thread.
    std::atomic<bool> acknowledge { false };
    std::atomic<quint64> registerReply { 0 };
    std::atomic<quint64> configReply { 0 }; // starts clear: no read-back compares against nothing
    std::atomic<bool> liveCurrent { false };
    std::atomic<int> packetsSinceTick { 0 };
    // The live-mode transitions check one flag and set another; both threads make them.
    std::mutex liveLock;
    bool livePrevious = false;
    bool startPending = false;

    // Caller's thread only.
    quint8 currentAddress = 0;
    quint8 lastWriteType = 0;
    qint32 lastWriteValue = 0;

    // Returns the LiveChange to report.
    int setLive(bool value)
    {
        liveCurrent.store(value, std::memory_order_release);
        if (livePrevious == value)
            return NoChange;
        livePrevious = value;
        return value ? BecameOn : BecameOff;
    }
};

FT4222HCommandHandler::FT4222HCommandHandler(QObject *parent) : CommandHandlerInterface(parent), d(new Private)
{
    setObjectName(QStringLiteral("SPI FT4222H"));
    setDeviceName(QStringLiteral("SPI FT4222H"));
    m_dataRate = 1000;
    setMaxTimeoutMS(100);
    setDefaultTimeoutMS(50);
    setLiveModeActive(false);
    d->thread.reset(new FT4222HDataThread(&d->portA, &d->bridgeLock, &d->receivedBytes));
    connect(d->thread.get(), &FT4222HDataThread::newReadPacket, this, &FT4222HCommandHandler::handleReadPacket,
        Qt::DirectConnection);
}

FT4222HCommandHandler::~FT4222HCommandHandler()
{
    // The reader uses the lock, the handle field and the byte list: it ends before they do.
    if (joinReader())
        CH_DEBUG << "dataThread finished.";
    d->thread.reset();
    // Handles left open would outlive the library that owns them.
    closePort(&d->portA, "handlePortA closed.", "Could not close handlePortA!");
    closePort(&d->portB, "handlePortB closed.", "Could not close handlePortB!");
    if (d->holdsLibraries) {
        d->holdsLibraries = false;
        FT4222H_unloadLibraries();
    }
}

bool FT4222HCommandHandler::joinReader()
{
    if (d->thread->stopAndJoin(1000))
        return true;
    // Each pass is bounded by the 1 ms read time-out, so this ends unless the vendor call hangs.
    CH_WARNING << "reader thread still busy after 1000 ms; waiting for it";
    d->thread->wait();
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

// ---- bridge ---------------------------------------------------------------------------------

QString FT4222HCommandHandler::deviceFlagToString(ulong flags)
{
    return QLatin1String((flags & 1) ? "OPEN" : "CLOSED") + QLatin1String(", ")
        + QLatin1String((flags & 2) ? "High-speed" : "Full-speed");
}

void FT4222HCommandHandler::listFtUsbDevices()
{
    DWORD_FT count = 0;
    if (bridgeD2xx().FT_CreateDeviceInfoList(&count) != kFtOk || count == 0)
        return;
    std::vector<DeviceListNode> nodes(count);
    DWORD_FT filled = count;
    if (bridgeD2xx().FT_GetDeviceInfoList(nodes.data(), &filled) != kFtOk)
        return;
    CH_DEBUG << " Devices: " << count;
    for (DWORD_FT i = 0; i < qMin(count, filled); ++i) {
        const DeviceListNode &n = nodes[i];
        CH_DEBUG << "   Desc:   " << text(n.description, sizeof n.description);
        CH_DEBUG << "   Flags:  " << deviceFlagToString(n.flags) << "(" << n.flags << ")";
        CH_DEBUG << "   Type:   " << n.type;
        CH_DEBUG << "   ID:     " << hex(n.id);
        CH_DEBUG << "   LocId:  " << hex(n.locId);
        CH_DEBUG << "   SerNr.: " << text(n.serialNumber, sizeof n.serialNumber);
    }
}

void FT4222HCommandHandler::dumpChipAndLibraryVersion(FT_HANDLE handle)
{
    FT4222_Version version { 0, 0 };
    if (handle && ft4222().FT4222_GetVersion(handle, &version) == kFtOk)
        CH_DEBUG << "LibFT4222: chipVersion:" << hex(version.chipVersion) << "dllVersion:" << hex(version.dllVersion);
    else
        CH_DEBUG << "LibFT422: unable to read chip and library version!";
}

bool FT4222HCommandHandler::GPIOInit(GPIO_Dir *directions)
{
    const FT_STATUS status = d->portB ? ft4222().FT4222_GPIO_Init(d->portB, directions) : kFtInvalidHandle;
    CH_DEBUG << "state of ft4222_GPIO_Init:" << status;
    if (status != kFtOk)
        return false;
    for (GPIO_Port line : { GPIO_PORT0, GPIO_PORT1, GPIO_PORT2, GPIO_PORT3 })
        GPIOWrite(line, 0);
    return true;
}

bool FT4222HCommandHandler::GPIOWrite(GPIO_Port port, int value)
{
    return d->portB && ft4222().FT4222_GPIO_Write(d->portB, port, value) == kFtOk;
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
    QMutexLocker lock(&d->bridgeLock);
    if (d->portA && ft4222().FT4222_SPISlave_InitEx(d->portA, protocol) == kFtOk) {
        CH_DEBUG << "SPI Slave Init --> OK";
        return true;
    }
    CH_DEBUG << "SPI Slave Init --> FAILED";
    return false;
}

bool FT4222HCommandHandler::spiReset()
{
    QMutexLocker lock(&d->bridgeLock);
    return d->portA && ft4222().FT4222_SPI_Reset(d->portA) == kFtOk;
}

bool FT4222HCommandHandler::uninitialize()
{
    const FT_STATUS status = d->portB ? ft4222().FT4222_UnInitialize(d->portB) : kFtInvalidHandle;
    CH_DEBUG << status;
    return status == kFtOk;
}

bool FT4222HCommandHandler::openPort(
    quint32 location, const QString &description, FT_HANDLE *handle, const char *failed, const char *opened)
{
    if (*handle) {
        // A second bridge: the first one found stays in use.
        CH_DEBUG << "ignored" << description << "at" << hex(location);
        return true;
    }
    FT_HANDLE h = nullptr;
    if (bridgeD2xx().FT_OpenEx(reinterpret_cast<void *>(std::uintptr_t(location)), kFtOpenByLocation, &h) != kFtOk
        || !h) {
        CH_DEBUG << failed;
        return false;
    }
    {
        QMutexLocker lock(&d->bridgeLock);
        *handle = h;
    }
    CH_DEBUG << opened << description;
    bridgeD2xx().FT_SetTimeouts(h, 1, 100);
    return true;
}

void FT4222HCommandHandler::closePort(FT_HANDLE *handle, const char *closed, const char *failed)
{
    QMutexLocker lock(&d->bridgeLock);
    if (!*handle)
        return;
    if (bridgeD2xx().FT_Close(*handle) == kFtOk)
        CH_DEBUG << closed;
    else
        CH_DEBUG << failed;
    *handle = nullptr;
}

bool FT4222HCommandHandler::openDevice(QVariant)
{
    CH_DEBUG << m_deviceName;
    if (d->portA || d->portB)
        closeDevice(); // never leak the handles of an earlier open
    deviceOpen = false;
    timeoutedAddresses.clear();
    if (!FT4222H_loadLibraries()) {
        CH_DEBUG << "initialisation failed!!!";
        return false;
    }
    if (!d->holdsLibraries) {
        FT4222H_retainLibraries();
        d->holdsLibraries = true;
    }
    listFtUsbDevices();

    DWORD_FT count = 0;
    if (bridgeD2xx().FT_CreateDeviceInfoList(&count) != kFtOk)
        count = 0;
    CH_DEBUG << " Devices: " << count;
    for (DWORD_FT i = 0; i < count; ++i) {
        DWORD_FT flags = 0, type = 0, id = 0, locId = 0;
        char serial[16] = {};
        char description[64] = {};
        FT_HANDLE unused = nullptr;
        const FT_STATUS status
            = bridgeD2xx().FT_GetDeviceInfoDetail(i, &flags, &type, &id, &locId, serial, description, &unused);
        if (status != kFtOk) {
            CH_DEBUG << "state of ftd2xx_getDeviceInfoDetail:" << status;
            continue;
        }
        const QString desc = text(description, sizeof description);
        CH_DEBUG << "   Dev:    " << i;
        CH_DEBUG << "   Desc:   " << desc;
        CH_DEBUG << "   Flags:  " << deviceFlagToString(flags) << "(" << flags << ")";
        CH_DEBUG << "   Type:   " << type;
        CH_DEBUG << "   ID:     " << hex(id);
        CH_DEBUG << "   LocId:  " << hex(locId);
        CH_DEBUG << "   SerNr.: " << text(serial, sizeof serial);
        if (desc == QLatin1String("FT4222 A")) {
            const bool first = !d->portA;
            if (!openPort(locId, desc, &d->portA, "Open FT4222_A device failed!", "opened handlePortA:"))
                return false;
            if (first)
                dumpChipAndLibraryVersion(d->portA);
        } else if (desc == QLatin1String("FT4222 B")) {
            if (!openPort(locId, desc, &d->portB, "Open FT4222_B device failed!", "opened handlePortB:"))
                return false;
        }
    }

    resetDebugger();
    FT_STATUS status = kFtInvalidHandle;
    {
        QMutexLocker lock(&d->bridgeLock);
        if (d->portA)
            status = ft4222().FT4222_SetClock(d->portA, 3); // 80 MHz system clock
    }
    CH_DEBUG << "Status of ft4222_setClock:" << status;

    GPIO_Dir directions[4] = { GPIO_OUTPUT, GPIO_OUTPUT, GPIO_OUTPUT, GPIO_OUTPUT };
    if (!initializeBridge(SPI_SLAVE_NO_PROTOCOL, directions)) {
        CH_DEBUG << "Initialize Bridge --> FAILED";
        return false;
    }
    CH_DEBUG << "Initialize Bridge --> OK";
    d->receivedBytes.clear(); // the reader is not running: nothing else touches the list now
    d->thread->begin(QThread::InheritPriority);
    deviceOpen = true;
    return true;
}

bool FT4222HCommandHandler::closeDevice()
{
    // Joined rather than only asked to stop, so that a following open can start it again.
    joinReader();
    CH_DEBUG << m_deviceName;
    closePort(&d->portA, "handlePortA closed.", "Could not close handlePortA!");
    closePort(&d->portB, "handlePortB closed.", "Could not close handlePortB!");
    if (d->holdsLibraries) {
        d->holdsLibraries = false;
        FT4222H_unloadLibraries();
    }
    return true;
}

// ---- frames ---------------------------------------------------------------------------------

bool FT4222HCommandHandler::spiSlaveWriteData(quint8 *data, quint32 length, quint32 *written)
{
    quint16 done = 0;
    FT_STATUS status = kFtInvalidHandle;
    if (length <= 0xFFFF) {
        QMutexLocker lock(&d->bridgeLock);
        if (d->portA)
            status = ft4222().FT4222_SPISlave_Write(d->portA, data, quint16(length), &done);
    }
    if (written)
        *written = done;
    if (status == kFtOk)
        return true;
    CH_DEBUG << status << length << done;
    return false;
}

bool FT4222HCommandHandler::waitForReadAccess()
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (d->acknowledge.exchange(false, std::memory_order_acquire))
            return true;
        if (timer.elapsed() >= maxTimeoutMs) {
            d->acknowledge.store(false, std::memory_order_relaxed);
            CH_DEBUG << "communication timeouted!";
            return false;
        }
        QThread::yieldCurrentThread();
    }
}

bool FT4222HCommandHandler::sendFrame(
    quint8 identifier, quint8 reg, quint32 value, const char *writeFailed, const char *allFailed)
{
    GPIOWrite(GPIO_PORT1, 0);
    quint8 frame[8]
        = { 0x00, kSync, identifier, reg, quint8(value >> 24), quint8(value >> 16), quint8(value >> 8), quint8(value) };
    // While live data flows the module expects a leading zero byte.
    const bool live = d->liveCurrent.load(std::memory_order_acquire);
    quint8 *start = live ? frame : frame + 1;
    const quint32 length = live ? 8 : 7;
    for (int n = 0;;) {
        quint32 written = 0;
        if (!spiSlaveWriteData(start, length, &written)) {
            CH_DEBUG << writeFailed;
            return false;
        }
        for (int level : { 0, 1, 0, 1 })
            GPIOWrite(GPIO_PORT1, level);
        ++n;
        if (n != 1)
            CH_DEBUG << "retry:" << n;
        if (n == kMaxWrites) {
            CH_DEBUG << allFailed;
            return false;
        }
        if (waitForReadAccess())
            return true;
    }
}

bool FT4222HCommandHandler::sendConfigFrame(quint8 identifier, quint8 reg, quint32 value, bool, quint8)
{
    return sendFrame(identifier, reg, value, "--> Write failed!", "configuration --> failed!");
}

bool FT4222HCommandHandler::sendRegisterRWFrame(uint8_t identifier, uint8_t motor, uint8_t reg, uint32_t value)
{
    if (!sendFrame(quint8(identifier | motor), reg, value, "--> write failed!", "communication --> failed!"))
        return false;
    incZaplCommandCounter();
    return true;
}

void FT4222HCommandHandler::handleReadPacket(uchar sync, uchar id, uchar timeStamp, int registerValue)
{
    // Runs in the reader thread: touches atomics only, and emits.
    if (sync != kSync)
        return;
    switch (id & 0xF0) {
    case 0x20:
        d->configReply.store(packReply(timeStamp, registerValue), std::memory_order_release);
        d->packetsSinceTick.fetch_add(1, std::memory_order_relaxed);
        break;
    case 0x40:
        d->registerReply.store(packReply(timeStamp, registerValue), std::memory_order_release);
        d->packetsSinceTick.fetch_add(1, std::memory_order_relaxed);
        break;
    case 0x60: {
        int change = NoChange;
        {
            std::lock_guard<std::mutex> lock(d->liveLock);
            if (d->startPending)
                change = d->setLive(true);
        }
        emitLiveChange(change);
        emit liveDataAvailable(uchar(id & 0x0F), timeStamp, registerValue);
        d->packetsSinceTick.fetch_add(1, std::memory_order_relaxed);
        break;
    }
    case 0xF0:
        d->acknowledge.store(true, std::memory_order_release);
        break;
    default:
        CH_DEBUG << "Unknow paket ID:" << (id & 0xF0);
        break;
    }
}

void FT4222HCommandHandler::timerEvent(QTimerEvent *event)
{
    // Packets counted by the reader join the statistics in this thread.
    zaplCommandCounter += d->packetsSinceTick.exchange(0, std::memory_order_relaxed);
    CommandHandlerInterface::timerEvent(event);
}

void FT4222HCommandHandler::blockAddress(uchar address, int resetAfterMs)
{
    if (timeoutedAddresses.isEmpty())
        QTimer::singleShot(resetAfterMs, Qt::PreciseTimer, this, &FT4222HCommandHandler::resetTimeOutedDevices);
    setAddressTimeout(address);
}

void FT4222HCommandHandler::resetTimeOutedDevices()
{
    CH_DEBUG << "called";
    timeoutedAddresses.clear();
}

bool FT4222HCommandHandler::writeZAPLCommand(ZAPLRequestCommand *request)
{
    if (debugEnabled)
        CH_DEBUG << request->toString() << request->toHex();
    if (historyActive)
        emit variantMessageOutput(Serial_ZAPL_Request, QVariant::fromValue(request));
    d->currentAddress = request->moduleAddress();
    if (!deviceOpen || !d->thread->running())
        return false;
    if (timeoutedAddresses.contains(d->currentAddress))
        return false;
    switch (request->command()) {
    case 148:
    case 149:
        // A reply that came after an earlier time-out must not answer this request.
        d->registerReply.store(0, std::memory_order_relaxed);
        return sendRegisterRWFrame(0x40, request->motorNumber(), request->type(), quint32(request->value()));
    case 146:
    case 147:
        d->lastWriteType = request->type();
        d->lastWriteValue = request->value();
        return sendRegisterRWFrame(0x50, request->motorNumber(), request->type(), quint32(request->value()));
    default:
        CH_DEBUG << "Wrong command:" << request->command() << "!";
        return false;
    }
}

void FT4222HCommandHandler::readNextZAPLCommand(ZAPLReplyCommand *reply, quint8 command, quint8 address)
{
    reply->setValid(false);
    if (!deviceOpen || timeoutedAddresses.contains(address)) {
        if (debugEnabled)
            CH_DEBUG << "!open";
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < maxTimeoutMs) {
        if (command == 148 || command == 149) {
            const quint64 r = d->registerReply.exchange(0, std::memory_order_acquire);
            if (r & kReplyValid) {
                reply->setValid(true);
                reply->setType(replyRegister(r));
                reply->setValue(replyValue(r));
                reply->setStatus(100);
            }
        } else if (command == 146 || command == 147) {
            // The acknowledge was the whole answer; report the register and value written.
            reply->setValid(true);
            reply->setType(d->lastWriteType);
            reply->setValue(d->lastWriteValue);
            reply->setStatus(100);
        }
        if (reply->isValid()) {
            if (debugEnabled)
                CH_DEBUG << reply->toString() << reply->toHex();
            return;
        }
        QThread::yieldCurrentThread();
    }
    CH_DEBUG << "communicationTimeouted!";
    blockAddress(address, kZaplResetMs);
}

void FT4222HCommandHandler::doDirectRequest(Command *request, Command *reply)
{
    if (!request)
        return;
    if (isLiveModeActive()) {
        if (reply)
            reply->setValid(false);
        return;
    }
    ZAPLRequestCommand zaplRequest(request);
    if (!writeZAPLCommand(&zaplRequest)) {
        if (reply)
            reply->setValid(false);
        if (historyActive) {
            ZAPLReplyCommand empty;
            emit variantMessageOutput(Serial_ZAPL_Reply, QVariant::fromValue(&empty));
        }
        blockAddress(d->currentAddress, kZaplResetMs);
        return;
    }
    ZAPLReplyCommand zaplReply;
    readNextZAPLCommand(&zaplReply, zaplRequest.command(), zaplRequest.moduleAddress());
    if (historyActive)
        emit variantMessageOutput(Serial_ZAPL_Reply, QVariant::fromValue(&zaplReply));
    if (!reply)
        return;
    if (!zaplReply.isValid()) {
        reply->setValid(false);
        return;
    }
    reply->setValid(true);
    reply->setAddress(request->address());
    reply->setCommand(request->command());
    reply->setType(zaplReply.type());
    if (zaplReply.type() != request->type())
        d->thread->flush();
    reply->setStatus(zaplReply.status());
    reply->setMotorBank(request->motorBank());
    reply->setValue(zaplReply.value());
    reply->setReplyAddress(zaplReply.replyAddress());
}

void FT4222HCommandHandler::doDirectRequestWithoutAnswer(Command *)
{
    CH_DEBUG << "not implemented!";
}

// ---- monitoring unit and live data ----------------------------------------------------------

bool FT4222HCommandHandler::initializeDebugger(VexaDebuggerDataset *dataset)
{
    const bool ok = initializeVhdlModul(dataset);
    CH_DEBUG << (ok ? "Initialize VHDL Modul --> OK" : "Initialize VHDL Modul --> FAILED");
    return ok;
}

bool FT4222HCommandHandler::writeAndVerify(quint8 reg, quint32 value, const char *label)
{
    for (int round = 0; round < kMaxConfigRounds; ++round) {
        CH_DEBUG << label << hex(value);
        if (!sendConfigFrame(0x30, reg, value, true, 1))
            return false;
        if (readConfigRegister(reg, qint32(value)))
            return true;
    }
    CH_DEBUG << "register" << reg << "not verified after" << kMaxConfigRounds << "writes";
    return false;
}

bool FT4222HCommandHandler::initializeVhdlModul(VexaDebuggerDataset *dataset)
{
    CH_DEBUG << "called";
    if (!dataset)
        return false;
    setLiveModeActive(false);
    CH_DEBUG << "a)";
    static const char *const labels[4]
        = { "Channel 0 Register:", "Channel 1 Register:", "Channel 2 Register:", "Channel 3 Register:" };
    static const char *const computed[4] = { "b)", "d)", "f)", "h)" };
    static const char *const verified[4] = { "c)", "e)", "g)", "i)" };
    for (int n = 0; n < 4; ++n) {
        const quint32 value = (quint32(dataset->channelFlag31[n]) << 31) | (quint32(dataset->channelFlag30[n]) << 30)
            | (quint32(dataset->channelHigh[n]) << 24) | (quint32(dataset->channelMidHigh[n]) << 16)
            | (quint32(dataset->channelMidLow[n]) << 8) | quint32(dataset->channelLow[n]);
        CH_DEBUG << computed[n];
        if (!writeAndVerify(quint8(n + 1), value, labels[n]))
            return false;
        CH_DEBUG << verified[n];
    }
    const quint32 general = (quint32(dataset->generalHigh) << 16) | (quint32(dataset->generalNibble12) << 12)
        | (quint32(dataset->generalNibble8) << 8) | quint32(dataset->generalLow | 0x10);
    CH_DEBUG << "j)";
    if (!writeAndVerify(5, general, "General Config Register:"))
        return false;
    CH_DEBUG << "k)";
    if (!writeAndVerify(6, dataset->triggerValue, "TriggerValue:"))
        return false;
    CH_DEBUG << "l)";
    if (!writeAndVerify(7, dataset->singleShotValues, "Singleshot Values Register:"))
        return false;
    CH_DEBUG << "m)";
    return true;
}

bool FT4222HCommandHandler::readConfigRegister(quint8 reg, qint32 expected)
{
    if (!sendConfigFrame(0x20, reg, 0, true, 1)) {
        resetDebugger();
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    quint64 r = 0;
    while (
        !((r = d->configReply.exchange(0, std::memory_order_acquire)) & kReplyValid) && timer.elapsed() < maxTimeoutMs)
        QThread::usleep(25);
    if (!(r & kReplyValid)) {
        CH_DEBUG << "communicationTimeouted!";
        blockAddress(d->currentAddress, kConfigResetMs);
        return false;
    }
    if (replyRegister(r) != reg || replyValue(r) != expected) {
        CH_DEBUG << "(reg == lastReadedConfigReg) && (regValue == lastReadedConfigValue)!";
        return false;
    }
    return true;
}

bool FT4222HCommandHandler::startDebugger()
{
    setLiveModeActive(false);
    {
        std::lock_guard<std::mutex> lock(d->liveLock);
        d->startPending = true;
    }
    const bool ok = sendConfigFrame(0x70, 0, 0, false, 1);
    CH_DEBUG << (ok ? "Start Debugger --> OK" : "Start Debugger --> FAILED");
    return ok;
}

bool FT4222HCommandHandler::stopDebugger()
{
    CH_DEBUG << "called";
    const bool ok = sendConfigFrame(0x80, 0, 0, false, 1);
    CH_DEBUG << (ok ? "Stop Debugger --> OK" : "Stop Debugger --> FAILED");
    int change = NoChange;
    {
        // Pending and live go off together: a live packet in flight cannot switch live back on.
        std::lock_guard<std::mutex> lock(d->liveLock);
        d->startPending = false;
        change = d->setLive(false);
    }
    emitLiveChange(change);
    return ok;
}

bool FT4222HCommandHandler::resetDebugger()
{
    CH_DEBUG << "called";
    return spiReset();
}

void FT4222HCommandHandler::setLiveModeActive(bool active)
{
    int change = NoChange;
    {
        std::lock_guard<std::mutex> lock(d->liveLock);
        change = d->setLive(active);
    }
    emitLiveChange(change);
}

void FT4222HCommandHandler::emitLiveChange(int change)
{
    if (change == NoChange)
        return;
    const bool enabled = change == BecameOn;
    CH_LOW << (enabled ? "true" : "false");
    emit liveModeChanged(enabled);
}

bool FT4222HCommandHandler::isLiveModeActive() const
{
    return d->liveCurrent.load(std::memory_order_acquire);
}
