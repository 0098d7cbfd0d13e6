#include "canzaplengine_p.h"

#include "basictools.h"
#include "canzaplcommand.h"
#include "chlog_p.h"
#include "command.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <cstring>

namespace {
constexpr int kUnmuteMs = 5000;
constexpr quint8 kGetVersion = 136;
} // namespace

// Marks a write or a reply wait. Both may run the event loop (SLCAN polls its port, the
// acknowledge wait runs a local loop); an un-mute that fired meanwhile would drain the very
// reply being awaited, so it is held back and run when the outermost one ends.
class CanZaplWaitGuard
{
public:
    explicit CanZaplWaitGuard(CanZaplEngine &engine) : m_engine(engine) { ++m_engine.m_busy; }
    ~CanZaplWaitGuard() { --m_engine.m_busy; }
    void finish()
    {
        if (m_engine.m_busy == 1 && m_engine.m_unmutePending) {
            m_engine.m_unmutePending = false;
            m_engine.resetTimeOutedDevices();
        }
    }

private:
    CanZaplEngine &m_engine;
};

CanZaplEngine::CanZaplEngine(CommandHandlerInterface *handler, const Fields &fields, const Traits &traits)
    : m_handler(handler), m_fields(fields), m_traits(traits)
{
    // A child of the handler, so it follows the handler into another thread; deleted with the
    // engine, so it never fires into a handler that is being destroyed.
    m_unmuteTimer = new QTimer(handler);
    m_unmuteTimer->setSingleShot(true);
    m_unmuteTimer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 250 ms early
    m_unmuteTimer->setInterval(kUnmuteMs);
    QObject::connect(m_unmuteTimer, &QTimer::timeout, handler, [this] { unmuteTimerFired(); });
}

CanZaplEngine::~CanZaplEngine()
{
    delete m_unmuteTimer;
}

void CanZaplEngine::unmuteTimerFired()
{
    if (m_busy > 0)
        m_unmutePending = true;
    else
        resetTimeOutedDevices();
}

QString CanZaplEngine::tag(const char *method) const
{
    return QLatin1String(m_handler->metaObject()->className()) + QLatin1String("::") + QLatin1String(method)
        + QLatin1String("()");
}

QVariant CanZaplEngine::reopenArgument() const
{
    return m_fields.dataRate;
}

int CanZaplEngine::bitRateOf(const QVariant &device) const
{
    const QVariantList list = device.toList();
    return list.isEmpty() ? device.toInt() : list.first().toInt();
}

QString CanZaplEngine::openLineExtra(const QVariant &) const
{
    return QString();
}

void CanZaplEngine::emitTraffic(CommandHandlerInterface::MessageFlag flag, void *frame, bool request)
{
    if (!m_handler->isHistoryActive())
        return;
    const QVariant v = request ? QVariant::fromValue(static_cast<CANZAPLRequestCommand *>(frame))
                               : QVariant::fromValue(static_cast<CANZAPLReplyCommand *>(frame));
    emit m_handler->variantMessageOutput(CommandHandlerInterface::MessageFlags(flag), v);
}

bool CanZaplEngine::setDataRate(int kbitPerSecond)
{
    if (m_traits.storesRateOnlyOnSuccess) {
        if (!applyBitRate(kbitPerSecond))
            return false;
        m_fields.dataRate = kbitPerSecond;
        return true;
    }
    m_fields.dataRate = kbitPerSecond;
    return applyBitRate(kbitPerSecond);
}

bool CanZaplEngine::openDevice(const QVariant &device)
{
    const int bitRate = bitRateOf(device);
    if (debugEnabled()) {
        const QString extra = openLineExtra(device);
        if (extra.isEmpty())
            qDebug().noquote() << tag("openDevice") << m_traits.bitrateLabel << bitRate;
        else
            qDebug().noquote() << tag("openDevice") << m_traits.bitrateLabel << bitRate << extra;
    }
    m_fields.deviceOpen = false;
    m_fields.timeoutedAddresses.clear();
    if (!openAdapter(device, bitRate))
        return false;
    m_fields.deviceOpen = true;
    return true;
}

