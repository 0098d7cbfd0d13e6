#include "canopenpeakcommandhandler.h"

#include "basictools.h"
#include "canopenbitrates_p.h"
#include "chlog_p.h"
#include "criticalmessage_p.h"
#include "peaklibrary_p.h"

namespace {
constexpr unsigned short kNoChannel = 0xFF;

QString libraryMissingText()
{
    return QStringLiteral("PCANBasic.dll not found!\n\n"
                          "Please keep in mind that none of Peak-Systems setups install the PCANBasic.dll.\n\n"
                          "If you build an application that uses the PCANBasic.dll, you need to to copy "
                          "the PCANBasic.dll manually to your Windows System directory.\n\n"
                          "Windows 32-bit systems:\n\n"
                          "PCAN-Basic API\\Win32\\PCANBasic.dll > Windows\\System32\n\n"
                          "Windows 64-bit systems:\n\n"
                          "PCAN-Basic API\\Win32\\PCANBasic.dll > Windows\\SysWOW64\n\n"
                          "PCAN-Basic API\\x64\\PCANBasic.dll > Windows\\System32");
}
} // namespace

CANopenPeakCommandHandler::CANopenPeakCommandHandler(QObject *parent)
    : CANopenServiceHandler({ 1, false, true }, parent), m_library(new VendorLibraryUse(PeakLibrary::library()))
{
    setObjectName(QStringLiteral("CANopen PEAK"));
    setDeviceName(objectName());
}

CANopenPeakCommandHandler::~CANopenPeakCommandHandler()
{
    if (m_channel != kNoChannel && m_library->isLoaded()) {
        CH_DEBUG << BasicTools::iToHex(quint32(PeakLibrary::CAN_GetStatus(m_channel)), 8, QStringLiteral("0x"));
        if (deviceOpen) // an initialised channel is not left behind in the driver
            PeakLibrary::CAN_Uninitialize(m_channel);
    }
    delete m_library;
}

unsigned short CANopenPeakCommandHandler::baudrateFromBitrate(int kbit)
{
    return canopen::adapterRate(kbit).peakBtr;
}

void CANopenPeakCommandHandler::setDataRate(int)
{ }

bool CANopenPeakCommandHandler::openDevice(QVariant bitRate)
{
    const int rate = bitRate.toInt();
    CH_DEBUG << "bitrate:" << rate;
    deviceOpen = false;
    if (!m_library->acquire()) {
        CH_DEBUG << "DLL load error!";
        m_library->release();
        vendorCriticalMessage(CH_TAG, nullptr, QStringLiteral("Error at loading library"), libraryMissingText());
        return false;
    }
    CH_DEBUG << "DLL load success!";
    // Opening again must not find the channel still initialised.
    if (m_channel != kNoChannel)
        PeakLibrary::CAN_Uninitialize(m_channel);
    m_channel = quint16(0x50 + m_channelId);
    for (PeakChannel usb = 0x51; usb <= 0x58; ++usb) {
        quint32 condition = 0;
        char name[512] = {};
        if (PeakLibrary::CAN_GetValue(usb, PeakLibrary::kChannelCondition, &condition, sizeof condition)
                == PeakLibrary::kOk
            && condition == 1)
            PeakLibrary::CAN_GetValue(usb, PeakLibrary::kHardwareName, name, sizeof name);
        if (chLow().isDebugEnabled())
            CH_LOW << "-------------------------------->" << CH_TAG << usb << (condition == 1 ? "true" : "false");
    }
    quint32 on = 1;
    PeakLibrary::CAN_SetValue(m_channel, PeakLibrary::kBitrateAdapting, &on, sizeof on);
    const PeakStatus status = PeakLibrary::CAN_Initialize(m_channel, baudrateFromBitrate(rate), 0, 0, 0);
    if (status != PeakLibrary::kOk && status != PeakLibrary::kCaution)
        return false;
    CH_DEBUG << "InitStatus:" << PeakLibrary::errorText(status);
    CH_DEBUG << "FilterStatus:" << PeakLibrary::errorText(PeakLibrary::CAN_FilterMessages(m_channel, 0, 0x7FF, 0));
    CH_DEBUG << "AutoResetStatus:"
             << PeakLibrary::errorText(
                    PeakLibrary::CAN_SetValue(m_channel, PeakLibrary::kBusOffAutoReset, &on, sizeof on));
    quint32 bitsPerSecond = 0;
    if (PeakLibrary::CAN_GetValue(m_channel, PeakLibrary::kBusSpeedNominal, &bitsPerSecond, sizeof bitsPerSecond)
        == PeakLibrary::kOk)
        dataRate = int(bitsPerSecond / 1000);
    deviceOpen = true;
    return true;
}

bool CANopenPeakCommandHandler::closeDevice()
{
    CH_DEBUG << "handle:" << m_channel;
    const bool wasOpen = deviceOpen;
    if (wasOpen) {
        PeakLibrary::CAN_Uninitialize(m_channel);
        deviceOpen = false;
    }
    return wasOpen;
}

bool CANopenPeakCommandHandler::sendFrame(const CanMessage &frame)
{
    if (m_channel == kNoChannel || !m_library->isLoaded())
        return false;
    PeakMessage message;
    message.id = frame.id;
    message.length = quint8(qBound(0, frame.length, 8));
    std::copy(frame.data, frame.data + 8, message.data);
    return PeakLibrary::CAN_Write(m_channel, &message) == PeakLibrary::kOk;
}

bool CANopenPeakCommandHandler::takeFrame(CanMessage &frame)
{
    if (m_channel == kNoChannel || !m_library->isLoaded())
        return false;
    PeakMessage message;
    PeakTimestamp stamp;
    if (PeakLibrary::CAN_Read(m_channel, &message, &stamp) != PeakLibrary::kOk)
        return false;
    frame.id = message.id;
    frame.setData(message.data, qMin<int>(message.length, 8));
    return true;
}
