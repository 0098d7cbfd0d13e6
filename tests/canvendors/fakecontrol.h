#pragma once

// Reaches the control functions of a vendor fake. Holding a FakeControl keeps the fake loaded,
// so scripted failures survive the handler loading and releasing the library.

#include "canbus.h"
#include "command.h"
#include "commandhandlerinterface.h"

#include <QByteArray>
#include <QStringList>
#include <dlfcn.h>

class FakeControl
{
public:
    explicit FakeControl(const char *fileName) : m_handle(dlopen(fileName, RTLD_NOW | RTLD_LOCAL))
    {
        if (m_handle)
            reset();
    }
    ~FakeControl()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    FakeControl(const FakeControl &) = delete;
    FakeControl &operator=(const FakeControl &) = delete;

    bool isValid() const { return m_handle != nullptr; }

    void reset() { call<void>("fake_reset"); }
    SimCanBus *bus() { return call<SimCanBus *>("fake_bus"); }
    void failOpen(bool on) { call<void>("fake_fail_open", int(on)); }
    void failBusOn(bool on) { call<void>("fake_fail_bus_on", int(on)); }
    void setCaution(bool on) { call<void>("fake_set_caution", int(on)); }
    void refuseSend(bool on) { call<void>("fake_refuse_send", int(on)); }
    void setNoDevice(bool on) { call<void>("fake_set_no_device", int(on)); }
    void setBusStatus(unsigned int status) { call<void>("fake_set_bus_status", status); }
    void setReportedBitrate(long bitsPerSecond) { call<void>("fake_set_reported_bitrate", bitsPerSecond); }
    void failCall(const char *name, int n) { call<void>("fake_fail_call", name, n); }
    int callCount(const char *name) { return call<int>("fake_call_count", name); }
    long long lastArg(const char *name, int index) { return call<long long>("fake_last_arg", name, index); }
    int liveObjects() { return call<int>("fake_live_objects"); }

    // Whether the process has the library loaded, without loading it.
    static bool isLoaded(const char *fileName)
    {
        void *handle = dlopen(fileName, RTLD_NOW | RTLD_NOLOAD);
        if (handle)
            dlclose(handle);
        return handle != nullptr;
    }

private:
    template<typename R, typename... A> R call(const char *name, A... arguments)
    {
        using F = R (*)(A...);
        auto f = m_handle ? reinterpret_cast<F>(dlsym(m_handle, name)) : nullptr;
        if (!f)
            qFatal("fake control %s missing", name);
        return f(arguments...);
    }

    void *m_handle;
};

// A frame a node puts on the bus for the host.
inline void injectFrame(SimCanBus *bus, quint32 id, quint8 length, const QByteArray &data)
{
    SimCanFrame frame;
    frame.id = id;
    frame.length = length;
    for (int i = 0; i < data.size() && i < 8; ++i)
        frame.data[i] = quint8(data.at(i));
    bus->reply(frame);
}

// One request through the handler; the reply is invalid when no answer came.
inline Command ask(CommandHandlerInterface &handler, quint8 address, quint8 command, quint16 type = 0, qint32 value = 0)
{
    Command request(address, command, type, 0, value);
    Command reply;
    handler.doDirectRequest(&request, &reply);
    return reply;
}

// Stores a value in module 1 and returns the reply that reads it back.
inline Command setAndGet(CommandHandlerInterface &handler, quint16 type, qint32 value)
{
    const Command set = ask(handler, 1, 5, type, value);
    return set.isValid() && set.status() == 100 ? ask(handler, 1, 6, type) : Command();
}

// Collects the log lines written while it is installed. Qt Test installs its own handler when
// the tests start, so a capture kept by a test object is installed in init().
class LogCapture
{
public:
    explicit LogCapture(bool installNow = true)
    {
        if (installNow)
            install();
    }
    ~LogCapture() { remove(); }
    void install()
    {
        lines().clear();
        if (!m_installed)
            m_previous = qInstallMessageHandler(
                [](QtMsgType, const QMessageLogContext &, const QString &message) { lines().append(message); });
        m_installed = true;
    }
    void remove()
    {
        if (m_installed)
            qInstallMessageHandler(m_previous);
        m_installed = false;
    }
    bool contains(const QString &text) const { return !lines().filter(text).isEmpty(); }

private:
    static QStringList &lines()
    {
        static QStringList list;
        return list;
    }
    QtMessageHandler m_previous = nullptr;
    bool m_installed = false;
};

// Remembers the last frame the host put on the bus.
class BusSpy : public SimCanNode
{
public:
    explicit BusSpy(SimCanBus *bus) : m_bus(bus) { m_bus->attach(this); }
    ~BusSpy() override { m_bus->detach(this); }
    void receive(const SimCanFrame &frame, SimCanBus &) override { last = frame; }
    SimCanFrame last;

private:
    SimCanBus *m_bus;
};
