#pragma once

/// \file
/// The base of the ZAPL handler family and the types its signals and slots carry.

#include "commandhandler_global.h"
#include "connectiontype.h"

#include "command.h"

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVariantHash>
#include <vector>

class ZAPLReplyCommand;

/// One element of a combined request: the request and the reply it receives.
struct CommandCombo
{
    Command request; ///< Sent as it is.
    Command reply; ///< Filled by the handler; left invalid when no reply came.
};
/// A combined request, as CommandHandlerInterface::doDirectComboRequest() takes it; registered
/// as the meta type "CommandComboList" (and "QList<CommandCombo*>") for queued connections.
using CommandComboList = QList<CommandCombo *>;
Q_DECLARE_METATYPE(CommandComboList)

/// Belongs to the host's trace machinery; registered as the meta type "TraceCommand" so hosts
/// can queue it. The library uses nothing of it.
struct TraceCommand
{
    quint32 raw = 0; ///< The host's own four bytes.
};
Q_DECLARE_METATYPE(TraceCommand)

// The id is declared ahead of the class so the class itself can answer it for every handler.
class CommandHandlerInterface;
/// Qt plug-in interface id of CommandHandlerInterface: hosts holding a plug-in reach any ZAPL
/// handler through qobject_cast with it.
#define CommandHandlerInterface_iid "com.orvex.CommandHandler/1.0"
Q_DECLARE_INTERFACE(CommandHandlerInterface, CommandHandlerInterface_iid)

