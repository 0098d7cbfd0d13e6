#pragma once

#include "canadapter_p.h"

#include <QPointer>
#include <QString>
#include <QVariant>
#include <deque>

class QCanBusDevice;
class QCanBusFrame;
class QObject;

// A CAN channel through Qt SerialBus: one interface of any installed QCanBus plugin, "socketcan"
// unless told otherwise. The device is a child of the owner, so it lives (and moves) with the
// owner's thread, and frames reach it only while that thread's event loop runs.
//
// The rate goes through the plugin's bit-rate key. Where it cannot take effect (a SocketCAN
// interface the system configured, no privileges, a virtual bus that has no rate, a plugin that
// refuses it) the channel still comes up at the interface's own rate, and one line says so.
class QtCanAdapter final : public CanAdapter
{
public:
    static constexpr const char *kDefaultPlugin = "socketcan";
    // Frames held between the device and take(); beyond it the oldest are dropped, and said so.
    static constexpr int kQueueLimit = 4096;
    // How long bringUp waits for a device that connects in the background (a bus server).
    static constexpr int kConnectTimeoutMs = 3000;

    QtCanAdapter();
    ~QtCanAdapter() override;
    // Called from the owner's constructor body, once the owner is a complete QObject: the
    // devices of later bringUps are its children.
    void attachTo(QObject *owner) { m_owner = owner; }

    // Both take effect at the next bringUp.
    void setPlugin(const QString &plugin) { m_plugin = plugin; }
    QString plugin() const { return m_plugin; }
    void setInterfaceName(const QString &name) { m_interface = name; }
    QString interfaceName() const { return m_interface; }
    // Takes the argument of a handler's openDevice: the bit rate in kbit/s alone (the plugin and
    // interface stay as they are), or a list [kbit/s, interface] or [kbit/s, interface, plugin]
    // (an empty plugin is the default). False with `error` set for any other form.
    bool takeOpenArgument(const QVariant &device, int &kbitPerSecond, QString &error);

    // Why the last bringUp failed, in one line; empty after a success.
    QString lastError() const { return m_lastError; }
    // The line bringUp wrote about the rate; empty when the requested rate took effect.
    QString rateNote() const { return m_rateNote; }

    bool bringUp(int kbitPerSecond, const CanTrace &trace) override;
    bool shutDown(const CanTrace &trace) override;
    bool applyBitRate(int kbitPerSecond, const CanTrace &trace) override;
    bool send(const CanMessage &frame, const CanTrace &trace) override;
    bool take(CanReceived &received) override;
    int runningRate() const override { return m_rate; }
    bool needsEventLoop() const override { return true; }

private:
    QString name() const; // "plugin interface", the start of every line about the device
    bool fail(const QString &why, const CanTrace &trace);
    bool waitConnected();
    void setRateKey(int kbitPerSecond);
    void readBackRate(int kbitPerSecond, const CanTrace &trace);
    void releaseDevice();
    void drain();
    void queueFrame(const QCanBusFrame &frame);
    void onError(int error);
    void onState(int state);
    void reportGone(const QString &why);
    void checkInterfaceAfterWriteError();
    void countDropped();
    void reportDropped();

    QObject *m_owner = nullptr;
    QPointer<QCanBusDevice> m_device;
    QString m_plugin = QString::fromLatin1(kDefaultPlugin);
    QString m_interface;
    QString m_lastError;
    QString m_rateNote;
    QString m_configError; // what the plugin said when it refused a configuration key
    std::deque<CanReceived> m_queue;
    qint64 m_dropped = 0; // frames dropped since the last line about it
    qint64 m_firstDropAt = 0; // ms (monotonic) of the first of them
    int m_rate = 0;
    int m_inSignal = 0; // inside a signal of the device: it must not be deleted now
    bool m_connected = false;
    bool m_gone = false;
};