bool CanZaplEngine::closeDevice()
{
    const bool result = closeAdapter();
    m_fields.deviceOpen = false;
    return result;
}

bool CanZaplEngine::reopenDevice()
{
    qDebug().noquote() << tag("reopenDevice") << m_handler->deviceName();
    return m_handler->openDevice(reopenArgument());
}

bool CanZaplEngine::writeZAPLCommand(CANZAPLRequestCommand *request)
{
    if (debugEnabled()) {
        qDebug().noquote() << tag("writeZAPLCommand") << request->toString();
        qDebug().noquote() << tag("writeZAPLCommand") << request->toHex();
    }
    emitTraffic(CommandHandlerInterface::CAN_ZAPL_Request, request, true);
    m_lastRequestId = request->id();
    CanZaplWaitGuard guard(*this);
    if (!m_fields.deviceOpen || m_handler->isAddressTimeouted(static_cast<uchar>(request->id()))) {
        // A muted or closed target: the host's history shows the request echoed as its reply.
        if (m_handler->isHistoryActive())
            emit m_handler->variantMessageOutput(CommandHandlerInterface::CAN_ZAPL_Reply, QVariant::fromValue(request));
        return false;
    }
    CanMessage frame;
    frame.id = request->id();
    frame.setData(request->data().constData(), 8);
    if (m_traits.zeroSpareByte)
        frame.data[7] = 0;
    sendFrame(frame);
    guard.finish();
    m_handler->incZaplCommandCounter();
    return true;
}

void CanZaplEngine::readZAPLCommand(CANZAPLReplyCommand *reply, uchar address)
{
    reply->setValid(false);
    if (!m_fields.deviceOpen)
        return;
    Taken taken;
    if (!takeFrame(taken)) {
        if (m_traits.readFailed && debugEnabled())
            qDebug().noquote() << tag("readZAPLCommand") << m_traits.readFailed;
        return;
    }
    if (!m_handler->filterPassed(taken.frame.id))
        return;
    const int length = taken.frame.length;
    if (debugEnabled())
        qDebug().noquote() << tag("readZAPLCommand") << m_traits.readOk << address << m_traits.readOkLength << length;
    // Never more than 8 data bytes, whatever length code the adapter reported.
    const int count = qBound(0, length, 8);
    if (m_traits.directDecode) {
        reply->setID(static_cast<long>(taken.frame.id));
        reply->setLength(static_cast<char>(length));
        reply->updateFromData(taken.frame.data, count);
    } else if (taken.hasRecord) {
        reply->update(taken.record);
    } else {
        char record[CANZAPLReplyCommand::RecordSize] = {};
        std::memcpy(record + 8, taken.frame.data, static_cast<size_t>(count));
        reply->update(record);
    }
    if (m_traits.setsReplyAddress)
        reply->setReplyAddress(m_replyId);
}

