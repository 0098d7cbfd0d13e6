#include "ft4222hcommandhandler.h"

#include "chlog_p.h"
#include "ft4222hcommandhandler_p.h"
#include "ft4222hframe_p.h"
#include "zaplcommand.h"

#include <QElapsedTimer>
#include <QTimer>

// Frames and their handshake, ZAPL requests mapped onto register frames, and the dispatch of
// the packets the reader thread receives.

namespace {
constexpr int kMaxWrites = 5;
constexpr int kZaplResetMs = 3000;
} // namespace

bool FT4222HCommandHandler::spiSlaveWriteData(quint8 *data, quint32 length, quint32 *written)
{
    quint16 done = 0;
    FT_STATUS status = kFtInvalidHandle;
    if (length <= 0xFFFF)
        status = d->bridge->withPortA(
            [&](FT_HANDLE port) { return ft4222().FT4222_SPISlave_Write(port, data, quint16(length), &done); });
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
        if (d->replies.takeAcknowledge())
            return true;
        if (timer.elapsed() >= maxTimeoutMs) {
            d->replies.clearAcknowledge();
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
    FT4222HFrame frame(identifier, reg, value, d->live.isActive());
    for (int n = 0;;) {
        // An acknowledge that came before this write (late, or unasked) is not this frame's.
        d->replies.clearAcknowledge();
        quint32 written = 0;
        if (!spiSlaveWriteData(frame.data(), frame.size(), &written)) {
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
    const auto id = FT4222HFrame::registerIdentifier(identifier, motor);
    if (!id) {
        CH_WARNING << "refused: motor or bank" << int(motor) << "does not fit in a register frame (0 to 15)";
        return false;
    }
    if (!sendFrame(*id, reg, value, "--> write failed!", "communication --> failed!"))
        return false;
    incZaplCommandCounter();
    return true;
}

void FT4222HCommandHandler::handleReadPacket(uchar sync, uchar id, uchar timeStamp, int registerValue)
{
    // Runs in the reader thread: touches the shared state only, and emits.
    if (sync != FT4222HFrame::kSync)
        return;
    switch (id & 0xF0) {
    case ConfigReply:
        d->replies.putConfigReply(timeStamp, registerValue);
        d->replies.countPacket();
        break;
    case RegisterReply:
        if (!d->replies.putRegisterReply(timeStamp, registerValue))
            CH_DEBUG << "reply for register" << int(timeStamp) << "dropped: not the register asked";
        d->replies.countPacket();
        break;
    case LiveData:
        reportLiveChange(d->live.livePacket());
        emit liveDataAvailable(uchar(id & 0x0F), timeStamp, registerValue);
        d->replies.countPacket();
        break;
    case Acknowledge:
        d->replies.acknowledge();
        break;
    default:
        CH_DEBUG << "Unknow paket ID:" << (id & 0xF0);
        break;
    }
}

void FT4222HCommandHandler::timerEvent(QTimerEvent *event)
{
    // Packets counted by the reader join the statistics in this thread.
    zaplCommandCounter += d->replies.takePacketCount();
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
        // Only the reply to this register answers: not one that came late for an earlier read,
        // nor one for another register.
        d->replies.awaitRegister(request->type());
        return sendRegisterRWFrame(
            FT4222HFrame::ReadRegister, request->motorNumber(), request->type(), quint32(request->value()));
    case 146:
    case 147:
        d->lastWriteType = request->type();
        d->lastWriteValue = request->value();
        return sendRegisterRWFrame(
            FT4222HFrame::WriteRegister, request->motorNumber(), request->type(), quint32(request->value()));
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
    while (!reply->isValid() && timer.elapsed() < maxTimeoutMs) {
        if (command == 148 || command == 149) {
            if (const auto r = d->replies.takeRegisterReply()) {
                reply->setValid(true);
                reply->setType(r->reg);
                reply->setValue(r->value);
                reply->setStatus(100);
            }
        } else if (command == 146 || command == 147) {
            // The acknowledge was the whole answer; report the register and value written.
            reply->setValid(true);
            reply->setType(d->lastWriteType);
            reply->setValue(d->lastWriteValue);
            reply->setStatus(100);
        }
        if (!reply->isValid())
            QThread::yieldCurrentThread();
    }
    d->replies.stopAwaiting(); // a reply from now on is late
    if (reply->isValid()) {
        if (debugEnabled)
            CH_DEBUG << reply->toString() << reply->toHex();
        return;
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
    reply->setStatus(zaplReply.status());
    reply->setMotorBank(request->motorBank());
    reply->setValue(zaplReply.value());
    reply->setReplyAddress(zaplReply.replyAddress());
}

void FT4222HCommandHandler::doDirectRequestWithoutAnswer(Command *)
{
    CH_DEBUG << "not implemented!";
}
