#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

// A frame on the simulated bus (independent of the library's own frame types on purpose).
struct SimCanFrame
{
    quint32 id = 0;
    bool extended = false;
    bool remote = false;
    quint8 length = 0;
    quint8 data[8] = {};
};

class SimCanBus;

// A device on the simulated bus. receive() sees every frame the host transmits and answers
// through bus.reply(); it runs on the transmitting thread with no bus lock held.
class SimCanNode
{
public:
    virtual ~SimCanNode() = default;
    virtual void receive(const SimCanFrame &frame, SimCanBus &bus) = 0;
};

// The host's adapter on one side, any number of nodes on the other. Thread-safe.
class SimCanBus
{
public:
    void attach(SimCanNode *node);
    void detach(SimCanNode *node);

    // Host side: put a frame on the bus; every attached node receives it.
    void transmit(const SimCanFrame &frame);
    // Host side: the oldest frame the nodes sent, waiting up to timeoutMs (0: no wait).
    bool take(SimCanFrame &frame, int timeoutMs = 0);
    size_t pending() const;
    void clear();

    // Node side: queue a frame for the host. Nodes do not hear each other.
    void reply(const SimCanFrame &frame, const SimCanNode *from = nullptr);

private:
    mutable std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<SimCanNode *> m_nodes;
    std::deque<SimCanFrame> m_toHost;
    static constexpr size_t kMaxQueued = 4096; // a host that never reads must not exhaust memory
};
