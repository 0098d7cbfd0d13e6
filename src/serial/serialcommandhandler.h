#pragma once

#include "commandhandler_global.h"
#include "commandhandlerinterface.h"
#include "zaplcommand.h"

class SerialPort;

// ZAPL over a serial line or a USB virtual COM port. The object name picks the reading
// strategy: a name containing "USB construct No: " reads the USB way, any other name the
// plain serial way.
class COMMANDHANDLER_EXPORT SerialCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit SerialCommandHandler(QObject *parent = nullptr);
    ~SerialCommandHandler() override;

    bool setDataRate(int rate) override;
    QString getFirmwareBuild(uchar address) override;
    QString getFirmwareVersion(uchar address) override;
    QString getModuleAndFirmwareVersion(uchar address) override;
    bool openDevice(QVariant device) override;
    bool closeDevice() override;
    bool reopenDevice() override;
    ZAPLReplyCommand doDirectReply() override;

    bool writeZAPLCommand(ZAPLRequestCommand *request);
    void readNextZAPLCommand(ZAPLReplyCommand *reply, uchar address);
    void readZAPLCommand_Serial(ZAPLReplyCommand *reply, uchar address);
    void readZAPLCommand_USB(ZAPLReplyCommand *reply, uchar address);

public slots:
    void doDirectRequest(Command *request, Command *reply) override;
    void doDirectRequestWithoutAnswer(Command *request) override;

signals:
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
