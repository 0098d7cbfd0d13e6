#pragma once

#include "canbus.h"
#include "zaplcannode.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QCanBusDevice;

// ZAPL modules (and any other node model that joins bus()) on a Qt SerialBus bus: the peer of a
// host that uses CANSocketCommandHandler or CANopenSocketCommandHandler on the same bus, through
// any plugin (Qt's virtualcan bus on a bare machine, a SocketCAN interface, an adapter). Serves
// from the thread that owns it, while that thread's event loop runs.
class QtCanServer : public QObject
{
    Q_OBJECT
public:
    explicit QtCanServer(const QList<quint8> &modules, quint32 replyId = 2, QObject *parent = nullptr);
    ~QtCanServer() override;
    QtCanServer(const QtCanServer &) = delete;
    QtCanServer &operator=(const QtCanServer &) = delete;

    // Configure modules before start().
    ZaplCanNode *node(quint8 address);
    SimCanBus &bus() { return m_bus; }

    // Joins `interfaceName` of `plugin`, waiting up to 3 s for the device to connect; false
    // with *error naming the cause otherwise.
    bool start(const QString &plugin, const QString &interfaceName, QString *error);
    void stop();
    bool isRunning() const;

    // Puts a frame on the wire as it stands, past the node models (foreign traffic for tests).
    bool send(const SimCanFrame &frame);
    // Frames taken from the wire and handed to the nodes, and frames the nodes sent.
    int framesIn() const { return m_in; }
    int framesOut() const { return m_out; }

signals:
    // The device dropped (the bus server went away, the interface went down).
    void lost(const QString &why);

private:
    void takeFrames();
    void forwardReplies();

    SimCanBus m_bus;
    ZaplCanModules m_modules; // after the bus: they leave it before it goes
    QPointer<QCanBusDevice> m_device;
    QTimer m_poll; // frames that nodes send on their own (heartbeats) come from other threads
    int m_in = 0;
    int m_out = 0;
};