void CanZaplEngine::readNextZAPLCommand(CANZAPLReplyCommand *reply, uchar address)
{
    if (!m_fields.deviceOpen || m_handler->isAddressTimeouted(address)) {
        if (debugEnabled()) {
            if (m_traits.notOpenShowsState)
                qDebug().noquote() << tag("readNextZAPLCommand") << m_traits.notOpen
                                   << (m_fields.deviceOpen ? "true" : "false");
            else
                qDebug().noquote() << tag("readNextZAPLCommand") << m_traits.notOpen;
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
            if (debugEnabled()) {
                qDebug().noquote() << tag("readNextZAPLCommand") << reply->toHex();
                qDebug().noquote() << tag("readNextZAPLCommand") << reply->toString();
            }
            emitTraffic(CommandHandlerInterface::CAN_ZAPL_Reply, reply, false);
            return;
        }
        if (m_traits.triedToRead && debugEnabled())
            qDebug().noquote() << tag("readNextZAPLCommand") << m_traits.triedToRead << clock.elapsed();
        QThread::usleep(100);
        if (clock.elapsed() >= m_handler->maxTimeoutMS())
            break;
        if (m_traits.processEventsWhenForced && m_fields.forceProcessEvents)
            QCoreApplication::processEvents();
    }
    guard.finish();
    if (debugEnabled())
        qDebug().noquote() << tag("readNextZAPLCommand") << m_traits.timedOut;
    if (m_fields.timeoutedAddresses.isEmpty())
        m_unmuteTimer->start();
    if (!m_handler->isAddressTimeouted(address)) {
        m_handler->setAddressTimeout(address);
        if (debugEnabled()) {
            QStringList muted;
            for (uchar a : qAsConst(m_fields.timeoutedAddresses))
                muted << QString::number(a);
            qDebug().noquote() << tag("readNextZAPLCommand") << m_traits.handlerClosed
                               << muted.join(QLatin1String(", "));
        }
    }
    emit m_handler->deviceClosed(address);
    emitTraffic(CommandHandlerInterface::CAN_ZAPL_Reply, reply, false);
    reply->setValid(false);
}

void CanZaplEngine::resetTimeOutedDevices()
{
    const QList<uchar> muted = m_fields.timeoutedAddresses;
    for (uchar address : muted) {
        CANZAPLReplyCommand late;
        // Bounded by what the adapter holds; a flooding bus cannot keep us here forever.
        for (int count = 0; count < 4096; ++count) {
            readZAPLCommand(&late, address);
            if (debugEnabled())
                qDebug().noquote() << tag("resetTimeOutedDevices") << m_traits.clearId << address << count;
            if (!late.isValid())
                break;
        }
    }
    m_fields.timeoutedAddresses.clear();
    if (debugEnabled())
        qDebug().noquote() << tag("resetTimeOutedDevices") << m_traits.cleared;
}

void CanZaplEngine::doDirectRequest(Command *request, Command *reply)
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

void CanZaplEngine::doDirectRequestWithoutAnswer(Command *request)
{
    if (!m_fields.deviceOpen)
        return;
    CANZAPLRequestCommand frame(request->address(), request->command(), static_cast<quint8>(request->type() & 0xFF),
        request->motorBank(), request->value());
    writeZAPLCommand(&frame);
}

QString CanZaplEngine::getModuleAndFirmwareVersion(uchar address)
{
    CANZAPLRequestCommand request(address, kGetVersion, 0, 0, 0);
    if (m_traits.logsVersionRequest && debugEnabled())
        qDebug().noquote() << tag("getModuleAndFirmwareVersion") << request.toString();
    if (!writeZAPLCommand(&request))
        return QString();
    CANZAPLReplyCommand reply;
    readNextZAPLCommand(&reply, address);
    if (!reply.isValid())
        return QString();
    // The eight data bytes are the module's text, whatever the status byte says.
    return QString::fromLatin1(reply.data());
}

QString CanZaplEngine::getFirmwareVersion(uchar address)
{
    CANZAPLRequestCommand request(address, kGetVersion, 1, 0, 0);
    if (!writeZAPLCommand(&request))
        return QString();
    CANZAPLReplyCommand reply;
    readNextZAPLCommand(&reply, address);
    if (!reply.isValid() || reply.status() != 100)
        return QString();
    QString name;
    const QString text = m_handler->getModuleAndFirmwareVersion(address);
    return BasicTools::matchFirmwareVersion(name, text, reply.value());
}

void CanZaplEngine::sendCANopenBootCommand(uchar nodeId)
{
    if (!m_fields.deviceOpen)
        return;
    static const quint8 boot[8] = { 0x23, 0xFF, 0x5F, 0x00, 0x41, 0x9D, 0x7B, 0x2E };
    CanMessage frame;
    frame.id = 0x600u + nodeId;
    frame.setData(boot, 8);
    sendFrame(frame);
}
