#pragma once

#include "commandhandlerinterface.h"

// A module without hardware: every request is answered at once from a parameter store that all
// virtual handlers of the process share. Writing commands store their value under the matching
// reading command; everything else is echoed with status 100.
class COMMANDHANDLER_EXPORT VirtualCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
public:
    explicit VirtualCommandHandler(QObject *parent = nullptr);
    ~VirtualCommandHandler() override;

    bool setDataRate(int rate) override;
    QString getFirmwareVersion(uchar address) override;
    QString getModuleAndFirmwareVersion(uchar address) override;
    // There is no device: opens nothing and returns isDeviceOpen(), which stays false, with a
    // warning line saying so. Requests are answered without an open (a host must not treat the
    // false as "no module"); reopenDevice() likewise returns false.
    bool openDevice(QVariant device) override;
    bool closeDevice() override;
    bool reopenDevice() override;
    ZAPLReplyCommand doDirectReply() override;

    // Empties the process-wide store (for hosts and tests that need a fresh module).
    static void clearParameterStore();

public slots:
    void doDirectRequest(Command *request, Command *reply) override;
    void doDirectRequestWithoutAnswer(Command *request) override;
};
