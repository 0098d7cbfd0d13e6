#include "global.h"

#include <mutex>

Global *Global::instance(bool)
{
    static Global global;
    return &global;
}

void Global::registerThread(QThread *thread, const QString &name)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_threads.insert(thread, name);
}

void Global::unregisterThread(QThread *thread)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_threads.remove(thread);
}

QHash<QThread *, QString> Global::threads() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_threads;
}

void Global::registerThread(Qt::HANDLE threadId, const QString &name)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_threadIds.insert(threadId, name);
}

void Global::unregisterThread(Qt::HANDLE threadId)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_threadIds.remove(threadId);
}

QHash<Qt::HANDLE, QString> Global::threadIds() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_threadIds;
}

void Global::addSelf(QObject *object)
{
    if (!object)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    m_objects.insert(object->objectName(), object);
}

QObject *Global::getSelf(const QString &objectName) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_objects.value(objectName).data();
}

QWidget *Global::mainWindow() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_mainWindow;
}

void Global::setMainWindow(QWidget *window)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_mainWindow = window;
}
