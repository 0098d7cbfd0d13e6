#pragma once

#include "commandhandler_global.h"

#include <QString>
#include <QThread>
#include <atomic>

// Walks a range of module addresses on an open connection, in a thread of its own. It never
// touches a handler: the host connects the two request signals directly or blocking into the
// thread that owns the handler, so the string is filled before the emission returns.
class COMMANDHANDLER_EXPORT DeviceFinder : public QThread
{
    Q_OBJECT
public:
    // Version texts that start with this are old modules that carry their firmware version in
    // the last four characters; they need no second query.
    static constexpr const char kModuleTypePrefix[] = "016v";

    DeviceFinder();
    ~DeviceFinder() override;

    void setIdFrom(int id) { m_idFrom = static_cast<quint8>(id); }
    void setIdTo(int id) { m_idTo = static_cast<quint8>(id); }
    void setReplyID(int id) { m_replyId = static_cast<quint8>(id); }

public slots:
    void stop() { m_stop = true; }

signals:
    void checkingModule(quint8 address);
    void foundModule(quint8 address, QString module, QString version);
    void modulesFound(int count);
    void handleGetModuleAndFirmwareVersion(QString *firmwareString, quint8 moduleAddress);
    void handleGetFirmwareVersion(QString *firmwareString, quint8 moduleAddress);

protected:
    void run() override;

private:
    // Written by the host's thread, read by the scan.
    std::atomic<quint8> m_idFrom { 1 };
    std::atomic<quint8> m_idTo { 1 };
    std::atomic<quint8> m_replyId { 2 };
    std::atomic<bool> m_stop { false };
};
