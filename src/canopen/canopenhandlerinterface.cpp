#include "canopenhandlerinterface.h"

#include <utility>

#include "chlog_p.h"
#include "sysinfoobject.h"

#include <atomic>

namespace {
std::atomic<int> constructionCounter { 0 };
} // namespace

CANopenHandlerInterface::CANopenHandlerInterface(QObject *parent) : QObject(parent)
{
    const int number = ++constructionCounter;
    deviceName = QStringLiteral("UNKNOWN_") + QString::number(number);
    connect(
        this, &CANopenHandlerInterface::countSentCanMessage, this, [this] { ++sentFrameCount; }, Qt::DirectConnection);
    if (number == 1) {
        qRegisterMetaType<CanMessage>("CanMessage");
        qCDebug(chMain) << "CANopenHandlerInterface::CANopenHandlerInterface(QObject*)"
                        << "Registered Request/Reply commands.";
    }
}

CANopenHandlerInterface::~CANopenHandlerInterface()
{
    statisticsTimer.stop();
    SysInfoObject::instance()->removeCom(deviceName);
}

bool CANopenHandlerInterface::isBusy()
{
    return false;
}

void CANopenHandlerInterface::setDeviceName(QString name)
{
    SysInfoObject::instance()->removeCom(deviceName);
    deviceName = std::move(name);
    SysInfoObject::instance()->addCom(deviceName);
    statisticsClock.start();
    sentFrameCount = 0;
    statisticsTimer.start(250, this);
}

void CANopenHandlerInterface::setHistoryEnabled(bool enabled)
{
    if (!enabled)
        ++historyBlockCount;
    else if (historyBlockCount > 0)
        --historyBlockCount;
}

bool CANopenHandlerInterface::filterPassed(unsigned int id) const
{
    if (!filterEnabled)
        return true;
    struct Range
    {
        unsigned int first, last;
    };
    static const Range passing[] = { { 0x000, 0x000 }, { 0x080, 0x100 }, { 0x181, 0x1FF }, { 0x201, 0x27F },
        { 0x281, 0x2FF }, { 0x301, 0x37F }, { 0x381, 0x3FF }, { 0x401, 0x47F }, { 0x481, 0x4FF }, { 0x501, 0x57F },
        { 0x581, 0x5FF }, { 0x601, 0x67F }, { 0x701, 0x77F }, { 0x7E4, 0x7E5 } };
    for (const Range &r : passing) {
        if (id >= r.first && id <= r.last)
            return true;
    }
    return false;
}

void CANopenHandlerInterface::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != statisticsTimer.timerId())
        return QObject::timerEvent(event);
    SysInfoObject::instance()->setRx(deviceName, sentFrameCount, statisticsClock.restart());
    sentFrameCount = 0;
}
