#include "cankvasercommandhandler.h"

#include "basictools.h"
#include "canzaplcommand.h"
#include "canzaplengine_p.h"
#include "criticalmessage_p.h"
#include "global.h"
#include "kvaserlibrary_p.h"

#include <QCoreApplication>
#include <cstring>

namespace {
CanZaplEngine::Traits kvaserTraits()
{
    CanZaplEngine::Traits t;
    t.processEventsWhenForced = true;
    return t;
}

constexpr int kStatusNotInitialised = -8; // canERR_NOTINITIALIZED: the library is not loaded

// canSetBusParams codes; 800 and 20 kbit/s have none and, like any unlisted rate, give 0.
long busParamsCode(int kbitPerSecond)
{
    switch (kbitPerSecond) {
    case 1000:
        return -1;
    case 500:
        return -2;
    case 250:
        return -3;
    case 125:
        return -4;
    case 100:
        return -5;
    case 50:
        return -7;
    case 10:
        return -9;
    default:
        return 0;
    }
}

int channelOf(const QVariant &device, int current)
{
    const QVariantList list = device.toList();
    return list.size() >= 2 ? list.at(1).toInt() : current;
}
} // namespace

// The Kvaser column: a CANlib channel handle, −1 when none.
class CanKvaserEngine final : public CanZaplEngine
{
public:
    CanKvaserEngine(CommandHandlerInterface *handler, const Fields &fields)
        : CanZaplEngine(handler, fields, kvaserTraits()), m_library(KvaserLibrary::library())
    { }

    ~CanKvaserEngine() override
    {
        // An open channel is closed before the library can go away under it.
        shutChannel();
    }

protected:
    bool openAdapter(const QVariant &device, int bitRate) override
    {
        m_channel = channelOf(device, m_channel);
        // A second open (reopenDevice) must not leave the first channel open behind it.
        shutChannel();
        if (!m_library.acquire() || !KvaserLibrary::hasCoreFunctions()) {
            qDebug().noquote() << tag("openDevice") << "canInitializeLibrary -> failed";
            m_library.release();
            m_handle = -1;
            return false;
        }
        KvaserLibrary::canInitializeLibrary();
        if (debugEnabled())
            qDebug().noquote() << tag("openDevice") << "canInitializeLibrary -> ok";
        m_handle = KvaserLibrary::canOpenChannel(m_channel, KvaserLibrary::kOpenRequireInitAccess);
        if (m_handle < 0)
            m_handle = KvaserLibrary::canOpenChannel(m_channel, KvaserLibrary::kOpenNoInitAccess);
        if (m_handle < 0) {
            qDebug().noquote() << tag("openDevice") << "canOpenChannel -> failed! handle=" << m_handle;
            vendorCriticalMessage(tag("openDevice"), Global::instance()->mainWindow(),
                QCoreApplication::translate("CANKvaserCommandHandler", "Kvaser Error"),
                QStringLiteral("Failed to open channel\nhandle: ")
                    + BasicTools::iToHex(quint32(m_handle), 2, QStringLiteral("0x")));
            return false;
        }
        qDebug().noquote() << tag("openDevice") << "canOpenChannel -> ok";
        m_handler->setDataRate(bitRate);
        long frequency = 0;
        unsigned int tseg1 = 0, tseg2 = 0, sjw = 0, samples = 0, syncMode = 0;
        if (KvaserLibrary::canGetBusParams(m_handle, &frequency, &tseg1, &tseg2, &sjw, &samples, &syncMode) >= 0)
            m_fields.dataRate = int(frequency / 1000);
        const int status = KvaserLibrary::canBusOn(m_handle);
        if (status < 0) {
            qDebug().noquote() << tag("openDevice") << "canBusOn -> failed! status=" << status;
            KvaserLibrary::canClose(m_handle);
            m_handle = -1;
            return false;
        }
        qDebug().noquote() << tag("openDevice") << "canBusOn -> ok" << m_handle;
        return true;
    }

    bool closeAdapter() override
    {
        if (debugEnabled())
            qDebug().noquote() << tag("closeDevice") << "handle:" << m_handle;
        if (m_handle >= 0 && m_library.isLoaded()) {
            const int off = KvaserLibrary::canBusOff(m_handle);
            if (debugEnabled())
                qDebug().noquote() << tag("closeDevice")
                                   << (off < 0 ? "canBusOff failed! status:" : "canBusOff -> ok! status:") << off;
            const int closed = KvaserLibrary::canClose(m_handle);
            if (debugEnabled())
                qDebug().noquote() << tag("closeDevice")
                                   << (closed < 0 ? "canClose -> failed! status:" : "canClose -> ok! status:")
                                   << closed;
        }
        m_handle = -1;
        m_library.release();
        return true;
    }

    bool applyBitRate(int kbitPerSecond) override
    {
        const int status = m_library.isLoaded()
            ? KvaserLibrary::canSetBusParams(m_handle, busParamsCode(kbitPerSecond), 0, 0, 0, 0, 0)
            : kStatusNotInitialised;
        if (status < 0) {
            if (debugEnabled())
                qDebug().noquote() << tag("setDataRate") << "canSetBusParams -> failed! status=" << status;
            return false;
        }
        if (debugEnabled())
            qDebug().noquote() << tag("setDataRate") << "canSetBusParams -> ok";
        return true;
    }

    bool sendFrame(const CanMessage &frame) override
    {
        quint8 data[8];
        std::memcpy(data, frame.data, sizeof data);
        return KvaserLibrary::canWrite(m_handle, long(frame.id), data, 8, 0) >= 0;
    }

    bool takeFrame(Taken &taken) override
    {
        // Room for the largest frame any CANlib channel delivers, whatever length it reports.
        quint8 data[64] = {};
        long id = 0;
        unsigned int dlc = 0;
        if (KvaserLibrary::canRead(m_handle, &id, data, &dlc, nullptr, nullptr) != 0)
            return false;
        taken.frame.id = quint32(id);
        taken.frame.setData(data, int(qMin(dlc, 8u)));
        taken.frame.length = int(qMin(dlc, 64u));
        return true;
    }

    QVariant reopenArgument() const override { return QVariantList { m_fields.dataRate, m_channel }; }

    QString openLineExtra(const QVariant &device) const override
    {
        return QStringLiteral("channel: ") + QString::number(channelOf(device, m_channel));
    }

private:
    void shutChannel()
    {
        if (m_handle >= 0 && m_library.isLoaded()) {
            KvaserLibrary::canBusOff(m_handle);
            KvaserLibrary::canClose(m_handle);
        }
        m_handle = -1;
    }

    VendorLibraryUse m_library;
    int m_handle = -1;
    int m_channel = 0;
};

CANKvaserCommandHandler::CANKvaserCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(QStringLiteral("CAN Kvaser"), parent),
      m_engine(new CanKvaserEngine(this, CH_CAN_ZAPL_FIELDS(this)))
{
    bindEngine(m_engine.get());
}

CANKvaserCommandHandler::~CANKvaserCommandHandler() = default;
