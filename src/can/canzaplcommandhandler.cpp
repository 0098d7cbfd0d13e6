#include "canzaplcommandhandler.h"

#include "basictools.h"
#include "canadapter_p.h"
#include "canzaplcommand.h"
#include "canzapltexts_p.h"
#include "chlog_p.h"
#include "command.h"
#include "portloss_p.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <cstring>

namespace {
constexpr int kUnmuteMs = 5000;
constexpr quint8 kGetVersion = 136;
constexpr int kMaxDrainPerAddress = 4096; // a flooding bus cannot hold a drain forever
} // namespace

// Lines of the operation in progress, under the concrete handler's name.
#define CH_ZAPL_TRACE CH_CAN_TRACE(isDebugEnabled())

// Marks a write or a reply wait. Both may run the event loop (SLCAN and Qt SerialBus adapters
// poll through it, an acknowledge wait runs a local loop); an un-mute that fired meanwhile
// would drain the very reply being awaited, so it is held back and run when the outermost
// one ends.
class CanZaplWaitGuard
{
public:
    explicit CanZaplWaitGuard(CANZAPLCommandHandler &handler) : m_handler(handler) { ++m_handler.m_busy; }
    ~CanZaplWaitGuard() { --m_handler.m_busy; }
    CanZaplWaitGuard(const CanZaplWaitGuard &) = delete;
    CanZaplWaitGuard &operator=(const CanZaplWaitGuard &) = delete;
    void finish()
    {
        if (m_handler.m_busy == 1 && m_handler.m_unmutePending) {
            m_handler.m_unmutePending = false;
            m_handler.resetTimeOutedDevices();
        }
    }

private:
    CANZAPLCommandHandler &m_handler;
};

CANZAPLCommandHandler::CANZAPLCommandHandler(CanAdapter *adapter, const CanZaplTexts &texts, QObject *parent)
    : CommandHandlerInterface(parent), m_adapter(adapter), m_texts(texts), m_connectionType(texts.connectionType)
{
    m_dataRate = 1000;
    setMaxTimeoutMS(500);
    setDefaultTimeoutMS(500);
    setObjectName(QLatin1String(texts.name));
    setDeviceName(objectName());
    m_adapter->setRateHook([this](int kbitPerSecond) { setDataRate(kbitPerSecond); });
    m_adapter->setNoticeSink([this](const CanAdapterNotice &notice) { adapterNotice(notice); });
}

CANZAPLCommandHandler::~CANZAPLCommandHandler()
{
    // The concrete handler is gone already: nothing the adapter does while it goes may call in.
    m_adapter->setNoticeSink(nullptr);
    m_adapter->setRateHook(nullptr);
    m_adapter.reset();
}

bool CANZAPLCommandHandler::openAdapter(const QVariant &, int bitRate, const CanTrace &trace)
{
    return m_adapter->bringUp(bitRate, trace);
}

bool CANZAPLCommandHandler::closeAdapter(const CanTrace &trace)
{
    return m_adapter->shutDown(trace);
}

QVariant CANZAPLCommandHandler::reopenArgument() const
{
    return m_dataRate;
}

QString CANZAPLCommandHandler::openLineExtra(const QVariant &) const
{
    return QString();
}

bool CANZAPLCommandHandler::sendFrame(const CanMessage &frame, const CanTrace &trace)
{
    return m_adapter->send(frame, trace);
}

void CANZAPLCommandHandler::emitTraffic(MessageFlag flag, void *frame, bool request)
{
    if (!isHistoryActive())
        return;
    const QVariant v = request ? QVariant::fromValue(static_cast<CANZAPLRequestCommand *>(frame))
                               : QVariant::fromValue(static_cast<CANZAPLReplyCommand *>(frame));
    emit variantMessageOutput(MessageFlags(flag), v);
}

void CANZAPLCommandHandler::unmuteTimerFired()
{
    if (m_busy > 0)
        m_unmutePending = true;
    else
        resetTimeOutedDevices();
}

void CANZAPLCommandHandler::adapterNotice(const CanAdapterNotice &notice)
{
    switch (notice.kind) {
    case CanAdapterNotice::DeviceGone: {
        CH_SELF_WARNING << notice.text;
        if (!deviceOpen)
            return;
        // Later requests fail at once until the host reopens. The adapter is taken down once
        // control is back in the event loop, never from inside its own notice.
        deviceOpen = false;
        QTimer::singleShot(0, this, [this] {
            if (!deviceOpen)
                closeAdapter(CH_ZAPL_TRACE);
        });
        emit handleDetachedDevice(m_connectionType, deviceName());
        // The fault the serial handler reports for a lost port, under the same name.
        emit faultsMessage(QVariantHash { { QLatin1String(ch::kPortLostFault),
            notice.device.isEmpty() ? QVariant(notice.text) : QVariant(notice.device) } });
        return;
    }
    case CanAdapterNotice::BusOff:
        CH_SELF_WARNING << notice.text;
        emit faultsMessage(QVariantHash { { QStringLiteral("CAN Bus Off"), notice.text } });
        return;
    case CanAdapterNotice::ErrorFrame:
        emit faultsMessage(QVariantHash { { QStringLiteral("CAN Error Frame"), notice.text } });
        return;
    }
}

