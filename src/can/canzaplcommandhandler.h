#pragma once

#include "commandhandler_global.h"
#include "commandhandlerinterface.h"

#include <QString>
#include <QVariant>

class CANZAPLRequestCommand;
class CANZAPLReplyCommand;
class CanZaplEngine;

// What the five ZAPL-over-CAN handlers have in common: every operation runs in one shared
// engine; a concrete handler only contributes its adapter (an engine subclass it owns).
class COMMANDHANDLER_EXPORT CANZAPLCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    ~CANZAPLCommandHandler() override;

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

protected:
    // Names the handler (object and device name) with the defaults every CAN handler starts
    // with: 1000 kbit/s and a 500 ms reply time-out.
    CANZAPLCommandHandler(const QString &name, QObject *parent);
    // The concrete handler owns its engine (so the engine ends while the handler still is
    // of its own class) and binds it here from its constructor.
    void bindEngine(CanZaplEngine *engine) { m_zapl = engine; }

private:
    CanZaplEngine *m_zapl = nullptr;
};
