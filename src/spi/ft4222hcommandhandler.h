#pragma once

#include "commandhandlerinterface.h"
#include "ft4222htypes.h"

#include <memory>

class ZAPLRequestCommand;
class ZAPLReplyCommand;
struct VexaDebuggerDataset;

/// A module reached over SPI through a USB-SPI bridge: interface A is SPI slave and carries
/// all data, interface B drives the GPIO line that tells the module (the SPI master) that a
/// frame waits. Register commands 146-149 map onto register frames; a reader thread turns
/// the module's byte stream into packets; the module's monitoring unit streams live data.
///
/// Every frame is written to the bridge's transmit buffer, announced by pulses on GPIO line 1,
/// and must be acknowledged by the module within maxTimeoutMS() (100 ms); it is written at most
/// five times. An address whose request failed or got no reply is blocked for 3000 ms (5000 ms
/// after a configuration read-back time-out).
///
/// Threads: the handler's operations run in the caller's thread and busy-wait for the flags the
/// reader sets. The reader thread, started by openDevice() at time-critical priority and
/// registered with the Velmora library's thread registry as "FT422H", polls interface A with a
/// 1 ms read time-out and dispatches packets itself: liveDataAvailable() is emitted from it, and
/// liveModeChanged() when the first live packet switches live mode on. A lock lets one vendor
/// call at a time reach interface A; it is held only for that call. The reader is stopped and
/// joined before the bridge it reads is closed.
///
/// Libraries, loaded at run time and held from openDevice() to closeDevice(): on Windows
/// ftd2xx.dll and LibFT4222.dll (LibFT4222-64.dll first on 64-bit), which share one D2XX. On
/// Linux libft4222.so, which carries its own D2XX, serves both; libftd2xx.so is used for the D2XX
/// functions only when libft4222.so lacks them, since a handle must be used with the library
/// that opened it.
class COMMANDHANDLER_EXPORT FT4222HCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
public:
    /// A closed handler named "SPI FT4222H": maximum time-out 100 ms, default 50 ms, live mode off.
    explicit FT4222HCommandHandler(QObject *parent = nullptr);
    /// Stops and joins the reader (up to 1000 ms), then closes the bridge and releases the
    /// libraries.
    ~FT4222HCommandHandler() override;

    /// Does nothing; true.
    bool setDataRate(int rate) override;
    /// Empty: the bridge has no version query.
    QString getFirmwareVersion(uchar address) override;
    /// Empty: the bridge has no version query.
    QString getModuleAndFirmwareVersion(uchar address) override;
    /// Loads the libraries, opens the first interfaces described "FT4222 A" and "FT4222 B"
    /// (read time-out 1 ms, write time-out 100 ms), resets the SPI slave, sets the clock, sets up
    /// the four GPIO lines as outputs driven low and interface A as SPI slave, and starts the
    /// reader. `device` is not used. Closes an earlier open first and clears the blocked
    /// addresses. False when a library, an interface or a set-up step fails (no bridge attached:
    /// "Initialize Bridge --> FAILED").
    bool openDevice(QVariant device) override;
    /// Stops and joins the reader, closes both interfaces and releases the libraries. False when
    /// the reader did not stop within 1000 ms (interface A is then closed when it does).
    /// isDeviceOpen() is not cleared.
    bool closeDevice() override;
    /// Not supported: false.
    bool reopenDevice() override;

    /// Writes the bridges the D2XX library lists to the debug log.
    void listFtUsbDevices();
    /// "OPEN" or "CLOSED" (bit 0), ", ", then "High-speed" or "Full-speed" (bit 1).
    static QString deviceFlagToString(ulong flags);
    /// Writes the chip and library version of an open interface to the debug log.
    void dumpChipAndLibraryVersion(FT_HANDLE handle);
    /// Sets the four GPIO directions of interface B and drives lines 0 to 3 low; false when
    /// interface B is not open or refuses.
    bool GPIOInit(GPIO_Dir *directions);
    /// Drives one GPIO line of interface B; false when it is not open or refuses.
    bool GPIOWrite(GPIO_Port port, int value);
    /// Drives GPIO line 1, which tells the module that data waits.
    void setICDebuggerDataAvailable(bool available);
    /// Drives GPIO line 1 low.
    void clearICDebuggerDataAvailable();
    /// GPIOInit(), then interface A as SPI slave with `protocol`; true when both succeed.
    bool initializeBridge(SPI_SlaveProtocol protocol, GPIO_Dir *directions);
    /// Resets the SPI slave of interface A (under the bridge lock); true on success.
    bool spiReset();
    /// Uninitialises interface B; true on success.
    bool uninitialize();

    /// Queues `length` bytes (at most 65535) in interface A's transmit buffer, under the bridge
    /// lock; `written` receives the count taken. True on success.
    bool spiSlaveWriteData(quint8 *data, quint32 length, quint32 *written);
    /// Busy-waits up to maxTimeoutMS() for the module's acknowledge packet; true when it came.
    bool waitForReadAccess();
    /// Writes a configuration frame (identifier, register, value) with the acknowledge
    /// handshake: at most five writes, each announced on GPIO line 1. The last two arguments are
    /// not used. True when acknowledged.
    bool sendConfigFrame(quint8 identifier, quint8 reg, quint32 value, bool unused1 = false, quint8 unused2 = 1);
    /// As sendConfigFrame() for a register frame, whose identifier carries `motor` (0 to 15; any
    /// other is refused) in its low nibble; counts the frame for the statistics.
    bool sendRegisterRWFrame(uint8_t identifier, uint8_t motor, uint8_t reg, uint32_t value);
    /// Maps a request onto a register frame: 148 and 149 read, 146 and 147 write the register
    /// given by the type, for the motor or bank; any other command is refused. Reports the
    /// request as history. False while closed, when the reader does not run, when the address is
    /// blocked or when the frame was not acknowledged.
    bool writeZAPLCommand(ZAPLRequestCommand *request);
    /// Waits up to maxTimeoutMS() for the reply: for a read, the reply packet of the register
    /// asked (type and value, status 100); for a write, the acknowledge already was the answer
    /// (the register and value written). A time-out blocks `address` for 3000 ms.
    void readNextZAPLCommand(ZAPLReplyCommand *reply, quint8 command, quint8 address);

    /// initializeVhdlModul(), with a line saying how it went.
    bool initializeDebugger(VexaDebuggerDataset *dataset);
    /// Switches live mode off, then writes the monitoring unit's registers 1 to 7 from the
    /// dataset, each read back and written again until it verifies, at most kMaxConfigRounds
    /// times. False when a write is not acknowledged, a register does not verify, or the dataset
    /// is null.
    bool initializeVhdlModul(VexaDebuggerDataset *dataset);
    /// Reads configuration register `reg` back and compares it with `expected`. A write failure
    /// resets the SPI slave; no reply within maxTimeoutMS() blocks the current address for 5000 ms.
    bool readConfigRegister(quint8 reg, qint32 expected);
    /// Switches live mode off, arms the switch to live mode on the first live packet, and sends
    /// the start frame; true when acknowledged.
    bool startDebugger();
    /// Sends the stop frame, then switches live mode off and disarms the start; true when the
    /// frame was acknowledged (live mode goes off either way).
    bool stopDebugger();
    /// Resets the SPI slave (spiReset()).
    bool resetDebugger();
    /// Sets live mode; emits liveModeChanged() when the value changes.
    void setLiveModeActive(bool active);
    /// Whether live data flows: doDirectRequest() then refuses every request and frames go out
    /// with a leading zero byte. Safe from any thread.
    bool isLiveModeActive() const;

    /// Write-and-verify rounds per configuration register before initializeVhdlModul gives up.
    static constexpr int kMaxConfigRounds = 10;

