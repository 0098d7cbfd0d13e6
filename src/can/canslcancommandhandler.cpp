#include "canslcancommandhandler.h"

#include "canzaplcommand.h"
#include "canzaplengine_p.h"
#include "slcaninterface.h"

#include <QCoreApplication>

namespace {
CanZaplEngine::Traits slcanTraits()
{
    CanZaplEngine::Traits t;
    t.cleared = "cleared timeOutedDevices.";
    t.directDecode = true;
    t.zeroSpareByte = true;
    t.storesRateOnlyOnSuccess = true;
    return t;
}
} // namespace

// The SLCAN column: frames travel as text lines through SLCANInterface.
class CanSlcanEngine final : public CanZaplEngine
{
public:
    CanSlcanEngine(CommandHandlerInterface *handler, const Fields &fields)
        : CanZaplEngine(handler, fields, slcanTraits())
    { }

    QString portName;
    bool useAckNak = false;
    SLCANInterface slcan;

protected:
    bool openAdapter(const QVariant &, int bitRate) override
    {
        if (!slcan.openPort(portName, useAckNak))
            return false;
        if (debugEnabled())
            qDebug().noquote() << tag("openDevice") << "SLCAN initialize success";
        if (!slcan.setBitrate(bitRate))
            return false;
        m_fields.dataRate = bitRate;
        slcan.openChannel();
        slcan.clearQueue();
        return true;
    }

    bool closeAdapter() override
    {
        slcan.closeChannel();
        slcan.closePort();
        return true;
    }

    bool applyBitRate(int kbitPerSecond) override { return slcan.setBitrate(kbitPerSecond); }

    bool sendFrame(const CanMessage &frame) override { return slcan.sendMessage(frame); }

    bool takeFrame(Taken &taken) override
    {
        // Frames arrive through the port's readyRead signal, so let the event loop run first.
        QCoreApplication::processEvents();
        return slcan.takeMessage(taken.frame);
    }
};

CANSlCanCommandHandler::CANSlCanCommandHandler(QObject *parent)
    : CANZAPLCommandHandler(QStringLiteral("CAN SLCAN"), parent),
      m_engine(new CanSlcanEngine(this, CH_CAN_ZAPL_FIELDS(this)))
{
    bindEngine(m_engine.get());
}

CANSlCanCommandHandler::~CANSlCanCommandHandler() = default;

void CANSlCanCommandHandler::setComPortName(const QString &name)
{
    if (!deviceOpen)
        m_engine->portName = name;
}

QString CANSlCanCommandHandler::comPortName() const
{
    return m_engine->portName;
}

void CANSlCanCommandHandler::setAckNakUsage(bool use)
{
    m_engine->useAckNak = use;
}
