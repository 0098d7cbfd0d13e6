#pragma once

#include "commandhandlerinterface.h"

/// A module without hardware: every request is answered at once from a parameter store that all
/// virtual handlers of the process share. Writing commands store their value under the matching
/// reading command (SAP and STAP under GAP, SGP under GGP, 146 under 148, 147 under 149), keyed
/// by type byte and motor byte; a reading command answers with the stored value, every other
/// request with its own value, always with status 100.
///
/// Threads: each handler runs in the thread that owns it; the store is shared under a lock, so
/// virtual handlers may live in different threads. The handler keeps its "UNKNOWN_" name and
/// reports no statistics unless the host calls setDeviceName().
class COMMANDHANDLER_EXPORT VirtualCommandHandler : public CommandHandlerInterface
{
    Q_OBJECT
public:
    /// A handler that answers at once; nothing to open.
    explicit VirtualCommandHandler(QObject *parent = nullptr);
    ~VirtualCommandHandler() override;

    /// Does nothing; true.
    bool setDataRate(int rate) override;
    /// Empty: the virtual module has no firmware to name.
    QString getFirmwareVersion(uchar address) override;
    /// Empty: the virtual module has no firmware to name.
    QString getModuleAndFirmwareVersion(uchar address) override;
    /// There is no device: opens nothing and returns isDeviceOpen(), which stays false, with a
    /// warning line saying so. Requests are answered without an open (a host must not treat the
    /// false as "no module"); reopenDevice() likewise returns false.
    bool openDevice(QVariant device) override;
    /// Does nothing; true.
    bool closeDevice() override;
    /// openDevice() with the device name: false.
    bool reopenDevice() override;
    /// An invalid reply: nothing is ever pending.
    ZAPLReplyCommand doDirectReply() override;

    /// Empties the process-wide store (for hosts and tests that need a fresh module).
    static void clearParameterStore();

public slots:
    /// Stores the value of a writing command, then fills `reply` (when given): valid, status 100,
    /// command, type, motor, address, extended flag and bit width of the request, and the stored
    /// value of the request's own command, type and motor, or else the request's value. While
    /// history is active, reports a request frame and a reply frame, and the reply record (as
    /// "Command*") when given. The motor byte packs type bits 8-11 whenever the type is above
    /// 255, whatever the extended flag.
    void doDirectRequest(Command *request, Command *reply) override;
    /// Does nothing: the value is not stored.
    void doDirectRequestWithoutAnswer(Command *request) override;
};
