#pragma once

#include "commandhandler_global.h"
#include "commandhandlerinterface.h"

#include <QString>
#include <QVariant>
#include <memory>

class CANZAPLRequestCommand;
class CANZAPLReplyCommand;
class CanKvaserEngine;

// ZAPL over a Kvaser adapter. openDevice takes the bit rate in kbit/s, or a list
// [bit rate, channel].
class COMMANDHANDLER_EXPORT CANKvaserCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    explicit CANKvaserCommandHandler(QObject *parent = nullptr);
    ~CANKvaserCommandHandler() override;

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
    std::unique_ptr<CanKvaserEngine> m_engine;
};
