#pragma once

#include "commandhandler_global.h"
#include "commandhandlerinterface.h"

#include <QString>
#include <QVariant>
#include <memory>

class CANZAPLRequestCommand;
class CANZAPLReplyCommand;
class CanIxxatEngine;

// ZAPL over an IXXAT adapter. The adapter objects are process-wide: one IXXAT connection
// exists per process, shared with the CANopen IXXAT handler.
class COMMANDHANDLER_EXPORT CANIxxatCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANIxxatCommandHandler(QObject *parent = nullptr);
    ~CANIxxatCommandHandler() override;

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

public slots:
    void doDirectRequest(Command *request, Command *reply) override;
    void doDirectRequestWithoutAnswer(Command *request) override;
    void resetTimeOutedDevices();

private:
    std::unique_ptr<CanIxxatEngine> m_engine;
};
