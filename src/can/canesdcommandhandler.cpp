#include "canesdcommandhandler.h"

#include "canzaplcommand.h"
#include "canzaplengine_p.h"
#include "esdlibrary_p.h"

#include <cstring>

namespace {
CanZaplEngine::Traits esdTraits()
{
    CanZaplEngine::Traits t;
    t.cleared = "cleared timeOutedDevices.";
    return t;
}

// canSetBaudrate indices; unlisted rates (800 among them) give the index of 1000.
quint32 baudrateIndex(int kbitPerSecond)
{
    switch (kbitPerSecond) {
    case 500:
        return 2;
    case 250:
        return 4;
    case 125:
        return 6;
    case 100:
        return 7;
    case 50:
        return 9;
    case 20:
        return 11;
    case 10:
        return 13;
    default:
        return 0;
    }
}

constexpr qint32 kQueueSize = 255;
constexpr qint32 kLastStandardId = 0x7FF;
} // namespace

// The esd column: an NTCAN handle on a net, 0 when none. The library is held from
// construction to destruction.
class CanEsdEngine final : public CanZaplEngine
{
public:
    CanEsdEngine(CommandHandlerInterface *handler, const Fields &fields)
        : CanZaplEngine(handler, fields, esdTraits()), m_library(EsdLibrary::library())
    {
        m_available = m_library.acquire();
    }

    ~CanEsdEngine() override { closeHandle(); }

    int net = 0;

protected:
    bool openAdapter(const QVariant &, int bitRate) override
    {
        if (!m_available) {
            if (debugEnabled())
                qDebug().noquote() << tag("openDevice") << "DLL load error!";
            return false;
        }
        if (debugEnabled() || m_handle != EsdHandle {})
            qDebug().noquote() << tag("openDevice") << "DLL load success!" << handleText(m_handle);
        // Opening again (reopenDevice) must not leave the first handle open behind it.
        closeHandle();
        const EsdResult result = EsdLibrary::canOpen(net, 0, kQueueSize, kQueueSize, 0, 0, &m_handle);
        if (debugEnabled())
            qDebug().noquote() << tag("openDevice") << "canOpen:" << result;
        if (result != EsdLibrary::kSuccess) {
            m_handle = EsdHandle {};
            return false;
        }
        m_handler->setDataRate(bitRate);
        // Every standard identifier but 0 is received.
        for (qint32 id = 1; id <= kLastStandardId; ++id)
            EsdLibrary::canIdAdd(m_handle, id);
        return true;
    }

    bool closeAdapter() override
    {
        if (!m_fields.deviceOpen && debugEnabled())
            qDebug().noquote() << tag("closeDevice") << " !this->open";
        closeHandle();
        return true;
    }

    bool applyBitRate(int kbitPerSecond) override
    {
        if (m_available)
            EsdLibrary::canSetBaudrate(m_handle, baudrateIndex(kbitPerSecond));
        return true;
    }

    bool sendFrame(const CanMessage &frame) override
    {
        EsdMessage message = {};
        message.id = qint32(frame.id);
        message.len = 8;
        std::memcpy(message.data, frame.data, sizeof message.data);
        qint32 count = 1;
        return EsdLibrary::canSend(m_handle, &message, &count) == EsdLibrary::kSuccess;
    }

    bool takeFrame(Taken &taken) override
    {
        EsdMessage message = {};
        qint32 count = 1;
        if (EsdLibrary::canTake(m_handle, &message, &count) != EsdLibrary::kSuccess || count != 1)
            return false;
        // The record is decoded as the library delivered it (identifier least significant first).
        static_assert(sizeof message == sizeof taken.record, "esd record size");
        std::memcpy(taken.record, &message, sizeof message);
        taken.hasRecord = true;
        taken.frame.id = quint32(message.id);
        taken.frame.setData(message.data, qMin(message.len & 0x0F, 8));
        taken.frame.length = message.len & 0x0F;
        return true;
    }

private:
    void closeHandle()
    {
        if (m_handle != EsdHandle {})
            EsdLibrary::canClose(m_handle);
        m_handle = EsdHandle {};
    }

    static QString handleText(qint32 handle) { return QString::number(handle); }
    static QString handleText(void *handle) { return QString::number(reinterpret_cast<quintptr>(handle)); }

    VendorLibraryUse m_library;
    bool m_available = false;
    EsdHandle m_handle = EsdHandle {};
};

CANEsdCommandHandler::CANEsdCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(QStringLiteral("CAN ESD"), parent),
      m_engine(new CanEsdEngine(this, CH_CAN_ZAPL_FIELDS(this)))
{
    bindEngine(m_engine.get());
}

CANEsdCommandHandler::~CANEsdCommandHandler() = default;

void CANEsdCommandHandler::setNetID(int net)
{
    m_engine->net = net;
}
