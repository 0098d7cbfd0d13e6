#pragma once

#include "canmessage.h"
#include "commandhandlerinterface.h"

#include <QDebug>
#include <QList>
#include <QString>
#include <QVariant>

class CANZAPLRequestCommand;
class CANZAPLReplyCommand;
class Command;
class QTimer;

// One implementation of ZAPL over CAN, shared by the five CAN handlers. Each handler owns one
// engine (a subclass per adapter that fills the hooks below); their common base
// CANZAPLCommandHandler forwards the public operations to it. The engine keeps the
// request/reply wait, muting, draining, version queries, boot frame and debug lines; an
// adapter only moves frames.
class CanZaplEngine
{
public:
    // Per-adapter texts and quirks, as data. A null text means the adapter writes no line.
    struct Traits
    {
        const char *bitrateLabel = "bitrate:";
        const char *readOk = "-> ok lastSendAddress:";
        const char *readOkLength = "length:";
        const char *readFailed = nullptr; // after a take that found nothing
        const char *notOpen = "!open"; // reply wait on a closed device or muted address
        bool notOpenShowsState = false; // IXXAT: the notOpen text is followed by true/false
        const char *triedToRead = "-> tried to read! ";
        const char *timedOut = "-> communicationTimeouted!";
        const char *handlerClosed = "can handler closed: ";
        const char *clearId = "clear CAN-ID:";
        const char *cleared = "cleared timeoutedAddresses.";
        bool directDecode = false; // fill the reply from the data bytes, not a record
        bool setsReplyAddress = true; // copy replyId into each decoded reply
        bool zeroSpareByte = false; // data byte 7 sent as 0 instead of the spare 3
        bool storesRateOnlyOnSuccess = false; // setDataRate keeps the old rate on failure
        bool processEventsWhenForced = false; // reply wait runs the event loop if forced
        bool logsVersionRequest = false; // version query logs the request text first
    };

    // Protected fields of the handler the engine keeps up to date (bound by the handler,
    // which alone may reach them).
    struct Fields
    {
        bool &deviceOpen;
        int &dataRate;
        QList<uchar> &timeoutedAddresses;
        const bool &forceProcessEvents;
    };

    // What one non-blocking take found. An adapter whose library hands over a 16-byte record
    // of its own (esd) puts it in `record` and sets hasRecord; the engine then decodes that
    // record as it stands. frame.length is the library's length code (it may exceed 8; at most
    // 8 data bytes are ever used).
    struct Taken
    {
        CanMessage frame;
        char record[16] = {};
        bool hasRecord = false;
    };

    CanZaplEngine(CommandHandlerInterface *handler, const Fields &fields, const Traits &traits);
    virtual ~CanZaplEngine();
    CanZaplEngine(const CanZaplEngine &) = delete;
    CanZaplEngine &operator=(const CanZaplEngine &) = delete;

    // The handler's operations.
    bool setDataRate(int kbitPerSecond);
    QString getFirmwareVersion(uchar address);
    QString getModuleAndFirmwareVersion(uchar address);
    bool openDevice(const QVariant &device);
    bool closeDevice();
    bool reopenDevice();
    void doDirectRequest(Command *request, Command *reply);
    void doDirectRequestWithoutAnswer(Command *request);
    bool writeZAPLCommand(CANZAPLRequestCommand *request);
    void readZAPLCommand(CANZAPLReplyCommand *reply, uchar address);
    void readNextZAPLCommand(CANZAPLReplyCommand *reply, uchar address);
    void resetTimeOutedDevices();
    void sendCANopenBootCommand(uchar nodeId);
    void setReplyID(uchar id) { m_replyId = id; }
    uchar replyID() const { return m_replyId; }
    uint lastRequestId() const { return m_lastRequestId; }

    // "Class::method()" of the owning handler, for lines the adapter writes.
    QString tag(const char *method) const;
    bool debugEnabled() const { return m_handler->isDebugEnabled(); }
    CommandHandlerInterface *handler() const { return m_handler; }
    const Traits &traits() const { return m_traits; }

protected:
    // Called by openDevice after the bit-rate line and after deviceOpen and the muted list were
    // cleared. Brings the adapter up at bitRate (kbit/s); true when frames can flow.
    virtual bool openAdapter(const QVariant &device, int bitRate) = 0;
    // Called by closeDevice, which then clears deviceOpen; its result is closeDevice's result.
    virtual bool closeAdapter() = 0;
    // Called by setDataRate (after the rate was stored, unless storesRateOnlyOnSuccess); true
    // when the adapter took the rate.
    virtual bool applyBitRate(int kbitPerSecond) = 0;
    // Hands one standard frame to the adapter; called only while the device is open. The
    // engine ignores the result (a lost frame shows as a reply time-out).
    virtual bool sendFrame(const CanMessage &frame) = 0;
    // Takes at most one received frame without blocking; called only while the device is
    // open. False when none was available or the library failed.
    virtual bool takeFrame(Taken &taken) = 0;
    // The argument reopenDevice passes to openDevice; default the current data rate.
    virtual QVariant reopenArgument() const;
    // The bit rate carried by an openDevice argument; default an int or the first list item.
    virtual int bitRateOf(const QVariant &device) const;
    // Extra items for the first line of openDevice (Kvaser: channel); default none.
    virtual QString openLineExtra(const QVariant &device) const;

    CommandHandlerInterface *const m_handler;
    Fields m_fields;

private:
    void emitTraffic(CommandHandlerInterface::MessageFlag flag, void *frame, bool request);

    friend class CanZaplWaitGuard;
    void unmuteTimerFired();

    Traits m_traits;
    int m_busy = 0; // inside a write or reply wait (which may run the event loop)
    bool m_unmutePending = false; // the un-mute timer fired while busy
    QTimer *m_unmuteTimer = nullptr; // single shot, 5000 ms
    uchar m_replyId = 2;
    uint m_lastRequestId = 0;
};

// Binds an engine to the protected fields of the handler `self`; call inside the handler.
#define CH_CAN_ZAPL_FIELDS(self)                                                                                       \
    CanZaplEngine::Fields                                                                                              \
    {                                                                                                                  \
        (self)->deviceOpen, (self)->m_dataRate, (self)->timeoutedAddresses, (self)->forceProcessEvents                 \
    }
