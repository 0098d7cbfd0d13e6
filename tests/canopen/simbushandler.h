#pragma once

#include "canbus.h"
#include "canopenservicehandler.h"

#include <QList>
#include <QTimer>

// A CANopen master on an in-process simulated bus, with the data of any adapter kind, and a
// host-like poller that keeps calling checkForCanMessage().
class SimBusHandler : public CANopenServiceHandler
{
    Q_OBJECT
public:
    enum Kind { SlCan, Peak, Kvaser, Ixxat, Esd };
    static AdapterTraits traitsOf(Kind kind)
    {
        switch (kind) {
        case SlCan:
        case Peak:
            return { 1, false, true };
        case Kvaser:
            return { 0, false, true };
        case Ixxat:
            return { 0, false, false };
        case Esd:
            return { 0, true, true };
        }
        return { 0, false, true };
    }

    explicit SimBusHandler(SimCanBus &bus, Kind kind = SlCan)
        : CANopenServiceHandler(traitsOf(kind), nullptr), m_bus(bus)
    {
        connect(&m_poll, &QTimer::timeout, this, &SimBusHandler::checkForCanMessage);
        m_poll.start(1);
    }

    void setDataRate(int kbit) override { dataRate = kbit; }
    bool openDevice(QVariant) override { return deviceOpen = true; }
    bool closeDevice() override
    {
        deviceOpen = false;
        return true;
    }
    void stopPolling() { m_poll.stop(); }

    QList<CanMessage> sent; // every frame handed to the adapter, accepted or not
    int refuseFrom = -1; // refuse this send (0-based) and all after it
    QList<QString> events; // "report" / "send" in the order they happen

public slots:
    void checkForCanMessage() override { takeAndReport(); }

protected:
    bool sendFrame(const CanMessage &frame) override
    {
        events << QStringLiteral("send");
        sent << frame;
        if (refuseFrom >= 0 && sent.size() > refuseFrom)
            return false;
        SimCanFrame f;
        f.id = frame.id;
        f.length = quint8(frame.length);
        std::copy(frame.data, frame.data + 8, f.data);
        m_bus.transmit(f);
        return true;
    }
    bool takeFrame(CanMessage &frame) override
    {
        SimCanFrame f;
        if (!m_bus.take(f, 0))
            return false;
        frame = CanMessage();
        frame.id = f.id;
        frame.setData(f.data, f.length);
        return true;
    }

private:
    SimCanBus &m_bus;
    QTimer m_poll;
};

// Scripted peer: answers each frame the master sends with the next queued frames.
class ScriptedNode : public SimCanNode
{
public:
    QList<QList<SimCanFrame>> answers;
    QList<SimCanFrame> heard;
    void receive(const SimCanFrame &frame, SimCanBus &bus) override
    {
        heard << frame;
        if (answers.isEmpty())
            return;
        for (const SimCanFrame &f : answers.takeFirst())
            bus.reply(f, this);
    }
    static SimCanFrame make(quint32 id, std::initializer_list<int> bytes)
    {
        SimCanFrame f;
        f.id = id;
        for (int b : bytes)
            f.data[f.length++] = quint8(b);
        return f;
    }
};
