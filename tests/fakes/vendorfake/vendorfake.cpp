#include "vendorfake.h"

#include "zaplmodule.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// A ZAPL module on the bus: a request on its address is answered on the reply identifier.
class ModuleNode : public SimCanNode
{
public:
    ModuleNode(int address, int replyId) : m_model(quint8(address)), m_replyId(quint32(replyId)) { }
    void receive(const SimCanFrame &frame, SimCanBus &bus) override
    {
        if (frame.extended || frame.remote || frame.id != m_model.address() || frame.length != 8)
            return;
        const QByteArray answer
            = m_model.handleCan(QByteArray(reinterpret_cast<const char *>(frame.data), int(frame.length)));
        if (answer.size() != 8)
            return;
        SimCanFrame reply;
        reply.id = m_replyId;
        reply.length = 8;
        std::copy(answer.constBegin(), answer.constEnd(), reinterpret_cast<char *>(reply.data));
        bus.reply(reply, this);
    }

private:
    ZaplModuleModel m_model;
    quint32 m_replyId;
};

struct CallRecord
{
    int count = 0;
    int failAt = 0; // count at which the call fails; 0 = never
    long long arguments[8] = {};
};

struct State
{
    std::mutex lock;
    SimCanBus bus;
    std::vector<std::unique_ptr<ModuleNode>> modules;
    fake::Flags flags;
    std::map<std::string, CallRecord> calls;

    State() { resetLocked(); }
    void resetLocked()
    {
        for (auto &module : modules)
            bus.detach(module.get());
        modules.clear();
        bus.clear();
        flags = fake::Flags();
        calls.clear();
        // For demonstrations: FAKE_MODULES=1,3,7 and FAKE_REPLY_ID=2 set the modules on the bus.
        const QByteArray list = qgetenv("FAKE_MODULES");
        const int replyId
            = qEnvironmentVariableIsSet("FAKE_REPLY_ID") ? qEnvironmentVariableIntValue("FAKE_REPLY_ID") : 2;
        if (list.isEmpty()) {
            addModuleLocked(1, replyId);
            return;
        }
        for (const QByteArray &item : list.split(',')) {
            bool ok = false;
            const int address = item.trimmed().toInt(&ok);
            if (ok && address >= 0 && address <= 255)
                addModuleLocked(address, replyId);
        }
    }
    void addModuleLocked(int address, int replyId)
    {
        modules.push_back(std::make_unique<ModuleNode>(address, replyId));
        bus.attach(modules.back().get());
    }
};

State &state()
{
    static State instance;
    return instance;
}

template<typename F> void withState(F f)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    f(s);
}
} // namespace

namespace fake {
SimCanBus &bus()
{
    return state().bus;
}

Flags flags()
{
    Flags copy;
    withState([&](State &s) { copy = s.flags; });
    return copy;
}

bool call(const char *name, std::initializer_list<long long> arguments)
{
    bool fail = false;
    withState([&](State &s) {
        CallRecord &record = s.calls[name];
        ++record.count;
        int i = 0;
        for (long long argument : arguments) {
            if (i < 8)
                record.arguments[i++] = argument;
        }
        fail = record.failAt != 0 && record.count == record.failAt;
    });
    return fail;
}

long reportBitrate(long bitsPerSecond)
{
    const Flags f = flags();
    return f.reportedBitrate ? f.reportedBitrate : bitsPerSecond;
}
} // namespace fake

extern "C" {
SimCanBus *fake_bus()
{
    return &state().bus;
}

void fake_reset()
{
    withState([](State &s) { s.resetLocked(); });
}

void fake_add_module(int address, int replyId)
{
    withState([&](State &s) { s.addModuleLocked(address, replyId); });
}

void fake_fail_open(int on)
{
    withState([&](State &s) { s.flags.failOpen = on; });
}

void fake_fail_bus_on(int on)
{
    withState([&](State &s) { s.flags.failBusOn = on; });
}

void fake_set_caution(int on)
{
    withState([&](State &s) { s.flags.caution = on; });
}

void fake_refuse_send(int on)
{
    withState([&](State &s) { s.flags.refuseSend = on; });
}

void fake_set_no_device(int on)
{
    withState([&](State &s) { s.flags.noDevice = on; });
}

void fake_set_bus_status(unsigned int status)
{
    withState([&](State &s) { s.flags.busStatus = status; });
}

void fake_set_reported_bitrate(long bitsPerSecond)
{
    withState([&](State &s) { s.flags.reportedBitrate = bitsPerSecond; });
}

void fake_fail_call(const char *name, int n)
{
    withState([&](State &s) {
        CallRecord &record = s.calls[name];
        record.failAt = n > 0 ? record.count + n : 0;
    });
}

int fake_call_count(const char *name)
{
    int count = 0;
    withState([&](State &s) {
        auto it = s.calls.find(name);
        count = it == s.calls.end() ? 0 : it->second.count;
    });
    return count;
}

long long fake_last_arg(const char *name, int index)
{
    long long value = 0;
    withState([&](State &s) {
        auto it = s.calls.find(name);
        if (it != s.calls.end() && index >= 0 && index < 8)
            value = it->second.arguments[index];
    });
    return value;
}
}
