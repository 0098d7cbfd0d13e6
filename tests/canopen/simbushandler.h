#pragma once

#include "canbus.h"
#include "canopenservicehandler.h"

#include <QList>
#include <QTimer>

// A CANopen master on an in-process simulated bus, polled like a host would.
class SimBusHandler : public CANopenServiceHandler
{
    Q_OBJECT
public:
    explicit SimBusHandler(SimCanBus &bus, int syncLength = 1)
        : CANopenServiceHandler({ nullptr, 0, syncLength, false, true }, nullptr, nullptr), m_bus(bus)
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

public slots:
    void checkForCanMessage() override { takeAndReport(); }

protected:
    bool sendFrame(const CanMessage &frame) override
    {
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

inline QByteArray bytesOf(const CanMessage &m)
{
    return QByteArray(reinterpret_cast<const char *>(m.data), m.length);
}
