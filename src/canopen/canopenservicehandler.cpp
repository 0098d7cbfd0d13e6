#include "canopenservicehandler.h"

#include "canadapter_p.h"
#include "canopenprotocol_p.h"
#include "chlog_p.h"

#include <QEventLoop>
#include <QTimer>
#include <climits>
#include <deque>

using namespace canopen;

namespace {
// The reply wait: the loop wakes on every reported frame and on the time-out. Frames are
// queued as they are reported, so a reply that arrives while the loop is not running (during
// a send that waits for an acknowledge, or when the owner drains several frames at once) is
// still examined.
class ReplyWait
{
public:
    explicit ReplyWait(CANopenHandlerInterface *handler)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer); // a coarse timer may end a wait 5 % early
        QObject::connect(&m_timer, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        QObject::connect(handler, &CANopenHandlerInterface::receivedCanMessage, &m_loop, [this](CanMessage &m) {
            if (m_frames.size() >= kMaxQueued)
                m_frames.pop_front();
            m_frames.push_back(m);
            m_loop.quit();
        });
    }
    void start(unsigned int ms) { m_timer.start(int(qMin(ms, unsigned(INT_MAX)))); }
    // The next reported frame, or false once the time-out has passed.
    bool next(CanMessage &frame)
    {
        while (m_frames.empty()) {
            if (!m_timer.isActive())
                return false;
            m_loop.exec();
        }
        frame = m_frames.front();
        m_frames.pop_front();
        return true;
    }

private:
    static constexpr size_t kMaxQueued = 256;
    QEventLoop m_loop;
    QTimer m_timer;
    std::deque<CanMessage> m_frames;
};

bool isLssReply(const CanMessage &f, unsigned char replyCs)
{
    return f.id == kLssReplyId && f.length >= 1 && f.data[0] == replyCs;
}
} // namespace

CANopenServiceHandler::CANopenServiceHandler(const AdapterTraits &traits, CanAdapter *adapter, QObject *parent)
    : CANopenHandlerInterface(parent), m_traits(traits), m_adapter(adapter)
{
    dataRate = 1000;
    if (traits.name) {
        setObjectName(QLatin1String(traits.name));
        setDeviceName(objectName());
    }
    if (m_adapter) {
        m_adapter->setRateHook([this](int kbit) { setDataRate(kbit); });
        m_adapter->setNoticeSink([this](const CanAdapterNotice &notice) { adapterNotice(notice); });
    }
}

CANopenServiceHandler::~CANopenServiceHandler()
{
    // The concrete handler is gone already: nothing the adapter does while it goes may call in.
    if (m_adapter) {
        m_adapter->setNoticeSink(nullptr);
        m_adapter->setRateHook(nullptr);
        m_adapter.reset();
    }
}

bool CANopenServiceHandler::sendFrame(const CanMessage &frame)
{
    return m_adapter && deviceOpen && m_adapter->send(frame, CH_CAN_TRACE(debugOutput));
}

bool CANopenServiceHandler::takeFrame(CanMessage &frame)
{
    CanReceived received;
    if (!m_adapter || !deviceOpen || !m_adapter->take(received))
        return false;
    frame = received.frame;
    return true;
}

void CANopenServiceHandler::setDataRate(int kbit)
{
    dataRate = kbit;
    if (m_adapter)
        m_adapter->applyBitRate(kbit, CH_CAN_TRACE(debugOutput));
}

bool CANopenServiceHandler::openDevice(QVariant bitRate)
{
    const int rate = bitRate.toInt();
    const CanTrace trace = CH_CAN_TRACE(debugOutput);
    trace.line() << "bitrate:" << rate;
    return bringAdapterUp(rate, trace);
}

bool CANopenServiceHandler::closeDevice()
{
    if (m_adapter)
        m_adapter->shutDown(CH_CAN_TRACE(debugOutput));
    deviceOpen = false;
    return true;
}

bool CANopenServiceHandler::bringAdapterUp(int rate, const CanTrace &trace)
{
    deviceOpen = false;
    const bool opened = m_adapter->bringUp(rate, trace);
    if (const int running = m_adapter->runningRate())
        dataRate = running;
    deviceOpen = opened;
    return opened;
}