bool CANZAPLCommandHandler::setDataRate(int kbitPerSecond)
{
    if (m_texts.storesRateOnlyOnSuccess) {
        if (!m_adapter->applyBitRate(kbitPerSecond, CH_ZAPL_TRACE))
            return false;
        m_dataRate = kbitPerSecond;
        return true;
    }
    m_dataRate = kbitPerSecond;
    return m_adapter->applyBitRate(kbitPerSecond, CH_ZAPL_TRACE);
}

bool CANZAPLCommandHandler::openDevice(QVariant device)
{
    const int bitRate = canBitRateOf(device);
    const CanTrace trace = CH_ZAPL_TRACE;
    if (trace.debugEnabled()) {
        const QString extra = openLineExtra(device);
        if (extra.isEmpty())
            trace.line() << m_texts.bitrateLabel << bitRate;
        else
            trace.line() << m_texts.bitrateLabel << bitRate << extra;
    }
    deviceOpen = false;
    timeoutedAddresses.clear();
    const bool opened = openAdapter(device, bitRate, trace);
    // The rate the adapter reads back after opening is the one in use, even when a later step
    // of the open failed.
    if (const int running = m_adapter->runningRate())
        m_dataRate = running;
    deviceOpen = opened;
    return opened;
}

bool CANZAPLCommandHandler::closeDevice()
{
    const bool result = closeAdapter(CH_ZAPL_TRACE);
    deviceOpen = false;
    return result;
}

bool CANZAPLCommandHandler::reopenDevice()
{
    CH_SELF_DEBUG << deviceName();
    return openDevice(reopenArgument());
}

bool CANZAPLCommandHandler::writeZAPLCommand(CANZAPLRequestCommand *request)
{
    const CanTrace trace = CH_ZAPL_TRACE;
    if (trace.debugEnabled()) {
        trace.line() << request->toString();
        trace.line() << request->toHex();
    }
    emitTraffic(CAN_ZAPL_Request, request, true);
    m_lastRequestId = request->id();
    CanZaplWaitGuard guard(*this);
    if (!deviceOpen || isAddressTimeouted(static_cast<uchar>(request->id()))) {
        // A muted or closed target: the host's history shows the request echoed as its reply.
        if (isHistoryActive())
            emit variantMessageOutput(CAN_ZAPL_Reply, QVariant::fromValue(request));
        return false;
    }
    CanMessage frame;
    frame.id = request->id();
    frame.setData(request->data().constData(), 8);
    if (m_texts.zeroSpareByte)
        frame.data[7] = 0;
    // A frame the adapter refuses shows as a reply time-out; the write itself succeeded.
    sendFrame(frame, trace);
    guard.finish();
    incZaplCommandCounter();
    return true;
}

void CANZAPLCommandHandler::readZAPLCommand(CANZAPLReplyCommand *reply, uchar address)
{
    reply->setValid(false);
    if (!deviceOpen)
        return;
    const CanTrace trace = CH_ZAPL_TRACE;
    // Frames of a serial-line or socket adapter arrive only through the event loop.
    if (m_adapter->needsEventLoop())
        QCoreApplication::processEvents();
    CanReceived taken;
    if (!deviceOpen || !m_adapter->take(taken)) {
        if (m_texts.readFailed && trace.debugEnabled())
            trace.line() << m_texts.readFailed;
        return;
    }
    // A ZAPL reply is a standard data frame: a remote or 29-bit frame is never one, whatever
    // its identifier.
    if (taken.frame.remote || taken.frame.extended || !filterPassed(taken.frame.id))
        return;
    const int length = taken.rawLength;
    if (trace.debugEnabled())
        trace.line() << m_texts.readOk << address << m_texts.readOkLength << length;
    if (m_texts.directDecode) {
        reply->setID(static_cast<long>(taken.frame.id));
        reply->setLength(static_cast<char>(length));
        reply->updateFromData(taken.frame.data, taken.frame.length);
    } else if (taken.hasRecord) {
        reply->update(taken.record);
    } else {
        char record[CANZAPLReplyCommand::RecordSize] = {};
        std::memcpy(record + 8, taken.frame.data, static_cast<size_t>(taken.frame.length));
        reply->update(record);
    }
    if (m_texts.setsReplyAddress)
        reply->setReplyAddress(m_replyId);
}

