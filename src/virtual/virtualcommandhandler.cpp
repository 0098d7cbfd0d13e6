#include "virtualcommandhandler.h"

#include "chlog_p.h"
#include "zaplcommand.h"

#include <QHash>
#include <mutex>

namespace {
// Shared by every virtual handler until the process ends. Handlers may live on different
// threads, so each access takes the lock (a standard mutex, whose ordering thread checkers see).
struct ParameterStore
{
    std::mutex lock;
    QHash<quint32, qint32> values;
};

ParameterStore &parameterStore()
{
    static ParameterStore store;
    return store;
}

// Reading command under which a writing command stores its value; 0 for other commands.
uchar readingCommandOf(uchar command)
{
    switch (command) {
    case 5: // SAP
    case 7: // STAP
        return 6; // GAP
    case 9: // SGP
        return 10; // GGP
    case 146: // EVAL_WriteChannelRegister_MC
        return 148;
    case 147: // EVAL_WriteChannelRegister_DRV
        return 149;
    default:
        return 0;
    }
}

// The type value alone decides the packing here, not the record's extended-type flag.
uchar motorByteOf(const Command &request)
{
    if (request.type() > 0xFF)
        return static_cast<uchar>(((request.type() >> 4) & 0xF0) | (request.motorBank() & 0x0F));
    return request.motorBank();
}

quint32 keyOf(uchar command, uchar type, uchar motor)
{
    return (quint32(command) << 16) | (quint32(type) << 8) | motor;
}
} // namespace

VirtualCommandHandler::VirtualCommandHandler(QObject *parent) : CommandHandlerInterface(parent)
{ }

VirtualCommandHandler::~VirtualCommandHandler() = default;

bool VirtualCommandHandler::setDataRate(int)
{
    return true;
}

QString VirtualCommandHandler::getFirmwareVersion(uchar)
{
    return QString();
}

QString VirtualCommandHandler::getModuleAndFirmwareVersion(uchar)
{
    return QString();
}

bool VirtualCommandHandler::openDevice(QVariant)
{
    // Hosts that stop at a false open would never send a request, so say why it is false.
    CH_WARNING << "the virtual module has no device to open: returns false; requests are answered all the same";
    return isDeviceOpen();
}

bool VirtualCommandHandler::closeDevice()
{
    return true;
}

bool VirtualCommandHandler::reopenDevice()
{
    CH_DEBUG << deviceName();
    return openDevice(deviceName());
}

ZAPLReplyCommand VirtualCommandHandler::doDirectReply()
{
    return ZAPLReplyCommand();
}

void VirtualCommandHandler::clearParameterStore()
{
    ParameterStore &store = parameterStore();
    std::lock_guard<std::mutex> locker(store.lock);
    store.values.clear();
}

void VirtualCommandHandler::doDirectRequest(Command *request, Command *reply)
{
    if (!request)
        return;
    const uchar type = static_cast<uchar>(request->type() & 0xFF);
    const uchar motor = motorByteOf(*request);
    qint32 answer = request->value();
    {
        ParameterStore &store = parameterStore();
        std::lock_guard<std::mutex> locker(store.lock);
        if (const uchar reading = readingCommandOf(request->command()))
            store.values.insert(keyOf(reading, type, motor), request->value());
        const auto found = store.values.constFind(keyOf(request->command(), type, motor));
        if (found != store.values.constEnd())
            answer = found.value();
    }

    if (reply) {
        reply->setValid(true);
        reply->setExtendedType(request->isExtendedType());
        reply->setRegAddressBitWidth(request->getRegAddressBitWidth());
        reply->setCommand(request->command());
        reply->setType(request->type());
        reply->setMotorBank(request->motorBank());
        reply->setAddress(request->address());
        reply->setStatus(100);
        reply->setValue(answer);
    }

    if (!historyActive)
        return;
    ZAPLRequestCommand requestFrame(request->address(), request->command(), type, motor, request->value());
    requestFrame.setExtended(request->isExtendedType());
    ZAPLReplyCommand replyFrame;
    replyFrame.setValid(true);
    replyFrame.setCommand(request->command());
    replyFrame.setType(type);
    replyFrame.setStatus(request->status());
    replyFrame.setValue(reply ? reply->value() : answer);
    replyFrame.setReplyAddress(request->address());
    replyFrame.setExtended(request->isExtendedType());
    // The frames live only for this call: receivers must take them over a direct connection.
    emit variantMessageOutput(Serial_ZAPL_Request, QVariant::fromValue(&requestFrame));
    emit variantMessageOutput(Serial_ZAPL_Reply, QVariant::fromValue(&replyFrame));
    if (reply)
        emit variantMessageOutput(Serial_ZAPL_Reply, QVariant::fromValue(reply));
}

void VirtualCommandHandler::doDirectRequestWithoutAnswer(Command *)
{ }
