#include "canrecords_p.h"
#include "chlog_p.h"
#include "criticalmessage_p.h"
#include "vendoradapters_p.h"

#include <QStringList>

namespace {
const QString &libraryMissingText()
{
    static const QString text = QStringList { QStringLiteral("PCANBasic.dll not found!\n\n"),
        QStringLiteral("Please keep in mind that none of Peak-Systems setups install the PCANBasic.dll.\n\n"),
        QStringLiteral("If you build an application that uses the PCANBasic.dll, you need to to copy "),
        QStringLiteral("the PCANBasic.dll manually to your Windows System directory.\n\n"),
        QStringLiteral("Windows 32-bit systems:\n\n"),
        QStringLiteral("PCAN-Basic API\\Win32\\PCANBasic.dll > Windows\\System32\n\n"),
        QStringLiteral("Windows 64-bit systems:\n\n"),
        QStringLiteral("PCAN-Basic API\\Win32\\PCANBasic.dll > Windows\\SysWOW64\n\n"),
        QStringLiteral("PCAN-Basic API\\x64\\PCANBasic.dll > Windows\\System32") }
                                    .join(QString());
    return text;
}

PeakStatus setParameterOn(PeakChannel channel, quint8 parameter)
{
    quint32 on = 1;
    return PeakLibrary::CAN_SetValue(channel, parameter, &on, sizeof on);
}

constexpr PeakChannel kFirstUsbChannel = 0x51;
constexpr PeakChannel kLastUsbChannel = 0x58;
} // namespace

PeakAdapter::PeakAdapter(const Profile &profile)
    : m_profile(profile), m_library(PeakLibrary::library()), m_channel(profile.noChannel)
{ }

PeakAdapter::~PeakAdapter()
{
    // The channel is given back before the library can go away under it.
    if (m_initialised && m_library.isLoaded())
        PeakLibrary::CAN_Uninitialize(m_initialisedChannel);
}

PeakStatus PeakAdapter::busStatus() const
{
    return m_library.isLoaded() ? PeakLibrary::CAN_GetStatus(m_channel) : PeakStatus(0);
}

bool PeakAdapter::bringUp(int kbitPerSecond, const CanTrace &trace)
{
    m_rate = 0;
    if (!m_library.acquire()) {
        trace.line() << "DLL load error!";
        m_library.release();
        vendorCriticalMessage(trace.tag(), nullptr, QStringLiteral("Error at loading library"), libraryMissingText());
        return false;
    }
    if (m_profile.loadSuccessLine && trace.debugEnabled())
        trace.line() << "DLL load success!";
    // Opening again must not find our channel still initialised; a channel this adapter did not
    // initialise (a failed open) is never released, since another handler may hold it.
    if (m_initialised)
        PeakLibrary::CAN_Uninitialize(m_initialisedChannel);
    m_initialised = false;
    if (m_profile.scansChannels) {
        for (PeakChannel usb = kFirstUsbChannel; usb <= kLastUsbChannel; ++usb) {
            quint32 condition = 0;
            char name[512] = {};
            if (PeakLibrary::CAN_GetValue(usb, PeakLibrary::kChannelCondition, &condition, sizeof condition)
                    == PeakLibrary::kOk
                && condition == 1)
                PeakLibrary::CAN_GetValue(usb, PeakLibrary::kHardwareName, name, sizeof name);
            if (chLow().isDebugEnabled())
                qCDebug(chLow).noquote() << trace.tag() << "-------------------------------->" << trace.tag() << usb
                                         << (condition == 1 ? "true" : "false");
        }
    }
    setParameterOn(m_channel, PeakLibrary::kBitrateAdapting);
    const PeakStatus init
        = PeakLibrary::CAN_Initialize(m_channel, canBitRateCodes(kbitPerSecond).peakBtr0Btr1, 0, 0, 0);
    const bool failed = init & ~PeakLibrary::kCaution;
    if (trace.debugEnabled() && (!failed || m_profile.logsInitStatusOnFailure))
        trace.line() << "InitStatus:" << PeakLibrary::errorText(init);
    if (failed)
        return false;
    m_initialised = true;
    m_initialisedChannel = m_channel;
    const PeakStatus filter = PeakLibrary::CAN_FilterMessages(m_channel, 0, 0x7FF, 0);
    if (trace.debugEnabled())
        trace.line() << "FilterStatus:" << PeakLibrary::errorText(filter);
    const PeakStatus autoReset = setParameterOn(m_channel, PeakLibrary::kBusOffAutoReset);
    if (trace.debugEnabled())
        trace.line() << "AutoResetStatus:" << PeakLibrary::errorText(autoReset);
    quint32 bitsPerSecond = 0;
    if (PeakLibrary::CAN_GetValue(m_channel, PeakLibrary::kBusSpeedNominal, &bitsPerSecond, sizeof bitsPerSecond)
        == PeakLibrary::kOk)
        m_rate = int(bitsPerSecond / 1000);
    return true;
}

bool PeakAdapter::shutDown(const CanTrace &)
{
    const bool wasInitialised = m_initialised;
    if (m_initialised && m_library.isLoaded())
        PeakLibrary::CAN_Uninitialize(m_initialisedChannel);
    m_initialised = false;
    return wasInitialised;
}

bool PeakAdapter::send(const CanMessage &frame, const CanTrace &trace)
{
    if (!m_library.isLoaded())
        return false;
    if (m_profile.resetsBusBeforeSend) {
        const PeakStatus bus = PeakLibrary::CAN_GetStatus(m_channel);
        if (bus == PeakLibrary::kBusLight || bus == PeakLibrary::kBusHeavy)
            PeakLibrary::CAN_Reset(m_channel);
    }
    PeakMessage message = canrecords::toPeak(frame);
    const PeakStatus status = PeakLibrary::CAN_Write(m_channel, &message);
    if (m_profile.resetsBusBeforeSend && trace.debugEnabled()) {
        if (status != PeakLibrary::kOk)
            trace.line() << "Message send error:" << PeakLibrary::errorText(status);
        else
            trace.line() << "Message was successfully sent:";
    }
    return status == PeakLibrary::kOk;
}

bool PeakAdapter::take(CanReceived &received)
{
    if (!m_library.isLoaded())
        return false;
    PeakMessage message;
    PeakTimestamp timestamp;
    if (PeakLibrary::CAN_Read(m_channel, &message, &timestamp) != PeakLibrary::kOk)
        return false;
    return canrecords::fromPeak(message, received);
}