/// Abstract base of every connection that carries ZAPL requests and replies.
///
/// Implemented by SerialCommandHandler, VirtualCommandHandler, the CAN handlers (through
/// CANZAPLCommandHandler) and FT4222HCommandHandler, so a host can hold any of them through
/// this base. It keeps what they share: the device name and its traffic statistics, the module
/// address, the reply time-outs, the addresses that stopped answering, a receive filter and the
/// switches that decide whether traffic is reported as history.
///
/// Life of a handler: construct (named "UNKNOWN_" and a process-wide counter) ->
/// setDeviceName() (the concrete constructors call it) -> setDataRate() and openDevice() ->
/// doDirectRequest() as often as needed -> closeDevice() -> destruction.
///
/// Threads: a handler lives in the thread that owns it, and every operation runs there and
/// blocks it for the length of a request (write plus reply time-out). There is no request queue
/// and no lock; a host that wants its GUI to stay responsive moves the handler to a worker
/// thread and calls it through queued or blocking connections.
///
/// History: while history is active, every frame written and read is reported through
/// variantMessageOutput(). setHistoryEnabled() is the master switch; setTraceMode() and
/// setCircularMode() turn reporting off while the host traces or records circularly, unless
/// the matching switch (setTraceHistoryEnabled(), setCircularHistoryEnabled()) keeps it on.
class COMMANDHANDLER_EXPORT CommandHandlerInterface : public QObject
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    /// What a variantMessageOutput() report carries.
    enum MessageFlag {
        NoError = 0, ///< Nothing to report.
        Serial_ZAPL_Request = 1, ///< A ZAPLRequestCommand* written (serial, virtual and SPI handlers).
        Serial_ZAPL_Reply = 2, ///< A ZAPLReplyCommand* read, or invalid after a time-out.
        CAN_ZAPL_Request = 3, ///< A CANZAPLRequestCommand* written.
        CAN_ZAPL_Reply = 4, ///< A CANZAPLReplyCommand* read, or invalid after a time-out.
        CoE_Download = 5, ///< Reserved for hosts; the library does not send it.
        CoE_Upload = 6, ///< Reserved for hosts; the library does not send it.
        ErrorIsBusy = 100, ///< A port could not be opened; the variant holds the error text.
        ErrorIsPermission = 101, ///< Reserved for hosts; the library does not send it.
        AnyError = 102 ///< Reserved for hosts; the library does not send it.
    };
    /// Registered under the name "MessageFlags".
    Q_DECLARE_FLAGS(MessageFlags, MessageFlag)
    Q_FLAG(MessageFlags)

    /// Names the handler "UNKNOWN_" followed by a process-wide construction counter (1 for the
    /// first ZAPL handler of any kind; the CANopen handlers count apart). The first construction registers the meta
    /// types the signals and slots carry.
    explicit CommandHandlerInterface(QObject *parent = nullptr);
    /// Stops the statistics tick and withdraws the device name from the Velmora library's
    /// statistics.
    ~CommandHandlerInterface() override;

    /// Applies a data rate: a baud rate for serial lines, kbit/s for CAN. True when the rate
    /// was taken (see each handler for when it applies).
    virtual bool setDataRate(int rate) = 0;
    /// The module's firmware build number as text (a version query of type 5). The base
    /// returns an empty string; handlers that cannot ask keep that.
    virtual QString getFirmwareBuild(uchar address);
    /// Asks the module at `address` for its firmware version (a version query of type 1) and
    /// returns what BasicTools::matchFirmwareVersion() of the Velmora library makes of the answer,
    /// or an empty string when the module does not answer, refuses or is not recognised. Blocks
    /// for up to two requests. The virtual and SPI handlers always return an empty string.
    virtual QString getFirmwareVersion(uchar address) = 0;
    /// Asks the module at `address` for its eight-character module-and-firmware text (a version
    /// query of type 0, for example "1161V207"); empty when no reply came (always, for the
    /// virtual and SPI handlers).
    virtual QString getModuleAndFirmwareVersion(uchar address) = 0;
    /// Opens the connection. `device` is the port name for serial handlers and the bit rate in
    /// kbit/s for CAN handlers (see each handler). True when requests can be sent.
    virtual bool openDevice(QVariant device) = 0;
    /// Closes the connection; see each handler for its result.
    virtual bool closeDevice() = 0;
    /// Opens again with the settings of the last openDevice() (without closing first).
    virtual bool reopenDevice() = 0;
    /// Reads the next reply without sending a request. The base returns an invalid reply.
    virtual ZAPLReplyCommand doDirectReply();

    /// Name under which the connection reports its statistics.
    QString deviceName() const { return m_deviceName; }
    /// Renames the connection in the Velmora library's statistics (withdraws the old name,
    /// announces the new one) and (re)starts the 250 ms tick that reports the number of frames
    /// written since the last tick.
    void setDeviceName(const QString &name);
    /// Whether the device is open: set by a successful openDevice(), cleared by closeDevice() and
    /// when a CAN adapter goes away (see each handler).
    bool isDeviceOpen() const { return deviceOpen; }
    /// Whether the handler writes its per-frame debug lines.
    bool isDebugEnabled() const { return debugEnabled; }
    /// Switches the per-frame debug lines (category "commandhandler") on or off; off at first.
    void setDebugEnabled(bool enabled) { debugEnabled = enabled; }
    /// The data rate last applied (baud or kbit/s).
    int dataRate() const { return m_dataRate; }
    /// Module address last confirmed by getFirmwareVersion() (1 at first).
    uchar address() const { return m_address; }
    /// Sets the module address kept by the handler; requests carry their own address.
    void setAddress(const uchar &address) { m_address = address; }
    /// Whether the host traces (set by setTraceMode()).
    bool traceMode() const { return m_traceMode; }
    /// Pause before and after each serial write, in units of 500 microseconds.
    int pauseAfterReply() const { return m_pauseAfterReply; }
    /// Sets the pause of pauseAfterReply(); 0 (the default) for none.
    void setPauseAfterReply(int units) { m_pauseAfterReply = units; }
    /// When set, the reply waits of the serial handler and the Kvaser CAN handler let the
    /// thread's event loop run between polls, so slots of that thread may run during a request.
    void setForceProcessEvents(bool force) { forceProcessEvents = force; }
    /// Module-and-firmware text with major and minor version, as the last successful
    /// getFirmwareVersion() of the serial handler stored it; ("xxxx", (0, 0)) at first.
    QPair<QString, QPair<qint8, qint8>> firmwareVersionNumber() const { return m_firmwareVersionNumber; }
    /// Stores the value of firmwareVersionNumber().
    void setFirmwareVersionNumber(const QPair<QString, QPair<qint8, qint8>> &version)
    {
        m_firmwareVersionNumber = version;
    }
    /// The reply time-out resetMaxTimeoutMS() restores, in milliseconds.
    int defaultTimeoutMS() const { return defaultTimeoutMs; }
    /// The reply time-out in use, in milliseconds (500 unless a handler or the host changed it).
    int maxTimeoutMS() const { return maxTimeoutMs; }
    /// Sets the value of defaultTimeoutMS(); the time-out in use does not change.
    void setDefaultTimeoutMS(int ms) { defaultTimeoutMs = ms; }
    /// Sets the reply time-out in use, in milliseconds.
    void setMaxTimeoutMS(int ms) { maxTimeoutMs = ms; }
    /// Copies the default time-out into the time-out in use.
    void resetMaxTimeoutMS() { maxTimeoutMs = defaultTimeoutMs; }
    /// Counts one frame for the next statistics tick; handlers call it for each frame written.
    void incZaplCommandCounter() { ++zaplCommandCounter; }

    /// The history master switch (setHistoryEnabled()).
    bool isHistoryEnabled() const { return historyEnabled; }
    /// Whether traffic is reported through variantMessageOutput() now.
    bool isHistoryActive() const { return historyActive; }
    /// Whether history stays on while the host traces.
    bool isTraceHistoryEnabled() const { return traceHistoryEnabled; }
    /// Whether history stays on in circular mode and during combined requests.
    bool isCircularHistoryEnabled() const { return circularHistoryEnabled; }
    /// Sets the value of isCircularHistoryEnabled().
    void setCircularHistoryEnabled(bool enabled) { circularHistoryEnabled = enabled; }
    /// Sets the value of isTraceHistoryEnabled().
    void setTraceHistoryEnabled(bool enabled) { traceHistoryEnabled = enabled; }
    /// Sets the master switch and makes history active or not accordingly.
    void setHistoryEnabled(bool enabled);
    /// Records whether the host traces. Tracing turns history off unless
    /// isTraceHistoryEnabled(); leaving it restores the master switch.
    void setTraceMode(bool on);
    /// As setTraceMode() for circular recording, with isCircularHistoryEnabled().
    void setCircularMode(bool on);

    /// Marks `address` as no longer answering (once). Handlers then fail requests to it at
    /// once until the address is cleared; the CAN and SPI handlers clear it by timer.
    void setAddressTimeout(uchar address);
    /// Whether `address` is marked as no longer answering.
    bool isAddressTimeouted(uchar address) const;
    /// Removes the mark of `address`.
    void clearAddressTimeout(uchar address);
    /// Writes the marked addresses as one debug line ("3,12"); nothing when none is marked.
    void dumpTimeoutedAddresses() const;
    /// The marked addresses, in the order they were marked.
    QList<uchar> timeoutedAddressList() const { return timeoutedAddresses; }

    /// Adds one identifier to the receive filter (once).
    void filterAddId(uint id);
    /// Adds every identifier from `first` to `last` inclusive; nothing when first > last.
    void filterAddRange(uint first, uint last);
    /// Empties the receive filter, so that every identifier passes.
    void filterClear();
    /// Whether a received identifier passes: always while the filter is empty. The CAN
    /// handlers take the first frame that passes as the reply.
    bool filterPassed(uint id) const;

