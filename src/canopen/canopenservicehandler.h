#pragma once

#include "canopenhandlerinterface.h"

#include <memory>

class CanAdapter;
class CanTrace;
struct CanAdapterNotice;

namespace canopen {
class SdoTransfer;
}

/// The services written once for every adapter: NMT, SYNC, PDO, SDO and LSS over two hooks,
/// "hand one frame to the adapter" and "take one frame from it", whose defaults drive the
/// handler's CAN adapter. The adapters differ only in the data of AdapterTraits. Exported only
/// because the exported handlers derive from it.
///
/// Every frame is a standard data frame and is reported as sent through the sent-frame rule
/// (emitSentCanMessage()); NMT frames are reported after the send, PDO, SYNC and LSS frames
/// before it (esd: NMT, SYNC and LSS after the send, and only when the adapter took them). An
/// SDO or LSS wait examines, in order, every frame checkForCanMessage() reports while it waits,
/// so a reply reported while the loop was not running is not lost; a non-matching frame does
/// not restart the time-out.
class COMMANDHANDLER_EXPORT CANopenServiceHandler : public CANopenHandlerInterface
{
    Q_OBJECT
public:
    /// Takes the adapter down and releases its use of the vendor library.
    ~CANopenServiceHandler() override;

    /// Stores the rate and applies it to the adapter at once (esd, Kvaser, IXXAT); the vendor's
    /// code for an unlisted rate is that of 1000 kbit/s (Kvaser: 0, which the library refuses).
    void setDataRate(int kbit) override;
    /// The bit rate in kbit/s (toInt); brings the adapter up and takes the rate it reads back.
    bool openDevice(QVariant bitRate) override;
    /// Takes the adapter down; true.
    bool closeDevice() override;
    /// openDevice() with getDataRate().
    bool reopenDevice() override;
    /// Whether an SDO transfer waits for replies.
    bool isBusy() override { return busy; }

    void NMTResetAppl(unsigned char node) override;
    void NMTResetComm(unsigned char node) override;
    void NMTStop(unsigned char node) override;
    void NMTPreOp(unsigned char node) override;
    void NMTStart(unsigned char node) override;
    unsigned char SDOWrite(unsigned char node, unsigned short index, unsigned char subIndex, unsigned char size,
        int value, unsigned int &abortCode) override;
    unsigned char SDOWrite(unsigned char node, unsigned short index, unsigned char subIndex, unsigned int size,
        QByteArray data, unsigned int &abortCode) override;
    unsigned char SDORead(
        unsigned char node, unsigned short index, unsigned char subIndex, QVariant &value, unsigned int &info) override;
    /// The segment phase of an upload on its own: requests segments until the last one and
    /// returns 1 when exactly `expectedSize` bytes came with the right final toggle (`info` then
    /// receives the size), 4 on an abort (`info` the code), 5 or 6 otherwise. `out` receives the
    /// bytes even on failure. No abort frame is sent after a time-out.
    unsigned char SDOReadSegmented(unsigned char node, QByteArray *out, unsigned int expectedSize, unsigned int &info);
    /// Refuses (sends nothing, writes a warning) more than 8 bytes: a CAN frame cannot carry
    /// them.
    void PDOTransmit(unsigned short cobId, QByteArray data) override;
    void SYNCPulse() override;
    void LSSSend(unsigned char cs) override;
    void LSSSend(unsigned char cs, unsigned char b1) override;
    void LSSSend(unsigned char cs, unsigned char b1, unsigned char b2) override;
    void LSSSend(unsigned char cs, unsigned short value16) override;
    void LSSSend(unsigned char cs, unsigned int value32) override;
    unsigned char LSSSendAndWait(unsigned char cs, unsigned char replyCs, unsigned int &valueOut, unsigned char &b1Out,
        unsigned char &b2Out, unsigned int timeout) override;
    unsigned char LSSSendAndWait(unsigned char cs, unsigned char b1, unsigned char replyCs, unsigned int &valueOut,
        unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout) override;
    unsigned char LSSSendAndWait(unsigned char cs, unsigned char b1, unsigned char b2, unsigned char replyCs,
        unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout) override;
    unsigned char LSSSendAndWait(unsigned char cs, unsigned int value32, unsigned char replyCs, unsigned int &valueOut,
        unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout) override;
    unsigned char LSSSendAndWait(unsigned char cs, unsigned int value32, unsigned char b5, unsigned char b6,
        unsigned char b7, unsigned char replyCs, unsigned int timeout) override;

    /// The received-frame rule: receivedCanMessage(), receivedPDO() for 0x181..0x57F, and
    /// logReceivedCanMessage() while history is enabled.
    void emitReceivedCanMessage(CanMessage frame);
    /// The sent-frame rule: logSentCanMessage() while history is enabled, then
    /// countSentCanMessage().
    void emitSentCanMessage(CanMessage frame);
    /// The frame the last checkForCanMessage() took (as the adapter's rule keeps it).
    CanMessage lastReceivedFrame() const { return lastFrame; }

public slots:
    /// Takes at most one received frame and reports it (every adapter polls the same way).
    /// The frame's extended and remote flags are cleared; nothing is taken while closed.
    void checkForCanMessage() override;

protected:
    /// What distinguishes one adapter's handler from another's.
    struct AdapterTraits
    {
        const char *name; ///< object and device name; null keeps the interface's "UNKNOWN_" name
        int connectionType; ///< ConnectionType value
        int syncLength; ///< 0, or 1 with the byte 0x01
        bool reportOnlyAccepted; ///< NMT, SYNC and LSS reported after the send, only when accepted
        bool rejectedFramesKeptLast; ///< a frame the filter rejects still replaces lastFrame
    };
    /// Names the handler as `traits` says, takes `adapter` over (null for a subclass that moves
    /// frames itself) and starts at 1000 kbit/s.
    CANopenServiceHandler(const AdapterTraits &traits, CanAdapter *adapter, QObject *parent);

    /// Called by a service to hand one standard data frame to the open adapter; false when refused.
    virtual bool sendFrame(const CanMessage &frame);
    /// Called by checkForCanMessage(); takes at most one received frame without waiting.
    virtual bool takeFrame(CanMessage &frame);
    /// The body of every adapter's checkForCanMessage().
    void takeAndReport();
    /// The open steps every adapter shares: clear deviceOpen, bring the adapter up at `rate`, take
    /// the rate it reads back, and set deviceOpen to the outcome.
    bool bringAdapterUp(int rate, const CanTrace &trace);
    /// The adapter this handler drives; null for a subclass that moves frames itself.
    CanAdapter *adapter() const { return m_adapter.get(); }

    bool busy = false; ///< See isBusy(); set after an SDO transfer's first frame went out.
    CanMessage lastFrame; ///< See lastReceivedFrame().

private:
    void adapterNotice(const CanAdapterNotice &notice);
    enum class Order { ReportThenSend, SendThenReport };
    bool transmit(const CanMessage &frame, Order order);
    void sendNmt(unsigned char specifier, unsigned char node);
    void sendSyncOrLss(const CanMessage &frame);
    unsigned char runSdo(canopen::SdoTransfer &transfer);
    unsigned char sendLssAndWait(const CanMessage &request, unsigned char replyCs, unsigned int &valueOut,
        unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout);

    AdapterTraits m_traits;
    std::unique_ptr<CanAdapter> m_adapter;
};