void CANopenServiceHandler::adapterNotice(const CanAdapterNotice &notice)
{
    CH_SELF_WARNING << notice.text;
    if (notice.kind != CanAdapterNotice::DeviceGone || !deviceOpen)
        return;
    // Services fail at once until the host reopens; the adapter is taken down once control is
    // back in the event loop, never from inside its own notice.
    deviceOpen = false;
    QTimer::singleShot(0, this, [this] {
        if (!deviceOpen)
            m_adapter->shutDown(CH_CAN_TRACE(debugOutput));
    });
    emit handleDetachedDevice(m_traits.connectionType, deviceName);
}

bool CANopenServiceHandler::reopenDevice()
{
    return openDevice(QVariant(dataRate));
}

void CANopenServiceHandler::emitReceivedCanMessage(CanMessage frame)
{
    emit receivedCanMessage(frame);
    if (isPdoId(frame.id))
        emit receivedPDO(frame);
    if (isHistoryEnabled())
        emit logReceivedCanMessage(frame);
}

void CANopenServiceHandler::emitSentCanMessage(CanMessage frame)
{
    if (isHistoryEnabled())
        emit logSentCanMessage(frame);
    emit countSentCanMessage();
}

void CANopenServiceHandler::checkForCanMessage()
{
    takeAndReport();
}

void CANopenServiceHandler::takeAndReport()
{
    CanMessage frame;
    if (!takeFrame(frame))
        return;
    frame.extended = false;
    frame.remote = false;
    const bool passed = filterPassed(frame.id);
    if (passed || m_traits.rejectedFramesKeptLast)
        lastFrame = frame;
    if (passed)
        emitReceivedCanMessage(frame);
}

bool CANopenServiceHandler::transmit(const CanMessage &frame, Order order)
{
    if (order == Order::ReportThenSend)
        emitSentCanMessage(frame);
    const bool accepted = sendFrame(frame);
    if (order == Order::SendThenReport && (accepted || !m_traits.reportOnlyAccepted))
        emitSentCanMessage(frame);
    return accepted;
}

void CANopenServiceHandler::sendNmt(unsigned char specifier, unsigned char node)
{
    transmit(nmtFrame(specifier, node), Order::SendThenReport);
}

void CANopenServiceHandler::NMTStart(unsigned char node)
{
    sendNmt(0x01, node);
}

void CANopenServiceHandler::NMTStop(unsigned char node)
{
    sendNmt(0x02, node);
}

void CANopenServiceHandler::NMTPreOp(unsigned char node)
{
    sendNmt(0x80, node);
}

void CANopenServiceHandler::NMTResetAppl(unsigned char node)
{
    sendNmt(0x81, node);
}

void CANopenServiceHandler::NMTResetComm(unsigned char node)
{
    sendNmt(0x82, node);
}

void CANopenServiceHandler::SYNCPulse()
{
    sendSyncOrLss(syncFrame(m_traits.syncLength));
}

void CANopenServiceHandler::PDOTransmit(unsigned short cobId, QByteArray data)
{
    if (data.size() > 8) {
        CH_SELF_WARNING << "refused: a PDO carries at most 8 bytes, got" << data.size();
        return;
    }
    transmit(frame(cobId, reinterpret_cast<const quint8 *>(data.constData()), data.size()), Order::ReportThenSend);
}

// SYNC and LSS share one order: report then send, or (esd) send then report when accepted.
void CANopenServiceHandler::sendSyncOrLss(const CanMessage &frame)
{
    transmit(frame, m_traits.reportOnlyAccepted ? Order::SendThenReport : Order::ReportThenSend);
}

void CANopenServiceHandler::LSSSend(unsigned char cs)
{
    sendSyncOrLss(lssFrame(cs, {}));
}

void CANopenServiceHandler::LSSSend(unsigned char cs, unsigned char b1)
{
    sendSyncOrLss(lssFrame(cs, { b1 }));
}

void CANopenServiceHandler::LSSSend(unsigned char cs, unsigned char b1, unsigned char b2)
{
    sendSyncOrLss(lssFrame(cs, { b1, b2 }));
}

void CANopenServiceHandler::LSSSend(unsigned char cs, unsigned short value16)
{
    sendSyncOrLss(lssFrame(cs, { quint8(value16), quint8(value16 >> 8) }));
}

void CANopenServiceHandler::LSSSend(unsigned char cs, unsigned int value32)
{
    sendSyncOrLss(lssFrame32(cs, value32));
}

