#include "canopenpeakcommandhandler.h"

#include "basictools.h"
#include "canrecords_p.h"
#include "chlog_p.h"
#include "connectiontype.h"
#include "vendoradapters_p.h"

namespace {
constexpr PeakChannel kNoChannel = 0xFF;
constexpr PeakAdapter::Profile kProfile { kNoChannel, true, true, false, false };

CanMessage frameOf(const tagTPCANMsg &message)
{
    CanReceived received;
    // Error and status records carry no frame; they are reported as they stand, without data.
    if (!canrecords::fromPeak(message, received))
        received.frame.id = message.id;
    received.frame.extended = false;
    received.frame.remote = false;
    return received.frame;
}
} // namespace

CANopenPeakCommandHandler::CANopenPeakCommandHandler(QObject *parent)
    : CANopenServiceHandler(
        { "CANopen PEAK", ConnectionType::CANopen_Peak, 1, false, true }, new PeakAdapter(kProfile), parent)
{ }

CANopenPeakCommandHandler::~CANopenPeakCommandHandler()
{
    const auto *peak = static_cast<PeakAdapter *>(adapter());
    if (peak->channel() != kNoChannel && peak->isLoaded())
        CH_DEBUG << BasicTools::iToHex(quint32(peak->busStatus()), 8, QStringLiteral("0x"));
}

unsigned short CANopenPeakCommandHandler::baudrateFromBitrate(int kbit)
{
    return canBitRateCodes(kbit).peakBtr0Btr1;
}

void CANopenPeakCommandHandler::setDataRate(int)
{ }

bool CANopenPeakCommandHandler::openDevice(QVariant bitRate)
{
    static_cast<PeakAdapter *>(adapter())->setChannel(PeakChannel(0x50 + m_channelId));
    return CANopenServiceHandler::openDevice(bitRate);
}

bool CANopenPeakCommandHandler::closeDevice()
{
    CH_DEBUG << "handle:" << static_cast<PeakAdapter *>(adapter())->channel();
    const bool wasOpen = deviceOpen;
    if (wasOpen)
        CANopenServiceHandler::closeDevice();
    return wasOpen;
}

void CANopenPeakCommandHandler::emitSentCanMessage(tagTPCANMsg *message)
{
    if (message)
        emitSentCanMessage(frameOf(*message));
}

void CANopenPeakCommandHandler::emitReceivedCanMessage(tagTPCANMsg *message)
{
    if (message)
        emitReceivedCanMessage(frameOf(*message));
}
