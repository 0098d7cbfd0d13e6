#pragma once

#include "velmora_global.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <mutex>

class QThread;
class QWidget;

// Process-wide registries: worker threads by name and singletons by object name.
class VELMORA_EXPORT Global : public QObject
{
    Q_OBJECT
public:
    // The process-wide object. The flag is kept for callers that ask not to create it; the
    // stand-in's object always exists, so both forms return it.
    static Global *instance(bool create = true);

    // Worker threads by name, keyed by the QThread or by the native id from
    // QThread::currentThreadId(); both keys share one registry.
    void registerThread(QThread *thread, const QString &name);
    void unregisterThread(QThread *thread);
    void registerThread(Qt::HANDLE threadId, const QString &name);
    void unregisterThread(Qt::HANDLE threadId);
    QHash<QThread *, QString> threads() const;
    QHash<Qt::HANDLE, QString> threadIds() const;

    // Keeps `object` under its object name; a later object of the same name replaces it.
    void addSelf(QObject *object);
    QObject *getSelf(const QString &objectName) const;

    // The host's main window, for adapter libraries that need a window handle; null when headless.
    QWidget *mainWindow() const;
    void setMainWindow(QWidget *window);

private:
    Global() = default;
    mutable std::mutex m_lock; // a standard mutex, so thread checkers see its ordering
    QHash<QThread *, QString> m_threads;
    QHash<Qt::HANDLE, QString> m_threadIds;
    QHash<QString, QPointer<QObject>> m_objects;
    QWidget *m_mainWindow = nullptr;
};
