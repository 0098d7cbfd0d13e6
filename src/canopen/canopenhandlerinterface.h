#pragma once

/// \file
/// The base of the CANopen master family.

#include "canmessage.h"
#include "commandhandler_global.h"

#include <QBasicTimer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimerEvent>
#include <QVariant>
#include <QtPlugin>

/// Abstract CANopen master: one per adapter kind (CANopenEsdCommandHandler,
/// CANopenKvaserCommandHandler, CANopenPeakCommandHandler, CANopenIxxatCommandHandler,
/// CANopenSlCanCommandHandler). It offers NMT, SYNC, PDO transmit, SDO expedited and segmented
/// transfers and LSS, reports every frame sent and received through signals, and reports its
/// traffic to the Velmora library's statistics every 250 ms. Independent of the ZAPL handler
/// family; the two share CanMessage and the vendor libraries.
///
/// Threads: a handler lives in its owner's thread and everything runs there. SDO and LSS
/// services block their caller in a nested event loop, so that thread's events keep flowing
/// while they wait (timers, queued calls, the owner's other slots). The handler never polls by
/// itself: the owner must keep calling checkForCanMessage() (directly, from a timer or queued)
/// for frames to arrive, also while a service waits; otherwise every wait ends with its
/// time-out. One frame is taken per call, so the owner's polling rate bounds a transfer.
///
/// SDO results (8-bit): 1 done, 2 bad size (nothing sent), 3 the server aborted a download,
/// 4 the server aborted an upload, 5 a frame was refused by the adapter or an unexpected reply
/// arrived, 6 no reply within the time-out (getSDOTimeout(), 500 ms; an abort 0x05040000 is
/// then sent, except in the initiate phase of a segmented download). LSS results: 1 a matching
/// reply arrived, 6 time-out.
class COMMANDHANDLER_EXPORT CANopenHandlerInterface : public QObject
{
    Q_OBJECT
public:
    /// Names the handler "UNKNOWN_" followed by a process-wide counter; the concrete
    /// constructors rename it.
    explicit CANopenHandlerInterface(QObject *parent = nullptr);
    /// Stops the statistics tick and withdraws the device name from the statistics.
    ~CANopenHandlerInterface() override;

    /// Sets the bit rate in kbit/s; see each handler for when it applies.
    virtual void setDataRate(int kbit) = 0;
    /// Opens the adapter at the bit rate in kbit/s that `parameter` holds; true when frames can
    /// flow. The channel or port is set beforehand (see each handler).
    virtual bool openDevice(QVariant parameter) = 0;
    /// Closes the adapter; see each handler for its result.
    virtual bool closeDevice() = 0;
    /// openDevice() with the current data rate, without closing first.
    virtual bool reopenDevice() = 0;
    /// Whether an SDO transfer waits for replies; the base returns false. The handlers do not
    /// refuse a second request while busy: the owner checks this.
    virtual bool isBusy();

    /// NMT reset application: frame 0x000 [0x81, node]; node 0 addresses all nodes.
    virtual void NMTResetAppl(unsigned char node) = 0;
    /// NMT reset communication: [0x82, node].
    virtual void NMTResetComm(unsigned char node) = 0;
    /// NMT stop: [0x02, node].
    virtual void NMTStop(unsigned char node) = 0;
    /// NMT enter pre-operational: [0x80, node].
    virtual void NMTPreOp(unsigned char node) = 0;
    /// NMT start: [0x01, node].
    virtual void NMTStart(unsigned char node) = 0;

    /// Expedited download of `size` (1..4) bytes of `value` to node `node`. `abortCode` receives
    /// the server's code after an abort (3), 0 after a reply, and is unchanged otherwise.
    virtual unsigned char SDOWrite(unsigned char node, unsigned short index, unsigned char subIndex, unsigned char size,
        int value, unsigned int &abortCode)
        = 0;
    /// Segmented download (always segmented, whatever the size); `size`, not data.size(),
    /// decides how many bytes go out, zeros filling in past the end of `data`. `abortCode` as
    /// for the expedited form.
    virtual unsigned char SDOWrite(unsigned char node, unsigned short index, unsigned char subIndex, unsigned int size,
        QByteArray data, unsigned int &abortCode)
        = 0;
    /// Upload, expedited or segmented as the server answers. On success `value` holds an int
    /// (expedited; 1 to 3 bytes zero-extended, 4 bytes signed) or a QByteArray (segmented) and
    /// `info` the number of bytes; after a server abort (4) `info` holds its abort code. A
    /// segmented transfer puts the bytes received into `value` even when it fails.
    virtual unsigned char SDORead(
        unsigned char node, unsigned short index, unsigned char subIndex, QVariant &value, unsigned int &info)
        = 0;
    /// Sends one PDO: identifier `cobId`, the bytes of `data`.
    virtual void PDOTransmit(unsigned short cobId, QByteArray data) = 0;
    /// Sends one SYNC frame (identifier 0x080).
    virtual void SYNCPulse() = 0;

