#pragma once

#include "commandhandler_global.h"
#include "commandhandlerinterface.h"

#include <QString>
#include <QVariant>
#include <memory>

class CANZAPLRequestCommand;
class CANZAPLReplyCommand;
class CanPeakEngine;

// ZAPL over a PEAK adapter; net number 1 and 2 select the first two USB channels.
class COMMANDHANDLER_EXPORT CANPeakCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANPeakCommandHandler(QObject *parent = nullptr);
    ~CANPeakCommandHandler() override;

    bool setDataRate(int rate) override;
    QString getFirmwareVersion(uchar address) override;
    QString getModuleAndFirmwareVersion(uchar address) override;
    bool openDevice(QVariant device) override;
    bool closeDevice() override;
    bool reopenDevice() override;

    bool writeZAPLCommand(CANZAPLRequestCommand *request);
    void readZAPLCommand(CANZAPLReplyCommand *reply, uchar address);
    void readNextZAPLCommand(CANZAPLReplyCommand *reply, uchar address);
    void sendCANopenBootCommand(uchar nodeId);
    void setReplyID(uchar id);
    uchar replyID() const;

    void setNetID(int net);
    // Object and device name become NAME/previous object name.
    void setPortName(const QString &name);
    // PCAN-Basic bit-rate code for a rate in kbit/s (the code of 1000 for unlisted rates).
    static quint16 baudrateFromBitrate(int kbitPerSecond);

public slots:
    void doDirectRequest(Command *request, Command *reply) override;
    void doDirectRequestWithoutAnswer(Command *request) override;
    void resetTimeOutedDevices();

private:
    std::unique_ptr<CanPeakEngine> m_engine;
};