signals:
    /// Declared for hosts; the handler does not emit it.
    void newChannelData(uint8_t address, uint32_t value);
    /// One live-data packet: channel (low nibble of the packet identifier), time stamp and
    /// value. Emitted from the reader thread; receivers elsewhere get it queued.
    void liveDataAvailable(uchar channelID, uchar timestamp, int value);
    /// Live mode changed. Emitted in the thread that changed it: the caller's for
    /// startDebugger(), stopDebugger() and setLiveModeActive(), the reader's when the first live
    /// packet switches it on.
    void liveModeChanged(bool enabled);

public slots:
    /// Refuses (reply invalid, nothing sent) while live mode is on. Otherwise writes the request
    /// (see writeZAPLCommand()) and waits for the reply; a failed write blocks the address for
    /// 3000 ms. A valid reply fills `reply`: address, command and motor from the request, type,
    /// status, value and reply address from the reply.
    void doDirectRequest(Command *request, Command *reply) override;
    /// Not supported: writes "not implemented!" and sends nothing.
    void doDirectRequestWithoutAnswer(Command *request) override;

protected:
    /// Adds the packets the reader counted to the statistics, then reports them as the base does.
    void timerEvent(QTimerEvent *event) override;

private slots:
    void resetTimeOutedDevices();
    void handleReadPacket(uchar sync, uchar id, uchar timeStamp, int registerValue);

private:
    bool openPort(int port, quint32 location, const QString &description);
    bool sendFrame(quint8 identifier, quint8 reg, quint32 value, const char *writeFailed, const char *allFailed);
    bool writeAndVerify(quint8 reg, quint32 value, const char *label);
    void blockAddress(uchar address, int resetAfterMs);
    void startSession();
    bool joinReader();
    void reportLiveChange(int change);

    struct Private;
    std::unique_ptr<Private> d;
};