void CANZAPLCommandHandler::readNextZAPLCommand(CANZAPLReplyCommand *reply, uchar address)
{
    const CanTrace trace = CH_ZAPL_TRACE;
    if (!deviceOpen || isAddressTimeouted(address)) {
        if (trace.debugEnabled()) {
            if (m_texts.notOpenShowsState)
                trace.line() << m_texts.notOpen << (deviceOpen ? "true" : "false");
            else
                trace.line() << m_texts.notOpen;
        }
        reply->setValid(false);
        return;
    }
    CanZaplWaitGuard guard(*this);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        readZAPLCommand(reply, address);
        if (reply->isValid()) {
            guard.finish();
            if (trace.debugEnabled()) {
                trace.line() << reply->toHex();
                trace.line() << reply->toString();
            }
            emitTraffic(CAN_ZAPL_Reply, reply, false);
            return;
        }
        if (m_texts.triedToRead && trace.debugEnabled())
            trace.line() << m_texts.triedToRead << clock.elapsed();
        // A device that dropped out will not answer: the wait ends as a time-out now.
        if (!deviceOpen)
            break;
        QThread::usleep(100);
        if (clock.elapsed() >= maxTimeoutMS())
            break;
        if (m_texts.processEventsWhenForced && forceProcessEvents)
            QCoreApplication::processEvents();
    }
    guard.finish();
    if (trace.debugEnabled())
        trace.line() << m_texts.timedOut;
    // Each first muting arms a timer of its own, so a manual reset or a reopen never stretches
    // the five seconds of a later one.
    if (timeoutedAddresses.isEmpty())
        QTimer::singleShot(kUnmuteMs, Qt::PreciseTimer, this, [this] { unmuteTimerFired(); });
    if (!isAddressTimeouted(address)) {
        setAddressTimeout(address);
        if (trace.debugEnabled()) {
            QStringList muted;
            for (uchar a : qAsConst(timeoutedAddresses))
                muted << QString::number(a);
            trace.line() << m_texts.handlerClosed << muted.join(QLatin1String(", "));
        }
    }
    emit deviceClosed(address);
    emitTraffic(CAN_ZAPL_Reply, reply, false);
    reply->setValid(false);
}

void CANZAPLCommandHandler::resetTimeOutedDevices()
{
    const CanTrace trace = CH_ZAPL_TRACE;
    const QList<uchar> muted = timeoutedAddresses;
    for (uchar address : muted) {
        CANZAPLReplyCommand late;
        for (int count = 0; count < kMaxDrainPerAddress; ++count) {
            readZAPLCommand(&late, address);
            if (trace.debugEnabled())
                trace.line() << m_texts.clearId << address << count;
            if (!late.isValid())
                break;
        }
    }
    timeoutedAddresses.clear();
    if (trace.debugEnabled())
        trace.line() << m_texts.cleared;
}

void CANZAPLCommandHandler::doDirectRequest(Command *request, Command *reply)
{
    CANZAPLRequestCommand frame(request);
    frame.setExtended(request->isExtendedType());
    if (!writeZAPLCommand(&frame)) {
        if (reply)
            reply->setValid(false);
        return;
    }
    CANZAPLReplyCommand answer;
    answer.setExtended(request->isExtendedType());
    readNextZAPLCommand(&answer, request->address());
    if (!reply)
        return;
    if (!answer.isValid()) {
        reply->setValid(false);
        return;
    }
    reply->setValid(true);
    reply->setExtendedType(request->isExtendedType());
    reply->setAddress(answer.moduleAddress());
    reply->setCommand(answer.command());
    reply->setType(request->type());
    reply->setStatus(answer.status());
    reply->setMotorBank(request->motorBank());
    reply->setValue(answer.value());
    reply->setReplyAddress(request->replyAddress());
    reply->setChecksum(answer.dummy());
}

void CANZAPLCommandHandler::doDirectRequestWithoutAnswer(Command *request)
{
    if (!deviceOpen)
        return;
    CANZAPLRequestCommand frame(request->address(), request->command(), static_cast<quint8>(request->type() & 0xFF),
        request->motorBank(), request->value());
    writeZAPLCommand(&frame);
}

QString CANZAPLCommandHandler::getModuleAndFirmwareVersion(uchar address)
{
    CANZAPLRequestCommand request(address, kGetVersion, 0, 0, 0);
    if (m_texts.logsVersionRequest && isDebugEnabled())
        CH_SELF_DEBUG << request.toString();
    if (!writeZAPLCommand(&request))
        return QString();
    CANZAPLReplyCommand reply;
    readNextZAPLCommand(&reply, address);
    if (!reply.isValid())
        return QString();
    // The eight data bytes are the module's text, whatever the status byte says; a zero byte
    // among them is a character like any other.
    const QByteArray text = reply.data();
    return QString::fromLatin1(text.constData(), text.size());
}

QString CANZAPLCommandHandler::getFirmwareVersion(uchar address)
{
    CANZAPLRequestCommand request(address, kGetVersion, 1, 0, 0);
    if (!writeZAPLCommand(&request))
        return QString();
    CANZAPLReplyCommand reply;
    readNextZAPLCommand(&reply, address);
    if (!reply.isValid() || reply.status() != 100)
        return QString();
    QString name;
    const QString text = getModuleAndFirmwareVersion(address);
    return BasicTools::matchFirmwareVersion(name, text, reply.value());
}

void CANZAPLCommandHandler::sendCANopenBootCommand(uchar nodeId)
{
    if (!deviceOpen)
        return;
    static const quint8 boot[8] = { 0x23, 0xFF, 0x5F, 0x00, 0x41, 0x9D, 0x7B, 0x2E };
    CanMessage frame;
    frame.id = 0x600u + nodeId;
    frame.setData(boot, 8);
    sendFrame(frame, CH_ZAPL_TRACE);
}
