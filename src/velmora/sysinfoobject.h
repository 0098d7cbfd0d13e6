#pragma once

#include "velmora_global.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <mutex>

// Collects connection statistics. The stand-in records every call so a host (or a test) can
// observe what the communication library reports.
class VELMORA_EXPORT SysInfoObject : public QObject
{
    Q_OBJECT
public:
    struct RxReport
    {
        QString device;
        int commands = 0;
        qint64 elapsedMs = 0;
    };

    static SysInfoObject *instance();

    void addCom(const QString &device);
    void removeCom(const QString &device);
    void setRx(const QString &device, int commands, qint64 elapsedMs);

    QStringList connections() const;
    QList<RxReport> rxReports() const;
    void clearRecords();

signals:
    void rxReported(const QString &device, int commands, qint64 elapsedMs);

private:
    SysInfoObject() = default;
    mutable std::mutex m_lock; // a standard mutex, so thread checkers see its ordering
    QStringList m_connections;
    QList<RxReport> m_rx;
};