signals:
    /// Declared for hosts; no library handler emits it.
    void handleAttachedDevice(int connectionType, QString port, QString description);
    /// The connection is gone or a module stopped answering. `connectionType` is a
    /// ConnectionType::e value, `port` the device name. The serial handler emits it twice
    /// (Serial, then USB) on a reply time-out of the plain serial path and when its port goes
    /// away; the CAN handlers when their adapter goes away.
    void handleDetachedDevice(int connectionType, QString port);
    /// Traffic and errors as history (see MessageFlag). Frame pointers in the variant point to
    /// objects that live only during the emission: receivers take them over a direct connection.
    void variantMessageOutput(CommandHandlerInterface::MessageFlags flag, QVariant variantMessage = QVariant());
    /// A CAN handler's module at `address` did not answer in time and is muted for 5000 ms.
    void deviceClosed(uchar address);
    /// The serial handler's port has data (relayed from the port).
    void readyRead();
    /// Faults as a hash from fault name to value: "Communication Timeout" mapped to the module
    /// address (serial handler), "Port Lost" mapped to the port or adapter that went away (serial
    /// and CAN handlers), "CAN Bus Off" and "CAN Error Frame" mapped to a text (CAN handlers).
    void faultsMessage(QVariantHash map);

public slots:
    /// Runs doDirectRequest() for each combo in list order; a failed one does not stop the
    /// rest. History is active during the list only when both the master switch and
    /// isCircularHistoryEnabled() are on.
    virtual void doDirectComboRequest(QList<CommandCombo *> combos);
    /// Sends `request` and waits for its reply (about maxTimeoutMS(); see each handler). On a
    /// reply `reply` is filled and marked valid; otherwise it is marked invalid. `reply` may be
    /// null: the exchange still happens. Usually called directly in the handler's thread.
    virtual void doDirectRequest(Command *request, Command *reply) = 0;
    /// Sends `request` and reads nothing.
    virtual void doDirectRequestWithoutAnswer(Command *request) = 0;
    /// For a host control wired to this slot: a sender whose object name contains "Trace" sets
    /// isTraceHistoryEnabled() to the negation of `enabled`, "Circular" likewise
    /// isCircularHistoryEnabled(); the value is stored in the host's settings under the
    /// sender's object name. Any other sender gets a warning line; without a sender nothing
    /// happens.
    void setHistoryNameEnabled(bool enabled);

