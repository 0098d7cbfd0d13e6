#include "canpeakcommandhandler.h"

#include "canzaplcommand.h"
#include "canzaplengine_p.h"
#include "criticalmessage_p.h"
#include "peaklibrary_p.h"

#include <QStringList>
#include <cstring>

namespace {
CanZaplEngine::Traits peakTraits()
{
    CanZaplEngine::Traits t;
    t.readFailed = "Read failed! (no frame available)";
    t.triedToRead = nullptr;
    t.directDecode = true;
    t.setsReplyAddress = false;
    t.zeroSpareByte = true;
    t.logsVersionRequest = true;
    return t;
}

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
} // namespace

// The PEAK column: a PCAN-Basic channel chosen by net number, 0xFFFF before the first choice.
class CanPeakEngine final : public CanZaplEngine
{
public:
    CanPeakEngine(CommandHandlerInterface *handler, const Fields &fields)
        : CanZaplEngine(handler, fields, peakTraits()), m_library(PeakLibrary::library())
    { }

    ~CanPeakEngine() override
    {
        // The channel is given back before the library can go away under it.
        if (m_initialised)
            PeakLibrary::CAN_Uninitialize(m_channel);
    }

    int net = 1;

protected:
    bool openAdapter(const QVariant &, int bitRate) override
    {
        if (!m_library.acquire()) {
            qDebug().noquote() << tag("openDevice") << "DLL load error!";
            m_library.release();
            vendorCriticalMessage(
                tag("openDevice"), nullptr, QStringLiteral("Error at loading library"), libraryMissingText());
            return false;
        }
        if (net == 1)
            m_channel = PeakLibrary::kUsbBus1;
        else if (net == 2)
            m_channel = PeakLibrary::kUsbBus2;
        // Opening again (reopenDevice) would find the channel still initialised.
        if (m_initialised)
            PeakLibrary::CAN_Uninitialize(m_previousChannel);
        m_initialised = false;
        setParameterOn(m_channel, PeakLibrary::kBitrateAdapting);
        const PeakStatus init
            = PeakLibrary::CAN_Initialize(m_channel, CANPeakCommandHandler::baudrateFromBitrate(bitRate), 0, 0, 0);
        logStatus("InitStatus:", init);
        if (init & ~PeakLibrary::kCaution)
            return false;
        m_initialised = true;
        m_previousChannel = m_channel;
        logStatus("FilterStatus:", PeakLibrary::CAN_FilterMessages(m_channel, 0, 0x7FF, 0));
        logStatus("AutoResetStatus:", setParameterOn(m_channel, PeakLibrary::kBusOffAutoReset));
        quint32 bitsPerSecond = 0;
        if (PeakLibrary::CAN_GetValue(m_channel, PeakLibrary::kBusSpeedNominal, &bitsPerSecond, sizeof bitsPerSecond)
            == PeakLibrary::kOk)
            m_fields.dataRate = int(bitsPerSecond / 1000);
        return true;
    }

    bool closeAdapter() override
    {
        const bool wasOpen = m_fields.deviceOpen;
        if (wasOpen && m_initialised)
            PeakLibrary::CAN_Uninitialize(m_channel);
        if (wasOpen)
            m_initialised = false;
        return wasOpen;
    }

    // The code is applied by the next openDevice.
    bool applyBitRate(int) override { return true; }

    bool sendFrame(const CanMessage &frame) override
    {
        const PeakStatus bus = PeakLibrary::CAN_GetStatus(m_channel);
        if (bus == PeakLibrary::kBusLight || bus == PeakLibrary::kBusHeavy)
            PeakLibrary::CAN_Reset(m_channel);
        PeakMessage message;
        message.id = frame.id;
        message.type = 0;
        message.length = 8;
        std::memcpy(message.data, frame.data, sizeof message.data);
        const PeakStatus status = PeakLibrary::CAN_Write(m_channel, &message);
        if (debugEnabled()) {
            if (status != PeakLibrary::kOk)
                qDebug().noquote() << tag("writeZAPLCommand")
                                   << "Message send error:" << PeakLibrary::errorText(status);
            else
                qDebug().noquote() << tag("writeZAPLCommand") << "Message was successfully sent:";
        }
        return status == PeakLibrary::kOk;
    }

    bool takeFrame(Taken &taken) override
    {
        PeakMessage message;
        PeakTimestamp timestamp;
        if (PeakLibrary::CAN_Read(m_channel, &message, &timestamp) != PeakLibrary::kOk)
            return false;
        taken.frame.id = message.id;
        taken.frame.setData(message.data, qMin<int>(message.length, 8));
        taken.frame.length = message.length;
        return true;
    }

private:
    void logStatus(const char *label, PeakStatus status) const
    {
        if (debugEnabled())
            qDebug().noquote() << tag("openDevice") << label << PeakLibrary::errorText(status);
    }

    VendorLibraryUse m_library;
    PeakChannel m_channel = PeakLibrary::kNoChannel;
    PeakChannel m_previousChannel = PeakLibrary::kNoChannel;
    bool m_initialised = false;
};

CANPeakCommandHandler::CANPeakCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(QStringLiteral("CAN PEAK"), parent),
      m_engine(new CanPeakEngine(this, CH_CAN_ZAPL_FIELDS(this)))
{
    bindEngine(m_engine.get());
}

CANPeakCommandHandler::~CANPeakCommandHandler() = default;

void CANPeakCommandHandler::setNetID(int net)
{
    m_engine->net = net;
}

void CANPeakCommandHandler::setPortName(const QString &name)
{
    setObjectName(name + QLatin1Char('/') + objectName());
    setDeviceName(objectName());
}

quint16 CANPeakCommandHandler::baudrateFromBitrate(int kbitPerSecond)
{
    switch (kbitPerSecond) {
    case 800:
        return 0x0016;
    case 500:
        return 0x001C;
    case 250:
        return 0x011C;
    case 125:
        return 0x031C;
    case 100:
        return 0x432F;
    case 50:
        return 0x472F;
    case 20:
        return 0x532F;
    case 10:
        return 0x672F;
    default:
        return 0x0014;
    }
}
