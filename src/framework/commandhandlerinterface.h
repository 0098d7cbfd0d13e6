#pragma once

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

// One element of a combined request: the request and the reply it receives.
struct CommandCombo
{
    Command request;
    Command reply;
};
using CommandComboList = QList<CommandCombo *>;
Q_DECLARE_METATYPE(CommandComboList)

// Belongs to the host's trace machinery; registered here so hosts can queue it.
struct TraceCommand
{
    quint32 raw = 0;
};
Q_DECLARE_METATYPE(TraceCommand)

// Abstract base of every connection that carries ZAPL requests and replies.
// Hosts holding a plug-in reach any handler through qobject_cast with the interface id; the id
// is declared ahead of the class so the class itself can answer it for every handler.
class CommandHandlerInterface;
#define CommandHandlerInterface_iid "com.orvex.CommandHandler/1.0"
Q_DECLARE_INTERFACE(CommandHandlerInterface, CommandHandlerInterface_iid)

class COMMANDHANDLER_EXPORT CommandHandlerInterface : public QObject
{
    Q_OBJECT
    Q_INTERFACES(CommandHandlerInterface)
public:
    enum MessageFlag {
        NoError = 0,
        Serial_ZAPL_Request = 1,
        Serial_ZAPL_Reply = 2,
        CAN_ZAPL_Request = 3,
        CAN_ZAPL_Reply = 4,
        CoE_Download = 5,
        CoE_Upload = 6,
        ErrorIsBusy = 100,
        ErrorIsPermission = 101,
        AnyError = 102
    };
    Q_DECLARE_FLAGS(MessageFlags, MessageFlag)
    Q_FLAG(MessageFlags)

    explicit CommandHandlerInterface(QObject *parent = nullptr);
    ~CommandHandlerInterface() override;

    virtual bool setDataRate(int rate) = 0;
    virtual QString getFirmwareBuild(uchar address);
    virtual QString getFirmwareVersion(uchar address) = 0;
    virtual QString getModuleAndFirmwareVersion(uchar address) = 0;
    virtual bool openDevice(QVariant device) = 0;
    virtual bool closeDevice() = 0;
    virtual bool reopenDevice() = 0;
    virtual ZAPLReplyCommand doDirectReply();

    QString deviceName() const { return m_deviceName; }
    void setDeviceName(const QString &name);
    bool isDeviceOpen() const { return deviceOpen; }
    bool isDebugEnabled() const { return debugEnabled; }
    void setDebugEnabled(bool enabled) { debugEnabled = enabled; }
    int dataRate() const { return m_dataRate; }
    uchar address() const { return m_address; }
    void setAddress(const uchar &address) { m_address = address; }
    bool traceMode() const { return m_traceMode; }
    int pauseAfterReply() const { return m_pauseAfterReply; }
    void setPauseAfterReply(int units) { m_pauseAfterReply = units; }
    void setForceProcessEvents(bool force) { forceProcessEvents = force; }
    QPair<QString, QPair<qint8, qint8>> firmwareVersionNumber() const { return m_firmwareVersionNumber; }
    void setFirmwareVersionNumber(const QPair<QString, QPair<qint8, qint8>> &version)
    {
        m_firmwareVersionNumber = version;
    }
    int defaultTimeoutMS() const { return defaultTimeoutMs; }
    int maxTimeoutMS() const { return maxTimeoutMs; }
    void setDefaultTimeoutMS(int ms) { defaultTimeoutMs = ms; }
    void setMaxTimeoutMS(int ms) { maxTimeoutMs = ms; }
    void resetMaxTimeoutMS() { maxTimeoutMs = defaultTimeoutMs; }
    void incZaplCommandCounter() { ++zaplCommandCounter; }

    bool isHistoryEnabled() const { return historyEnabled; }
    bool isHistoryActive() const { return historyActive; }
    bool isTraceHistoryEnabled() const { return traceHistoryEnabled; }
    bool isCircularHistoryEnabled() const { return circularHistoryEnabled; }
    void setCircularHistoryEnabled(bool enabled) { circularHistoryEnabled = enabled; }
    void setTraceHistoryEnabled(bool enabled) { traceHistoryEnabled = enabled; }
    void setHistoryEnabled(bool enabled);
    void setTraceMode(bool on);
    void setCircularMode(bool on);

    void setAddressTimeout(uchar address);
    bool isAddressTimeouted(uchar address) const;
    void clearAddressTimeout(uchar address);
    void dumpTimeoutedAddresses() const;
    QList<uchar> timeoutedAddressList() const { return timeoutedAddresses; }

    void filterAddId(uint id);
    void filterAddRange(uint first, uint last);
    void filterClear();
    bool filterPassed(uint id) const;

signals:
    void handleAttachedDevice(int connectionType, QString port, QString description);
    void handleDetachedDevice(int connectionType, QString port);
    void variantMessageOutput(CommandHandlerInterface::MessageFlags flag, QVariant variantMessage = QVariant());
    void deviceClosed(uchar address);
    void readyRead();
    void faultsMessage(QVariantHash map);

public slots:
    virtual void doDirectComboRequest(QList<CommandCombo *> combos);
    virtual void doDirectRequest(Command *request, Command *reply) = 0;
    virtual void doDirectRequestWithoutAnswer(Command *request) = 0;
    void setHistoryNameEnabled(bool enabled);

protected slots:
    void timerEvent(QTimerEvent *event) override;

protected:
    QString m_deviceName;
    QBasicTimer statisticsTimer;
    QElapsedTimer statisticsClock;
    int zaplCommandCounter = 0;
    uchar m_address = 1;
    bool m_traceMode = false;
    std::vector<uint> filterIds;
    bool debugEnabled = false;
    bool deviceOpen = false;
    int m_dataRate = 0;
    bool historyActive = false;
    bool historyEnabled = false;
    bool traceHistoryEnabled = false;
    bool circularHistoryEnabled = false;
    int m_pauseAfterReply = 0;
    QList<uchar> timeoutedAddresses;
    int defaultTimeoutMs = 500;
    int maxTimeoutMs = 500;
    QPair<QString, QPair<qint8, qint8>> m_firmwareVersionNumber { QStringLiteral("xxxx"), { 0, 0 } };
    bool forceProcessEvents = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(CommandHandlerInterface::MessageFlags)
Q_DECLARE_METATYPE(CommandHandlerInterface::MessageFlags)
