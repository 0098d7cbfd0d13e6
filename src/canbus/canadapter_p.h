#pragma once

#include "canmessage.h"

#include <QDebug>
#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>

// Where an adapter's lines go. The handler that drives the adapter makes one per operation:
// the method tag of that operation (worked out only when a line is written), and whether its
// debug switch is on. Lines for the user are written always; debug lines only while the switch
// is on.
class CanTrace
{
public:
    CanTrace(const QObject *self, const char *function, bool debugEnabled)
        : m_self(self), m_function(function), m_debug(debugEnabled)
    { }

    QString tag() const;
    bool debugEnabled() const { return m_debug; }
    // A line that starts with the tag; the caller streams the rest of it.
    QDebug line() const;

private:
    const QObject *m_self;
    const char *m_function;
    bool m_debug;
};

// The trace of the operation this is written in, under the name of the object's run-time class.
#define CH_CAN_TRACE(debugEnabled) CanTrace(this, Q_FUNC_INFO, (debugEnabled))

// One frame taken from an adapter. `rawLength` is the length code the library reported, which
// may exceed 8 (frame.length never does). An adapter whose library delivers the 16-byte record
// that the ZAPL reply decoder reads as it stands (esd) copies it into `record`.
struct CanReceived
{
    CanMessage frame;
    int rawLength = 0;
    bool hasRecord = false;
    char record[16] = {};
};

// What an adapter reports on its own, outside any call: the device went away (unplugged, the
// bus server gone, the interface down), the controller went bus-off, or an error frame
// arrived. `text` names the cause in one line; `device` names the port or interface, if any.
struct CanAdapterNotice
{
    enum Kind { DeviceGone, BusOff, ErrorFrame };
    Kind kind;
    QString text;
    QString device;
};

// One transport under both CAN families: the ZAPL-over-CAN handlers and the CANopen masters
// drive the same adapter object through these operations, from the thread that owns them.
// Vendor texts and quirks that differ between the families are data the adapter's constructor
// takes; what is common is written once here.
class CanAdapter
{
public:
    virtual ~CanAdapter();
    CanAdapter(const CanAdapter &) = delete;
    CanAdapter &operator=(const CanAdapter &) = delete;

    // Called by the handler's openDevice after its first line. Brings the channel up at
    // kbitPerSecond (closing a channel it still holds first); true when frames can flow.
    virtual bool bringUp(int kbitPerSecond, const CanTrace &trace) = 0;
    // Called by closeDevice and on destruction; takes the channel down. True when the adapter
    // counts it as closed (some families report whether a channel was open).
    virtual bool shutDown(const CanTrace &trace) = 0;
    // Called by setDataRate; true when the adapter took the rate (applied now, or stored for
    // the next bringUp where the library can only take it there).
    virtual bool applyBitRate(int kbitPerSecond, const CanTrace &trace) = 0;
    // Hands one frame to the open adapter; false when it was refused.
    virtual bool send(const CanMessage &frame, const CanTrace &trace) = 0;
    // Takes at most one received frame without blocking; false when none was waiting. Error
    // reports of the controller are never frames: the adapter notifies them instead.
    virtual bool take(CanReceived &received) = 0;
    // The bit rate the channel runs at as read back after bringUp, in kbit/s; 0 when the
    // adapter cannot tell.
    virtual int runningRate() const { return 0; }
    // Frames reach the adapter only while the owner's event loop runs (a serial port, a socket
    // notifier): a reply wait that does not return to the loop must let it run before a take.
    virtual bool needsEventLoop() const { return false; }

    // Receives the adapter's notices; set by the handler that owns the adapter. The handler
    // never calls back into the adapter from inside the sink.
    void setNoticeSink(std::function<void(const CanAdapterNotice &)> sink) { m_sink = std::move(sink); }
    // How the owner applies a rate (its virtual setDataRate, which stores the rate and calls
    // applyBitRate): bringUp calls it where the library wants the rate set.
    void setRateHook(std::function<void(int)> hook) { m_rateHook = std::move(hook); }

protected:
    CanAdapter() = default;
    void notify(CanAdapterNotice::Kind kind, const QString &text, const QString &device = QString()) const;
    // Called by bringUp at the point where the library takes the rate.
    void applyOwnerRate(int kbitPerSecond, const CanTrace &trace);

private:
    std::function<void(const CanAdapterNotice &)> m_sink;
    std::function<void(int)> m_rateHook;
};

// The bit rate in kbit/s that a CAN handler's openDevice argument carries: the number itself,
// or the first item of a list; 0 when there is none.
int canBitRateOf(const QVariant &device);

// The codes each library takes for a rate in kbit/s. A rate that is not listed gets the
// "other" row: esd, PEAK and IXXAT fall back to 1000 kbit/s, Kvaser to 0, which it rejects.
struct CanBitRateCodes
{
    int kbit;
    quint32 esdIndex;
    long kvaserCode;
    quint16 peakBtr0Btr1;
    quint8 ixxatBtr0, ixxatBtr1;
};
CanBitRateCodes canBitRateCodes(int kbitPerSecond);
