#pragma once

#include "commandhandler_global.h"

#include <QString>
#include <QThread>
#include <atomic>

/// Walks a range of module addresses on an open connection, in a thread of its own, and reports
/// every module that answers with a recognised identification. It never touches a handler: for
/// each address it emits handleGetModuleAndFirmwareVersion() (and, when needed,
/// handleGetFirmwareVersion()) with a pointer to an empty string, and the host connects these
/// directly or blocking-queued (Qt::BlockingQueuedConnection) to a slot in the thread that owns
/// the handler, which fills the string before the emission returns. The scan therefore works
/// over every connection kind.
///
/// Per probed address: the handler's reply time-out plus 10 ms, plus 60 ms when a second query
/// is needed, plus 100 ms before the next address. The host's own address (setReplyID()) is
/// skipped.
///
/// Threads: run() executes in the scan thread, registered with the Velmora library's thread
/// registry as "Find-" and an ordinal; all signals are emitted from it, so receivers in other
/// threads get checkingModule(), foundModule() and modulesFound() queued (or as connected).
/// The setters and stop() may be called from any thread.
class COMMANDHANDLER_EXPORT DeviceFinder : public QThread
{
    Q_OBJECT
public:
    /// Version texts that start with this are old modules that carry their firmware version in
    /// the last four characters; they need no second query.
    static constexpr const char kModuleTypePrefix[] = "016v";

    /// A thread object without parent; range 1..1 and reply identifier 2 until set.
    DeviceFinder();
    /// Asks the scan to stop and waits for it, delivering meanwhile the blocking-queued requests
    /// the scan makes of this thread, so that neither side waits for ever.
    ~DeviceFinder() override;

    /// First address to probe (low 8 bits); set before start().
    void setIdFrom(int id) { m_idFrom = static_cast<quint8>(id); }
    /// Last address to probe, inclusive (low 8 bits); set before start().
    void setIdTo(int id) { m_idTo = static_cast<quint8>(id); }
    /// The host's own address (on CAN the identifier replies come back on): never probed.
    void setReplyID(int id) { m_replyId = static_cast<quint8>(id); }

public slots:
    /// Asks the scan to stop after the address in progress (its checkingModule() included); it
    /// neither waits nor interrupts a request in flight. A stop before start() has no effect.
    void stop() { m_stop = true; }

signals:
    /// Progress: once with 0 when a scan starts, then after each probed address with that
    /// address, answered or not.
    void checkingModule(quint8 address);
    /// A module at `address` was recognised: `module` is its name as
    /// BasicTools::matchFirmwareVersion() gives it, `version` the firmware version text.
    void foundModule(quint8 address, QString module, QString version);
    /// Once at the end of every scan, also after a stop: the number of foundModule() emissions.
    void modulesFound(int count);
    /// Asks the host to fill `*firmwareString` with the open handler's
    /// CommandHandlerInterface::getModuleAndFirmwareVersion(moduleAddress) before the emission
    /// returns; an empty string means no module there. Read 10 ms after the emission returns.
    void handleGetModuleAndFirmwareVersion(QString *firmwareString, quint8 moduleAddress);
    /// As handleGetModuleAndFirmwareVersion() with CommandHandlerInterface::getFirmwareVersion();
    /// read 60 ms after the emission returns.
    void handleGetFirmwareVersion(QString *firmwareString, quint8 moduleAddress);

protected:
    /// The scan; entered through QThread::start(). Clears the stop flag first, so the object can
    /// be started again after a scan ended.
    void run() override;

private:
    // Written by the host's thread, read by the scan.
    std::atomic<quint8> m_idFrom { 1 };
    std::atomic<quint8> m_idTo { 1 };
    std::atomic<quint8> m_replyId { 2 };
    std::atomic<bool> m_stop { false };
};
