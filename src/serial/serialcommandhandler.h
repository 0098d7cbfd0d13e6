#pragma once

#include "commandhandler_global.h"
#include "commandhandlerinterface.h"
#include "zaplcommand.h"

class SerialPort;

/// ZAPL over a serial line or a USB virtual COM port: 9-byte frames with a checksum (see
/// ZAPLRequestCommand and ZAPLReplyCommand), one request at a time, no retry.
///
/// The object name picks the reading strategy: a name containing "USB construct No: " reads the
/// USB way, any other name the plain serial way. Plain serial polls every millisecond up to
/// maxTimeoutMS() (500 ms); a time-out marks the address, emits
/// CommandHandlerInterface::handleDetachedDevice() (Serial, then USB) and a "Communication
/// Timeout" fault, and later requests are still sent. The USB way waits for a frame in one
/// piece, then gathers pieces; a time-out only marks the address, and a marked address is not
/// read any more (its requests fail at once) until clearAddressTimeout() or the next
/// openDevice().
///
/// A port that goes away (unplugged, line hung up) is noticed during a request or, between
/// requests, from the event loop: the port is closed, handleDetachedDevice() (Serial, then USB)
/// and a "Port Lost" fault with the port name are emitted once, and requests fail at once until
/// the next successful openDevice().
///
/// Threads: every operation runs in the thread that owns the handler and blocks it for the
/// write (up to 500 ms) and the reply wait; with setForceProcessEvents() the plain serial wait
/// lets that thread's events run between polls.
class COMMANDHANDLER_EXPORT SerialCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    /// A handler without a port; reply time-out 500 ms.
    explicit SerialCommandHandler(QObject *parent = nullptr);
    ~SerialCommandHandler() override;

    /// Sets the baud rate (both directions) and 8N1 without flow control on the port. True
    /// without a port (before the first openDevice()), changing nothing; false when the port
    /// refuses the rate. A handler whose object name contains "Serial construct No: " also
    /// discards the bytes waiting.
    bool setDataRate(int rate) override;
    /// Version query of type 5, asked once per handler: the build number as three or more
    /// decimal digits, or an empty string while the module has not answered with status 100.
    QString getFirmwareBuild(uchar address) override;
    /// Version query of type 1; on a valid reply with status 100 also asks
    /// getModuleAndFirmwareVersion(), stores that text with the version bytes through
    /// setFirmwareVersionNumber(), stores the answering address through setAddress(), and
    /// returns what BasicTools::matchFirmwareVersion() makes of them. Otherwise empty.
    QString getFirmwareVersion(uchar address) override;
    /// Version query of type 0: the reply's bytes 1 to 8 as eight Latin-1 characters (the
    /// checksum is not tested for version replies); empty when no reply came.
    QString getModuleAndFirmwareVersion(uchar address) override;
    /// Opens the port named by `device` for reading and writing and sets the dynamic property
    /// "dpComPort" to the name; the first call also makes the port and names the handler after
    /// it (setDeviceName()). Clears the marked addresses. True when the port is open (also when it
    /// was open already). A name that is not accepted returns false without opening anything;
    /// a port that does not open emits variantMessageOutput() with ErrorIsBusy and its error text
    /// and returns false.
    ///
    /// On Windows a name is accepted when QSerialPortInfo lists it and it starts with "COM". On
    /// Linux a listed port or any existing character device given by its full path is
    /// accepted (/dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-terminal).
    bool openDevice(QVariant device) override;
    /// Clears both directions of an open port's buffers and closes it; true.
    bool closeDevice() override;
    /// openDevice() with the device name (the port name of the first openDevice()).
    bool reopenDevice() override;
    /// Reads the next reply on the handler's strategy, as if address 1 had been asked.
    ZAPLReplyCommand doDirectReply() override;

    /// Writes one request, after discarding bytes left from an earlier exchange and with the
    /// pauses of pauseAfterReply(), and waits up to 500 ms for it to leave. Reports the request as
    /// history (always for a version query). False when the port is not open or the bytes did not
    /// leave in time; a failed write closes the port.
    bool writeZAPLCommand(ZAPLRequestCommand *request);
    /// Waits for the reply to the last request on the handler's strategy (see the class) and
    /// reports it as history.
    void readNextZAPLCommand(ZAPLReplyCommand *reply, uchar address);
    /// Takes one reply when at least 9 bytes wait at the port, without waiting; invalid otherwise.
    void readZAPLCommand_Serial(ZAPLReplyCommand *reply, uchar address);
    /// The USB way: waits up to twice maxTimeoutMS() for data, then gathers pieces 10 ms apart
    /// until 9 bytes came; fewer than 9 bytes are no reply. A time-out marks `address`.
    void readZAPLCommand_USB(ZAPLReplyCommand *reply, uchar address);

public slots:
    /// Writes the request frame and waits for the reply. A valid reply fills `reply`: address,
    /// command, status, value, reply address and checksum from the frame (a wrong checksum is
    /// copied as it came), type, motor, extended flag and register-address bit width from the
    /// request. A null `request` only marks `reply` invalid.
    void doDirectRequest(Command *request, Command *reply) override;
    /// Writes the request without the extended-type packing; nothing is read.
    void doDirectRequestWithoutAnswer(Command *request) override;

signals:
    /// Declared for hosts; the handler does not emit it.
    void receivedZAPLReply();

private slots:
    void slotRead();

private:
    bool isUsb() const;
    bool skipChecksumTest() const;
    void pauseBetweenFrames() const;
    void discardStaleInput();
    bool versionQuery(uchar address, uchar type, ZAPLReplyCommand *reply);
    void usbTimeout(ZAPLReplyCommand *reply, uchar address, int buffered);
    // True when the port has gone: the first time, it is closed and the loss reported.
    bool portLost();
    QString portText() const;

    SerialPort *port = nullptr;
    QString firmwareBuild;
    // A copy: the caller's frame may be gone by the time a reply is judged or reported.
    ZAPLRequestCommand lastRequest { 0, 0, 0, 0, 0 };
    bool hasLastRequest = false;
    // Set when the port went away; requests fail at once until the next successful open.
    bool portGone = false;
};