    /// Sends an LSS request (identifier 0x7E5, 8 bytes): command specifier `cs`, the rest 0.
    virtual void LSSSend(unsigned char cs) = 0;
    /// LSS request with `b1` in byte 1.
    virtual void LSSSend(unsigned char cs, unsigned char b1) = 0;
    /// LSS request with `b1` and `b2` in bytes 1 and 2.
    virtual void LSSSend(unsigned char cs, unsigned char b1, unsigned char b2) = 0;
    /// LSS request with `value16` in bytes 1 and 2, low byte first.
    virtual void LSSSend(unsigned char cs, unsigned short value16) = 0;
    /// LSS request with `value32` in bytes 1 to 4, low byte first.
    virtual void LSSSend(unsigned char cs, unsigned int value32) = 0;
    /// Sends an LSS request and waits up to `timeout` ms for a reply (identifier 0x7E4) whose
    /// byte 0 is `replyCs`. On a match (1) `b1Out` and `b2Out` receive bytes 1 and 2, `valueOut`
    /// bytes 1 to 4 low byte first; after a time-out (6) they are unchanged.
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned char replyCs, unsigned int &valueOut,
        unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
        = 0;
    /// As the first form, the request carrying `b1` in byte 1.
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned char b1, unsigned char replyCs,
        unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
        = 0;
    /// As the first form, the request carrying `b1` and `b2` in bytes 1 and 2.
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned char b1, unsigned char b2, unsigned char replyCs,
        unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
        = 0;
    /// As the first form, the request carrying `value32` in bytes 1 to 4, low byte first.
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned int value32, unsigned char replyCs,
        unsigned int &valueOut, unsigned char &b1Out, unsigned char &b2Out, unsigned int timeout)
        = 0;
    /// The request several nodes may answer at once (`value32` in bytes 1 to 4, then `b5`, `b6`,
    /// `b7`): always waits the full time-out, and returns 1 when any reply matched.
    virtual unsigned char LSSSendAndWait(unsigned char cs, unsigned int value32, unsigned char b5, unsigned char b6,
        unsigned char b7, unsigned char replyCs, unsigned int timeout)
        = 0;

    /// Whether the last openDevice() succeeded and no closeDevice() followed (also cleared when
    /// the adapter goes away).
    bool isDeviceOpen() const { return deviceOpen; }
    /// The bit rate in kbit/s: as the adapter read it back at the last open, or as last set.
    int getDataRate() const { return dataRate; }
    /// Name under which the handler reports its statistics.
    QString getDeviceName() const { return deviceName; }
    /// Renames the handler in the Velmora library's statistics and (re)starts the 250 ms tick
    /// that reports the frames sent since the last tick.
    void setDeviceName(QString name);
    /// Sets the SDO reply time-out in milliseconds (no range check).
    void setSDOTimeout(unsigned int ms) { sdoTimeout = ms; }
    /// The SDO reply time-out in milliseconds; 500 at first.
    unsigned int getSDOTimeout() const { return sdoTimeout; }
    /// Switches the log signals (logReceivedCanMessage(), logSentCanMessage()). Disabling nests;
    /// surplus enables are ignored.
    void setHistoryEnabled(bool enabled);
    /// Whether the log signals are emitted: every disable was matched by an enable.
    bool isHistoryEnabled() const { return historyBlockCount == 0; }
    /// Switches the receive filter of filterPassed(); off at first.
    void filterEnable(bool enabled) { filterEnabled = enabled; }
    /// Whether a received identifier is reported: always while the filter is off; otherwise
    /// the predefined connection set of nodes 1..127 plus the broadcast services (0x000,
    /// 0x080-0x100, the PDO, SDO and error-control ranges of nodes 1..127, 0x7E4-0x7E5).
    bool filterPassed(unsigned int id) const;

signals:
    /// Declared for hosts; no library handler emits it.
    void handleAttachedDevice(int connectionType, QString port, QString description);
    /// The adapter went away (an SLCAN adapter unplugged): services fail at once until the host
    /// opens again. `connectionType` is a ConnectionType::e value, `port` the device name.
    void handleDetachedDevice(int connectionType, QString port);
    /// Declared for hosts; no library handler emits it.
    void deviceClosed(char address);
    /// A received frame that passed the filter. The reference is to a frame that lives only
    /// during the emission.
    void receivedCanMessage(CanMessage &data);
    /// The same frame, while history is enabled.
    void logReceivedCanMessage(CanMessage &data);
    /// A frame sent, while history is enabled.
    void logSentCanMessage(CanMessage &data);
    /// Once per frame sent, always; counted for the statistics.
    void countSentCanMessage();
    /// A received frame whose identifier lies in 0x181..0x57F (the PDO ranges).
    void receivedPDO(CanMessage &data);

public slots:
    /// Takes at most one frame from the adapter and reports it: receivedCanMessage(), then
    /// receivedPDO() for a PDO identifier, then logReceivedCanMessage() while history is
    /// enabled. Never called by the handler itself; the owner calls it repeatedly.
    virtual void checkForCanMessage() = 0;

private slots:
    void timerEvent(QTimerEvent *event) override;

protected:
    QString deviceName; ///< See getDeviceName().
    QBasicTimer statisticsTimer; ///< The 250 ms statistics tick.
    QElapsedTimer statisticsClock; ///< Time since the last tick.
    int sentFrameCount = 0; ///< Frames sent since the last tick.
    int historyBlockCount = 0; ///< Nesting count of setHistoryEnabled(false).
    bool deviceOpen = false; ///< See isDeviceOpen().
    bool debugOutput = true; ///< Gates the handlers' debug lines; no operation changes it.
    int dataRate = 0; ///< See getDataRate().
    unsigned int sdoTimeout = 500; ///< See getSDOTimeout().
    bool filterEnabled = false; ///< See filterEnable().
};

/// Qt plug-in interface id of CANopenHandlerInterface: every CANopen handler answers qobject_cast
/// with it.
#define CANopenHandlerInterface_iid "com.orvex.CANopenHandler/1.0"
Q_DECLARE_INTERFACE(CANopenHandlerInterface, CANopenHandlerInterface_iid)
