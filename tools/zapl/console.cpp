#include "console.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

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

bool Interrupt::waitForInterrupt(int ms, const std::function<bool()> &ended)
{
    if (requested())
        return true;
    QEventLoop loop;
    QObject::connect(instance(), &Interrupt::interrupted, &loop, &QEventLoop::quit);
    if (ms > 0)
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QTimer check;
    if (ended) {
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (ended())
                loop.quit();
        });
        check.start(200);
    }
    loop.exec();
    return requested();
}

void notifyInterrupt()
{
    emit Interrupt::instance()->interrupted();
}

} // namespace zapl
