#include "console.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace zapl {

std::atomic<int> &interruptCount()
{
    static std::atomic<int> count { 0 };
    return count;
}

Interrupt *Interrupt::instance()
{
    static Interrupt *interrupt = new Interrupt(QCoreApplication::instance());
    return interrupt;
}

void Interrupt::install()
{
    instance();
    installInterruptHandler();
}

bool Interrupt::requested()
{
    return interruptCount().load() > 0;
}

void Interrupt::acknowledge()
{
    interruptCount().store(0);
}

bool Interrupt::waitForInterrupt()
{
    if (requested())
        return true;
    QEventLoop loop;
    QObject::connect(instance(), &Interrupt::interrupted, &loop, &QEventLoop::quit);
    loop.exec();
    return requested();
}

void notifyInterrupt()
{
    emit Interrupt::instance()->interrupted();
}

} // namespace zapl
