#pragma once

#include "velmora_global.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

class QThread;
class QWidget;

// Process-wide registries: worker threads by name and singletons by object name.
class VELMORA_EXPORT Global : public QObject
{
    Q_OBJECT
public:
    static Global *instance();

    void registerThread(QThread *thread, const QString &name);
    void unregisterThread(QThread *thread);
    QHash<QThread *, QString> threads() const;

    // Keeps `object` under its object name; a later object of the same name replaces it.
    void addSelf(QObject *object);
    QObject *getSelf(const QString &objectName) const;

    // The host's main window, for adapter libraries that need a window handle; null when headless.
    QWidget *mainWindow() const;
    void setMainWindow(QWidget *window);

private:
    Global() = default;
    mutable QMutex m_lock;
    QHash<QThread *, QString> m_threads;
    QHash<QString, QPointer<QObject>> m_objects;
    QWidget *m_mainWindow = nullptr;
};
