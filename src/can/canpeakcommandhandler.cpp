#include "canpeakcommandhandler.h"

#include "canzapltexts_p.h"
#include "vendoradapters_p.h"

namespace {
const CanZaplTexts kTexts = [] {
    CanZaplTexts t { "CAN PEAK", ConnectionType::CAN_PEAK };
    t.readFailed = "Read failed! (no frame available)";
    t.triedToRead = nullptr;
    t.directDecode = true;
    t.setsReplyAddress = false;
    t.zeroSpareByte = true;
    t.logsVersionRequest = true;
    return t;
}();

constexpr PeakAdapter::Profile kProfile { PeakLibrary::kNoChannel, false, false, true, true };
} // namespace

CANPeakCommandHandler::CANPeakCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(new PeakAdapter(kProfile), kTexts, parent)
{ }

CANPeakCommandHandler::~CANPeakCommandHandler() = default;

bool CANPeakCommandHandler::openAdapter(const QVariant &device, int bitRate, const CanTrace &trace)
{
    // Any other net keeps the channel of the previous open.
    auto &peak = static_cast<PeakAdapter &>(adapter());
    if (m_net == 1)
        peak.setChannel(PeakLibrary::kUsbBus1);
    else if (m_net == 2)
        peak.setChannel(PeakLibrary::kUsbBus2);
    return CANZAPLCommandHandler::openAdapter(device, bitRate, trace);
}

bool CANPeakCommandHandler::closeAdapter(const CanTrace &trace)
{
    const bool wasOpen = isDeviceOpen();
    if (wasOpen)
        CANZAPLCommandHandler::closeAdapter(trace);
    return wasOpen;
}

void CANPeakCommandHandler::setPortName(const QString &name)
{
    setObjectName(name + QLatin1Char('/') + objectName());
    setDeviceName(objectName());
}

quint16 CANPeakCommandHandler::baudrateFromBitrate(int kbitPerSecond)
{
    return canBitRateCodes(kbitPerSecond).peakBtr0Btr1;
}
