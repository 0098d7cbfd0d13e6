#include "canixxatcommandhandler.h"

#include "canzaplcommand.h"
#include "canzaplengine_p.h"
#include "ixxatlibrary_p.h"

namespace {
CanZaplEngine::Traits ixxatTraits()
{
    CanZaplEngine::Traits t;
    t.bitrateLabel = "Bitrate:";
    t.readOk = "OK; Last sent address:";
    t.readOkLength = "Length:";
    t.notOpen = "The device is open:";
    t.notOpenShowsState = true;
    t.triedToRead = " Tried to read data; Elapsed time:";
    t.timedOut = " Communication timeout!";
    t.handlerClosed = "CAN handler closed:";
    t.clearId = "Clearing CAN ID:";
    t.cleared = "Cleared timeouted addresses";
    return t;
}

struct BitTiming
{
    quint8 btr0, btr1;
};

// Unlisted rates (800 among them) take the timing of 1000.
BitTiming bitTiming(int kbitPerSecond)
{
    switch (kbitPerSecond) {
    case 500:
        return { 0x00, 0x1C };
    case 250:
        return { 0x01, 0x1C };
    case 125:
        return { 0x03, 0x1C };
    case 100:
        return { 0x04, 0x1C };
    case 50:
        return { 0x09, 0x1C };
    case 20:
        return { 0x18, 0x1C };
    case 10:
        return { 0x31, 0x1C };
    default:
        return { 0x00, 0x14 };
    }
}
} // namespace

// The IXXAT column: the process-wide VCI objects of IxxatLibrary.
class CanIxxatEngine final : public CanZaplEngine
{
public:
    CanIxxatEngine(CommandHandlerInterface *handler, const Fields &fields)
        : CanZaplEngine(handler, fields, ixxatTraits()), m_library(IxxatLibrary::library())
    { }

    ~CanIxxatEngine() override
    {
        // Only a handler that opened the adapter takes it down; a handler that never did must
        // not pull the shared objects from under the one using them.
        if (m_library.held())
            IxxatLibrary::releaseObjects();
    }

protected:
    bool openAdapter(const QVariant &, int bitRate) override
    {
        if (!m_library.acquire()) {
            qDebug().noquote() << tag("openDevice") << "Failed to load Ixxat library";
            m_library.release();
            return false;
        }
        if (!IxxatLibrary::initialise()) {
            qDebug().noquote() << tag("openDevice") << "Failed to initialize Ixxat CAN";
            IxxatLibrary::releaseObjects();
            m_library.release();
            return false;
        }
        m_handler->setDataRate(bitRate);
        qDebug().noquote() << tag("openDevice") << "Initialized Ixxat CAN";
        return true;
    }

    bool closeAdapter() override
    {
        if (debugEnabled())
            qDebug().noquote() << tag("closeDevice") << "Closing Ixxat device";
        IxxatLibrary::releaseObjects();
        m_library.release();
        return true;
    }

    bool applyBitRate(int kbitPerSecond) override
    {
        const BitTiming timing = bitTiming(kbitPerSecond);
        if (IxxatLibrary::setBusTiming(timing.btr0, timing.btr1))
            return true;
        if (debugEnabled())
            qDebug().noquote() << tag("setDataRate") << "Failed to set bitrate";
        return false;
    }

    bool sendFrame(const CanMessage &frame) override { return IxxatLibrary::send(frame.id, frame.data, 8); }

    bool takeFrame(Taken &taken) override
    {
        quint8 data[8] = {};
        int length = 0;
        if (!IxxatLibrary::receive(&taken.frame.id, data, &length))
            return false;
        taken.frame.setData(data, qMin(length, 8));
        taken.frame.length = length;
        return true;
    }

private:
    VendorLibraryUse m_library;
};

CANIxxatCommandHandler::CANIxxatCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(QStringLiteral("CAN Ixxat"), parent),
      m_engine(new CanIxxatEngine(this, CH_CAN_ZAPL_FIELDS(this)))
{
    bindEngine(m_engine.get());
}

CANIxxatCommandHandler::~CANIxxatCommandHandler() = default;
