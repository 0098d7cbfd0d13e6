#include "commandhandlerinterface.h"

#include "appsettings.h"
#include "canzaplcommand.h"
#include "chlog_p.h"
#include "sysinfoobject.h"
#include "zaplcommand.h"

#include <QTimerEvent>
#include <algorithm>
#include <atomic>

namespace {
// Hosts normally build handlers on one thread, but nothing stops a worker thread from doing so:
// the counter is atomic and the registration runs once under the static-initialisation guard.
std::atomic<int> constructionCounter { 0 };

bool registerMetaTypes()
{
    qRegisterMetaType<ZAPLRequestCommand *>("ZAPLRequestCommand");
    qRegisterMetaType<ZAPLReplyCommand *>("ZAPLReplyCommand");
    qRegisterMetaType<CANZAPLRequestCommand *>("CANZAPLRequestCommand");
    qRegisterMetaType<CANZAPLReplyCommand *>("CANZAPLReplyCommand");
    qRegisterMetaType<ZAPLCommandInterface *>("ZAPLCommandInterface");
    qRegisterMetaType<TraceCommand>("TraceCommand");
    qRegisterMetaType<Command>("Command");
    qRegisterMetaType<Command *>("Command*");
    qRegisterMetaType<CommandHandlerInterface::MessageFlags>("MessageFlags");
    qRegisterMetaType<CommandComboList>("CommandComboList");
    qRegisterMetaType<CommandComboList>("QList<CommandCombo*>");
    return true;
}

void registerMetaTypesOnce()
{
    static const bool registered = registerMetaTypes();
    Q_UNUSED(registered)
}
} // namespace

CommandHandlerInterface::CommandHandlerInterface(QObject *parent)
    : QObject(parent), m_deviceName(QStringLiteral("UNKNOWN_") + QString::number(constructionCounter.fetch_add(1) + 1))
{
    registerMetaTypesOnce();
}

CommandHandlerInterface::~CommandHandlerInterface()
{
    statisticsTimer.stop();
    SysInfoObject::instance()->removeCom(m_deviceName);
}

QString CommandHandlerInterface::getFirmwareBuild(uchar)
{
    return QString();
}

ZAPLReplyCommand CommandHandlerInterface::doDirectReply()
{
    return ZAPLReplyCommand();
}

void CommandHandlerInterface::setDeviceName(const QString &name)
{
    SysInfoObject::instance()->removeCom(m_deviceName);
    m_deviceName = name;
    SysInfoObject::instance()->addCom(m_deviceName);
    statisticsClock.restart();
    zaplCommandCounter = 0;
    statisticsTimer.start(250, this);
}

void CommandHandlerInterface::timerEvent(QTimerEvent *)
{
    const qint64 elapsed = statisticsClock.isValid() ? statisticsClock.restart() : (statisticsClock.start(), 0);
    SysInfoObject::instance()->setRx(m_deviceName, zaplCommandCounter, elapsed);
    zaplCommandCounter = 0;
}

void CommandHandlerInterface::setHistoryEnabled(bool enabled)
{
    historyEnabled = enabled;
    historyActive = enabled;
}

void CommandHandlerInterface::setTraceMode(bool on)
{
    m_traceMode = on;
    historyActive = (on && !traceHistoryEnabled) ? false : historyEnabled;
}

void CommandHandlerInterface::setCircularMode(bool on)
{
    historyActive = (on && !circularHistoryEnabled) ? false : historyEnabled;
}

void CommandHandlerInterface::setHistoryNameEnabled(bool enabled)
{
    QObject *control = sender();
    if (!control)
        return;
    const QString name = control->objectName();
    if (name.contains(QLatin1String("Trace"))) {
        traceHistoryEnabled = !enabled;
    } else if (name.contains(QLatin1String("Circular"))) {
        circularHistoryEnabled = !enabled;
    } else {
        CH_WARNING << "no History for" << control;
        return;
    }
    AppSettings settings;
    settings.setValue(name, enabled);
}

// The list is taken by value: hosts queue it across threads under this signature.
void CommandHandlerInterface::doDirectComboRequest(
    QList<CommandCombo *> combos) // NOLINT(performance-unnecessary-value-param)
{
    historyActive = circularHistoryEnabled && historyEnabled;
    for (CommandCombo *combo : combos) {
        if (combo)
            doDirectRequest(&combo->request, &combo->reply);
    }
    historyActive = historyEnabled;
}

void CommandHandlerInterface::setAddressTimeout(uchar address)
{
    if (!timeoutedAddresses.contains(address))
        timeoutedAddresses.append(address);
}

bool CommandHandlerInterface::isAddressTimeouted(uchar address) const
{
    return timeoutedAddresses.contains(address);
}

void CommandHandlerInterface::clearAddressTimeout(uchar address)
{
    timeoutedAddresses.removeAll(address);
}

void CommandHandlerInterface::dumpTimeoutedAddresses() const
{
    if (timeoutedAddresses.isEmpty())
        return;
    QStringList parts;
    for (uchar a : timeoutedAddresses)
        parts << QString::number(a);
    CH_DEBUG << parts.join(QLatin1Char(','));
}

void CommandHandlerInterface::filterAddId(uint id)
{
    if (std::find(filterIds.begin(), filterIds.end(), id) == filterIds.end())
        filterIds.push_back(id);
}

void CommandHandlerInterface::filterAddRange(uint first, uint last)
{
    if (first > last)
        return;
    for (uint id = first;; ++id) {
        filterAddId(id);
        if (id == last) // also ends a range that reaches the largest uint
            break;
    }
}

void CommandHandlerInterface::filterClear()
{
    filterIds.clear();
}

bool CommandHandlerInterface::filterPassed(uint id) const
{
    return filterIds.empty() || std::find(filterIds.begin(), filterIds.end(), id) != filterIds.end();
}
