#pragma once

#include "commandhandler_global.h"
#include "commandhandlerinterface.h"

#include <QString>
#include <QVariant>
#include <memory>

class CANZAPLRequestCommand;
class CANZAPLReplyCommand;
class CanAdapter;
class CanTrace;
struct CanAdapterNotice;
struct CanMessage;
struct CanZaplTexts;

// ZAPL over CAN, written once for every adapter: the request/reply wait, muting and un-muting,
// draining, version queries and the boot frame. A concrete handler brings its adapter and texts
// and fills the few hooks where its adapter needs more than the defaults.
class COMMANDHANDLER_EXPORT CANZAPLCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    ~CANZAPLCommandHandler() override;

    bool setDataRate(int rate) override;
    QString getFirmwareVersion(uchar address) override;
    QString getModuleAndFirmwareVersion(uchar address) override;
    bool openDevice(QVariant device) override;
    bool closeDevice() override;
    bool reopenDevice() override;

    bool writeZAPLCommand(CANZAPLRequestCommand *request);
    void readZAPLCommand(CANZAPLReplyCommand *reply, uchar address);
    void readNextZAPLCommand(CANZAPLReplyCommand *reply, uchar address);
    void sendCANopenBootCommand(uchar nodeId);
    void setReplyID(uchar id) { m_replyId = id; }
    uchar replyID() const { return m_replyId; }

public slots:
    void doDirectRequest(Command *request, Command *reply) override;
    void doDirectRequestWithoutAnswer(Command *request) override;
    void resetTimeOutedDevices();

protected:
    // Names the handler (object and device name) as `texts` says, takes `adapter` over and starts
    // at 1000 kbit/s with a 500 ms reply time-out. `texts` is static data that outlives the handler.
    CANZAPLCommandHandler(CanAdapter *adapter, const CanZaplTexts &texts, QObject *parent);

    // Called by openDevice after its first line, with deviceOpen and the muted list cleared;
    // true when frames can flow. The default brings the adapter up at bitRate.
    virtual bool openAdapter(const QVariant &device, int bitRate, const CanTrace &trace);
    // Called by closeDevice, which then clears deviceOpen; the result is closeDevice's.
    virtual bool closeAdapter(const CanTrace &trace);
    // Called by setDataRate; true when the adapter took the rate.
    virtual bool applyBitRate(int kbitPerSecond, const CanTrace &trace);
    // The argument reopenDevice passes to openDevice; the default is the current data rate.
    virtual QVariant reopenArgument() const;
    // The bit rate an openDevice argument carries; the default is an int or the first list item.
    virtual int bitRateOf(const QVariant &device) const;
    // Items after the bit rate on the first line of openDevice; the default is none.
    virtual QString openLineExtra(const QVariant &device) const;
    CanAdapter &adapter() const { return *m_adapter; }
    // The ConnectionType value a detached device is reported under (the texts' one at first).
    void setConnectionType(int type) { m_connectionType = type; }

private:
    friend class CanZaplWaitGuard;
    bool sendFrame(const CanMessage &frame, const CanTrace &trace);
    void emitTraffic(MessageFlag flag, void *frame, bool request);
    void unmuteTimerFired();
    void adapterNotice(const CanAdapterNotice &notice);

    std::unique_ptr<CanAdapter> m_adapter;
    const CanZaplTexts &m_texts;
    int m_busy = 0; // inside a write or a reply wait, either of which may run the event loop
    bool m_unmutePending = false; // an un-mute timer fired while busy
    uchar m_replyId = 2;
    uint m_lastRequestId = 0;
    int m_connectionType;
};
