#pragma once

#include "canbus.h"
#include "zaplmodule.h"

#include <QList>
#include <atomic>
#include <memory>
#include <vector>

// A ZAPL module on a simulated CAN bus: a standard data frame on its address is a request; the
// reply goes out on the host's reply identifier. Configure the model before frames flow.
class ZaplCanNode : public SimCanNode
{
public:
    explicit ZaplCanNode(quint8 address, quint32 replyId = 2);

    ZaplModuleModel &model() { return m_model; }
    quint8 address() const { return m_model.address(); }
    void setReplyId(quint32 id) { m_replyId = id; }
    // Takes requests in and answers nothing, as a module that is switched off.
    void setSilent(bool silent) { m_silent = silent; }
    int requestCount() const { return m_requests; }

    void receive(const SimCanFrame &frame, SimCanBus &bus) override;

private:
    ZaplModuleModel m_model;
    std::atomic<quint32> m_replyId;
    std::atomic<bool> m_silent { false };
    std::atomic<int> m_requests { 0 };
};

// ZAPL modules at the given addresses on one bus, as a simulated adapter carries them; they
// leave the bus with this object.
class ZaplCanModules
{
public:
    ZaplCanModules(SimCanBus &bus, const QList<quint8> &addresses, quint32 replyId);
    ~ZaplCanModules();
    ZaplCanModules(const ZaplCanModules &) = delete;
    ZaplCanModules &operator=(const ZaplCanModules &) = delete;

    // Null when no module has the address.
    ZaplCanNode *node(quint8 address) const;

private:
    SimCanBus &m_bus;
    std::vector<std::unique_ptr<ZaplCanNode>> m_nodes;
};
