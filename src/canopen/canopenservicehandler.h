#pragma once

#include "canopenhandlerinterface.h"

#include <memory>

class CanAdapter;
class CanTrace;
struct CanAdapterNotice;

namespace canopen {
class SdoTransfer;
}

// The services written once for every adapter: NMT, SYNC, PDO, SDO and LSS over two hooks,
// "hand one frame to the adapter" and "take one frame from it", whose defaults drive the
// handler's CAN adapter. The adapters differ only in the data of AdapterTraits. Exported only
// because the exported handlers derive from it.
class COMMANDHANDLER_EXPORT CANopenServiceHandler : public CANopenHandlerInterface
{
    Q_OBJECT
public:
    ~CANopenServiceHandler() override;

    // Store the rate and apply it to the adapter at once.
    void setDataRate(int kbit) override;
    // The bit rate in kbit/s (toInt); brings the adapter up.
    bool openDevice(QVariant bitRate) override;
    bool closeDevice() override;
    bool reopenDevice() override;
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
    // The segment phase of an upload on its own; `out` receives the bytes even on failure.
    unsigned char SDOReadSegmented(unsigned char node, QByteArray *out, unsigned int expectedSize, unsigned int &info);
    // Refuses (sends nothing) more than 8 bytes: a CAN frame cannot carry them.
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

    // Reporting rules for one received or sent frame.
    void emitReceivedCanMessage(CanMessage frame);
    void emitSentCanMessage(CanMessage frame);
    // The frame the last checkForCanMessage() took (as the adapter's rule keeps it).
    CanMessage lastReceivedFrame() const { return lastFrame; }

public slots:
    // Takes at most one received frame and reports it (every adapter polls the same way).
    void checkForCanMessage() override;

protected:
    struct AdapterTraits
    {
        const char *name; // object and device name; null keeps the interface's "UNKNOWN_" name
        int connectionType; // ConnectionType value
        int syncLength; // 0, or 1 with the byte 0x01
        bool reportOnlyAccepted; // NMT, SYNC and LSS reported after the send, only when accepted
        bool rejectedFramesKeptLast; // a frame the filter rejects still replaces lastFrame
    };
    // Names the handler as `traits` says, takes `adapter` over (null for a subclass that moves
    // frames itself) and starts at 1000 kbit/s.
    CANopenServiceHandler(const AdapterTraits &traits, CanAdapter *adapter, QObject *parent);

    // Called by a service to hand one standard data frame to the open adapter; false when refused.
    virtual bool sendFrame(const CanMessage &frame);
    // Called by checkForCanMessage(); takes at most one received frame without waiting.
    virtual bool takeFrame(CanMessage &frame);
    // The body of every adapter's checkForCanMessage().
    void takeAndReport();
    // The open steps every adapter shares: clear deviceOpen, bring the adapter up at `rate`, take
    // the rate it reads back, and set deviceOpen to the outcome.
    bool bringAdapterUp(int rate, const CanTrace &trace);
    CanAdapter *adapter() const { return m_adapter.get(); }

    bool busy = false;
    CanMessage lastFrame;

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
