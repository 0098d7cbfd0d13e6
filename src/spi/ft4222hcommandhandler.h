#pragma once

#include "commandhandlerinterface.h"
#include "ft4222htypes.h"

#include <memory>

class ZAPLRequestCommand;
class ZAPLReplyCommand;
struct VexaDebuggerDataset;

// A module reached over SPI through a USB-SPI bridge: interface A is SPI slave and carries
// all data, interface B drives the GPIO line that tells the module (the SPI master) that a
// frame waits. Register commands 146-149 map onto register frames; a reader thread turns
// the module's byte stream into packets; the module's monitoring unit streams live data.
class COMMANDHANDLER_EXPORT FT4222HCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
public:
    explicit FT4222HCommandHandler(QObject *parent = nullptr);
    ~FT4222HCommandHandler() override;

    bool setDataRate(int rate) override;
    QString getFirmwareVersion(uchar address) override;
    QString getModuleAndFirmwareVersion(uchar address) override;
    bool openDevice(QVariant device) override;
    bool closeDevice() override;
    bool reopenDevice() override;

    // Bridge
    void listFtUsbDevices();
    static QString deviceFlagToString(ulong flags);
    void dumpChipAndLibraryVersion(FT_HANDLE handle);
    bool GPIOInit(GPIO_Dir *directions);
    bool GPIOWrite(GPIO_Port port, int value);
    void setICDebuggerDataAvailable(bool available);
    void clearICDebuggerDataAvailable();
    bool initializeBridge(SPI_SlaveProtocol protocol, GPIO_Dir *directions);
    bool spiReset();
    bool uninitialize();

    // Frames
    bool spiSlaveWriteData(quint8 *data, quint32 length, quint32 *written);
    bool waitForReadAccess();
    bool sendConfigFrame(quint8 identifier, quint8 reg, quint32 value, bool unused1 = false, quint8 unused2 = 1);
    bool sendRegisterRWFrame(uint8_t identifier, uint8_t motor, uint8_t reg, uint32_t value);
    bool writeZAPLCommand(ZAPLRequestCommand *request);
    void readNextZAPLCommand(ZAPLReplyCommand *reply, quint8 command, quint8 address);

    // Monitoring unit and live data
    bool initializeDebugger(VexaDebuggerDataset *dataset);
    bool initializeVhdlModul(VexaDebuggerDataset *dataset);
    bool readConfigRegister(quint8 reg, qint32 expected);
    bool startDebugger();
    bool stopDebugger();
    bool resetDebugger();
    void setLiveModeActive(bool active);
    bool isLiveModeActive() const;

    // Write-and-verify rounds per configuration register before initializeVhdlModul gives up.
    static constexpr int kMaxConfigRounds = 10;

signals:
    void newChannelData(uint8_t address, uint32_t value);
    void liveDataAvailable(uchar channelID, uchar timestamp, int value);
    void liveModeChanged(bool enabled);

public slots:
    void doDirectRequest(Command *request, Command *reply) override;
    void doDirectRequestWithoutAnswer(Command *request) override;

protected:
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