unsigned char CANopenServiceHandler::LSSSendAndWait(unsigned char cs, unsigned char replyCs, unsigned int &valueOut,
    unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
{
    return sendLssAndWait(lssFrame(cs, {}), replyCs, valueOut, b1Out, b2Out, timeout);
}

unsigned char CANopenServiceHandler::LSSSendAndWait(unsigned char cs, unsigned char b1, unsigned char replyCs,
    unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
{
    return sendLssAndWait(lssFrame(cs, { b1 }), replyCs, valueOut, b1Out, b2Out, timeout);
}

unsigned char CANopenServiceHandler::LSSSendAndWait(unsigned char cs, unsigned char b1, unsigned char b2,
    unsigned char replyCs, unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
{
    return sendLssAndWait(lssFrame(cs, { b1, b2 }), replyCs, valueOut, b1Out, b2Out, timeout);
}

unsigned char CANopenServiceHandler::LSSSendAndWait(unsigned char cs, unsigned int value32, unsigned char replyCs,
    unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
{
    return sendLssAndWait(lssFrame32(cs, value32), replyCs, valueOut, b1Out, b2Out, timeout);
}

unsigned char CANopenServiceHandler::sendLssAndWait(const CanMessage &request, unsigned char replyCs,
    unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
{
    ReplyWait wait(this);
    sendSyncOrLss(request);
    wait.start(timeout);
    CanMessage reply;
    while (wait.next(reply)) {
        if (isLssReply(reply, replyCs)) {
            b1Out = reply.data[1];
            b2Out = reply.data[2];
            valueOut = le32(reply, 1);
            return LssMatched;
        }
    }
    return LssTimedOut;
}

unsigned char CANopenServiceHandler::LSSSendAndWait(unsigned char cs, unsigned int value32, unsigned char b5,
    unsigned char b6, unsigned char b7, unsigned char replyCs, unsigned int timeout)
{
    ReplyWait wait(this);
    sendSyncOrLss(lssFrame32(cs, value32, b5, b6, b7));
    wait.start(timeout);
    unsigned char result = LssTimedOut;
    CanMessage reply;
    while (wait.next(reply)) {
        if (isLssReply(reply, replyCs))
            result = LssMatched;
    }
    return result;
}

unsigned char CANopenServiceHandler::runSdo(SdoTransfer &transfer)
{
    ReplyWait wait(this);
    bool marked = false;
    SdoStep step = transfer.start();
    for (;;) {
        if (step.send) {
            const bool accepted = transmit(step.frame, Order::ReportThenSend);
            if (step.finish)
                break; // the closing abort: its fate does not change the result
            if (!accepted) {
                step = transfer.onRefused();
                break;
            }
            if (!marked)
                busy = marked = true;
        }
        if (step.finish)
            break;
        if (step.restartTimer)
            wait.start(sdoTimeout);
        CanMessage reply;
        step = wait.next(reply) ? transfer.onFrame(reply) : transfer.onTimeout();
    }
    if (marked)
        busy = false;
    return step.result;
}

unsigned char CANopenServiceHandler::SDOWrite(unsigned char node, unsigned short index, unsigned char subIndex,
    unsigned char size, int value, unsigned int &abortCode)
{
    SdoExpeditedDownload transfer(node, index, subIndex, size, value, abortCode);
    return runSdo(transfer);
}

unsigned char CANopenServiceHandler::SDOWrite(unsigned char node, unsigned short index, unsigned char subIndex,
    unsigned int size, QByteArray data, unsigned int &abortCode)
{
    SdoSegmentedDownload transfer(node, index, subIndex, size, data, abortCode);
    return runSdo(transfer);
}

unsigned char CANopenServiceHandler::SDORead(
    unsigned char node, unsigned short index, unsigned char subIndex, QVariant &value, unsigned int &info)
{
    SdoUpload transfer(node, index, subIndex, info);
    const unsigned char result = runSdo(transfer);
    if (transfer.segmented())
        value = transfer.bytes();
    else if (result == SdoDone)
        value = transfer.value();
    return result;
}

unsigned char CANopenServiceHandler::SDOReadSegmented(
    unsigned char node, QByteArray *out, unsigned int expectedSize, unsigned int &info)
{
    SdoUpload transfer = SdoUpload::segmentsOnly(node, expectedSize, info);
    const unsigned char result = runSdo(transfer);
    if (out)
        out->append(transfer.bytes());
    return result;
}