protected slots:
    /// The statistics tick: reports the frames counted since the last tick and the elapsed
    /// milliseconds to the Velmora library's SysInfoObject, then clears the count.
    void timerEvent(QTimerEvent *event) override;

protected:
    QString m_deviceName; ///< See deviceName().
    QBasicTimer statisticsTimer; ///< The 250 ms statistics tick.
    QElapsedTimer statisticsClock; ///< Time since the last tick.
    int zaplCommandCounter = 0; ///< Frames written since the last tick.
    uchar m_address = 1; ///< See address().
    bool m_traceMode = false; ///< See traceMode().
    std::vector<uint> filterIds; ///< The receive filter; empty lets everything pass.
    bool debugEnabled = false; ///< See isDebugEnabled().
    bool deviceOpen = false; ///< See isDeviceOpen(); set by openDevice(), cleared by closeDevice().
    int m_dataRate = 0; ///< See dataRate().
    bool historyActive = false; ///< See isHistoryActive().
    bool historyEnabled = false; ///< See isHistoryEnabled().
    bool traceHistoryEnabled = false; ///< See isTraceHistoryEnabled().
    bool circularHistoryEnabled = false; ///< See isCircularHistoryEnabled().
    int m_pauseAfterReply = 0; ///< See pauseAfterReply().
    QList<uchar> timeoutedAddresses; ///< See timeoutedAddressList().
    int defaultTimeoutMs = 500; ///< See defaultTimeoutMS().
    int maxTimeoutMs = 500; ///< See maxTimeoutMS().
    /// See firmwareVersionNumber().
    QPair<QString, QPair<qint8, qint8>> m_firmwareVersionNumber { QStringLiteral("xxxx"), { 0, 0 } };
    bool forceProcessEvents = false; ///< See setForceProcessEvents().
};

Q_DECLARE_OPERATORS_FOR_FLAGS(CommandHandlerInterface::MessageFlags)
Q_DECLARE_METATYPE(CommandHandlerInterface::MessageFlags)
