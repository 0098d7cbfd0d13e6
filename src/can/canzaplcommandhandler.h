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

/// ZAPL over CAN, written once for every adapter: the request/reply wait, muting and un-muting,
/// draining, version queries and the boot frame. A concrete handler brings its adapter and texts
/// and fills the few hooks where its adapter needs more than the defaults.
///
/// A request goes out as one CANZAPLRequestCommand frame on the module's address; the reply is
/// the first received standard data frame that passes the receive filter
/// (CommandHandlerInterface::filterPassed(); the data are not compared with the address asked),
/// polled every 100 microseconds until maxTimeoutMS() (500 ms).
/// An address that does not answer in time is muted: requests to it fail at once, without being
/// sent, until 5000 ms after the first muting, when resetTimeOutedDevices() drains late frames
/// and clears every muted address together. openDevice() clears the list too.
///
/// Threads: everything runs in the thread that owns the handler. The reply wait does not run the
/// event loop, except where the adapter needs it for its frames to arrive (SLCAN) and for
/// Kvaser with setForceProcessEvents(); the un-mute timer fires only once control is back in the
/// event loop, and is held back while a wait is in progress.
///
/// The adapter's vendor library is loaded at run time, process-wide and shared with the CANopen
/// handler of the same vendor: on Windows the vendor's DLL, on Linux the vendor's Linux library
/// (see the main page). A missing library makes openDevice() return false with a critical log
/// line.
class COMMANDHANDLER_EXPORT CANZAPLCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    /// Takes the adapter down and releases its use of the vendor library.
    ~CANZAPLCommandHandler() override;

    /// Stores the rate (kbit/s) and applies it to the adapter through the vendor's code for it;
    /// a rate the vendor does not list falls back to the code for 1000 kbit/s (Kvaser: code 0,
    /// which the library refuses). The result says whether the adapter took it: esd and PEAK
    /// always true, PEAK applying the rate only at the next openDevice(); SLCAN false for a
    /// rate outside its table, keeping the old rate.
    bool setDataRate(int rate) override;
    /// Version query of type 1; on a valid reply with status 100, also asks
    /// getModuleAndFirmwareVersion() and returns what BasicTools::matchFirmwareVersion() makes
    /// of both. Empty when the handler is closed, the address is muted or no reply came.
    QString getFirmwareVersion(uchar address) override;
    /// Version query of type 0; the reply's eight data bytes as eight Latin-1 characters, whatever
    /// the status byte. Empty when the handler is closed, the address is muted or no reply came.
    QString getModuleAndFirmwareVersion(uchar address) override;
    /// `device` is the bit rate in kbit/s (Kvaser also takes a list [bit rate, channel]). Clears
    /// the muted addresses, brings the adapter up and takes the bit rate the adapter reads back as
    /// dataRate(). True when frames can flow.
    bool openDevice(QVariant device) override;
    /// Takes the adapter down and clears isDeviceOpen(). True, except PEAK: whether it was open.
    bool closeDevice() override;
    /// openDevice() with the current data rate (Kvaser: and its channel), without closing first.
    bool reopenDevice() override;

    /// Sends one request frame, and reports it as history. False, sending nothing, when the
    /// handler is closed or the request's address is muted; true once the frame was handed to
    /// the adapter, even if the adapter refused it (the reply wait then times out).
    bool writeZAPLCommand(CANZAPLRequestCommand *request);
    /// Takes at most one received frame, without waiting, and decodes it into `reply` when it is
    /// a standard data frame that passes the receive filter; `reply` is invalid otherwise (a
    /// remote or 29-bit frame is never a reply). `address` is only written to the debug line.
    void readZAPLCommand(CANZAPLReplyCommand *reply, uchar address);
    /// Waits for the reply to the last request, up to maxTimeoutMS(). On a time-out mutes
    /// `address` (arming the 5000 ms un-mute when it is the first), emits deviceClosed() and
    /// leaves `reply` invalid; a closed handler or a muted address fails at once.
    void readNextZAPLCommand(CANZAPLReplyCommand *reply, uchar address);
    /// Sends the boot frame to a CANopen node: identifier 0x600 + `nodeId`, an expedited SDO
    /// download of the 32-bit boot code to object 0x5FFF sub-index 0. Nothing is read; nothing
    /// is sent while closed.
    void sendCANopenBootCommand(uchar nodeId);
    /// Sets the host's reply identifier: copied as reply address into every decoded reply (not
    /// by PEAK). Nothing filters on it: set the receive filter for that.
    void setReplyID(uchar id) { m_replyId = id; }
    /// The host's reply identifier; 2 at first.
    uchar replyID() const { return m_replyId; }

public slots:
    /// Builds the CAN request frame, writes it and waits for the reply (see
    /// readNextZAPLCommand()). A valid reply fills `reply`: address, command, status and value
    /// from the frame, type, motor, extended flag and reply address from the request, and the
    /// frame's spare byte as checksum.
    void doDirectRequest(Command *request, Command *reply) override;
    /// Sends the request without the extended-type packing and reads nothing; nothing while
    /// closed.
    void doDirectRequestWithoutAnswer(Command *request) override;
    /// Drains the frames waiting at the adapter (at most 4096 per muted address) and clears the
    /// muted addresses. Run by the un-mute timer 5000 ms after the first muting; a host may call it
    /// earlier.
    void resetTimeOutedDevices();

protected:
    /// Names the handler (object and device name) as `texts` says, takes `adapter` over and starts
    /// at 1000 kbit/s with a 500 ms reply time-out. `texts` is static data that outlives the handler.
    CANZAPLCommandHandler(CanAdapter *adapter, const CanZaplTexts &texts, QObject *parent);

    /// Called by openDevice after its first line, with deviceOpen and the muted list cleared;
    /// true when frames can flow. The default brings the adapter up at bitRate.
    virtual bool openAdapter(const QVariant &device, int bitRate, const CanTrace &trace);
    /// Called by closeDevice, which then clears deviceOpen; the result is closeDevice's.
    virtual bool closeAdapter(const CanTrace &trace);
    /// The argument reopenDevice passes to openDevice; the default is the current data rate.
    virtual QVariant reopenArgument() const;
    /// Items after the bit rate on the first line of openDevice; the default is none.
    virtual QString openLineExtra(const QVariant &device) const;
    /// The adapter this handler drives.
    CanAdapter &adapter() const { return *m_adapter; }
    /// The ConnectionType value a detached device is reported under (the texts' one at first).
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
