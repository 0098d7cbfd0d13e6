#pragma once

#include "commandhandler_global.h"
#include "commandhandlerinterface.h"

#include <QString>
#include <QVariant>
#include <memory>

class CANZAPLRequestCommand;
class CANZAPLReplyCommand;
class CanEsdEngine;

// ZAPL over an esd adapter on a net number. Holds the esd library from construction to
// destruction.
class COMMANDHANDLER_EXPORT CANEsdCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANEsdCommandHandler(QObject *parent = nullptr);
    ~CANEsdCommandHandler() override;

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

public slots:
    void doDirectRequest(Command *request, Command *reply) override;
    void doDirectRequestWithoutAnswer(Command *request) override;
    void resetTimeOutedDevices();

private:
    std::unique_ptr<CanEsdEngine> m_engine;
};
