#include "zaplcannode.h"

#include <cstring>

ZaplCanNode::ZaplCanNode(quint8 address, quint32 replyId) : m_model(address), m_replyId(replyId)
{ }

void ZaplCanNode::receive(const SimCanFrame &frame, SimCanBus &bus)
{
    if (frame.extended || frame.remote || frame.id != m_model.address() || frame.length < 7)
        return;
    ++m_requests;
    if (m_silent)
        return;
    const QByteArray reply
        = m_model.handleCan(QByteArray(reinterpret_cast<const char *>(frame.data), qMin<int>(frame.length, 8)));
    if (reply.isEmpty())
        return;
    SimCanFrame out;
    out.id = m_replyId;
    out.length = 8;
    std::memcpy(out.data, reply.constData(), static_cast<size_t>(qMin(reply.size(), 8)));
    bus.reply(out, this);
}

ZaplCanModules::ZaplCanModules(SimCanBus &bus, const QList<quint8> &addresses, quint32 replyId) : m_bus(bus)
{
    for (quint8 a : addresses) {
        m_nodes.push_back(std::make_unique<ZaplCanNode>(a, replyId));
        m_bus.attach(m_nodes.back().get());
    }
}

ZaplCanModules::~ZaplCanModules()
{
    for (const auto &n : m_nodes)
        m_bus.detach(n.get());
}

ZaplCanNode *ZaplCanModules::node(quint8 address) const
{
    for (const auto &n : m_nodes)
        if (n->address() == address)
            return n.get();
    return nullptr;
}
