#include "canbus.h"

#include <algorithm>
#include <chrono>

void SimCanBus::attach(SimCanNode *node)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (std::find(m_nodes.begin(), m_nodes.end(), node) == m_nodes.end())
        m_nodes.push_back(node);
}

void SimCanBus::detach(SimCanNode *node)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_nodes.erase(std::remove(m_nodes.begin(), m_nodes.end(), node), m_nodes.end());
}

void SimCanBus::transmit(const SimCanFrame &frame)
{
    std::vector<SimCanNode *> nodes;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        nodes = m_nodes;
    }
    for (SimCanNode *node : nodes)
        node->receive(frame, *this);
}

bool SimCanBus::take(SimCanFrame &frame, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_toHost.empty() && timeoutMs > 0)
        m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_toHost.empty(); });
    if (m_toHost.empty())
        return false;
    frame = m_toHost.front();
    m_toHost.pop_front();
    return true;
}

size_t SimCanBus::pending() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_toHost.size();
}

void SimCanBus::clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_toHost.clear();
}

void SimCanBus::reply(const SimCanFrame &frame, const SimCanNode *)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_toHost.size() >= kMaxQueued)
            m_toHost.pop_front();
        m_toHost.push_back(frame);
    }
    m_arrived.notify_all();
}
