#include "qtcanserver.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QEventLoop>
#include <cstring>

namespace {
constexpr int kConnectTimeoutMs = 3000;
constexpr int kPollMs = 2;
} // namespace

QtCanServer::QtCanServer(const QList<quint8> &modules, quint32 replyId, QObject *parent)
    : QObject(parent), m_modules(m_bus, modules, replyId)
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &QtCanServer::forwardReplies);
}

QtCanServer::~QtCanServer()
{
    stop();
}

ZaplCanNode *QtCanServer::node(quint8 address)
{
    return m_modules.node(address);
}

bool QtCanServer::start(const QString &plugin, const QString &interfaceName, QString *error)
{
    stop();
    QString why;
    QCanBusDevice *device = QCanBus::instance()->createDevice(plugin, interfaceName, &why);
    if (!device || device->error() != QCanBusDevice::NoError) {
        *error = device ? device->errorString() : why;
        delete device;
        return false;
    }
    device->setParent(this);
    m_device = device;
    if (!device->connectDevice()) {
        *error = device->errorString();
        stop();
        return false;
    }
    if (device->state() != QCanBusDevice::ConnectedState) {
        QEventLoop loop;
        QTimer::singleShot(kConnectTimeoutMs, &loop, &QEventLoop::quit);
        connect(device, &QCanBusDevice::stateChanged, &loop, [&loop](QCanBusDevice::CanBusDeviceState s) {
            if (s == QCanBusDevice::ConnectedState || s == QCanBusDevice::UnconnectedState)
                loop.quit();
        });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (device->state() != QCanBusDevice::ConnectedState) {
        *error = device->errorString().isEmpty() ? QStringLiteral("not connected within %1 ms").arg(kConnectTimeoutMs)
                                                 : device->errorString();
        stop();
        return false;
    }
    connect(device, &QCanBusDevice::framesReceived, this, &QtCanServer::takeFrames);
    connect(device, &QCanBusDevice::stateChanged, this, [this](QCanBusDevice::CanBusDeviceState s) {
        if (s == QCanBusDevice::UnconnectedState && m_device)
            emit lost(m_device->errorString().isEmpty() ? QStringLiteral("disconnected") : m_device->errorString());
    });
    m_bus.clear();
    m_poll.start();
    return true;
}

void QtCanServer::stop()
{
    m_poll.stop();
    QCanBusDevice *device = m_device.data();
    m_device.clear();
    if (!device)
        return;
    disconnect(device, nullptr, this, nullptr);
    if (device->state() == QCanBusDevice::ConnectedState)
        device->disconnectDevice();
    delete device;
}

bool QtCanServer::isRunning() const
{
    return m_device && m_device->state() == QCanBusDevice::ConnectedState;
}

bool QtCanServer::send(const SimCanFrame &frame)
{
    if (!isRunning())
        return false;
    const int length = qMin<int>(frame.length, 8);
    QCanBusFrame out(frame.id,
        frame.remote ? QByteArray(length, '\0') : QByteArray(reinterpret_cast<const char *>(frame.data), length));
    out.setExtendedFrameFormat(frame.extended);
    if (frame.remote)
        out.setFrameType(QCanBusFrame::RemoteRequestFrame);
    return m_device->writeFrame(out);
}

void QtCanServer::takeFrames()
{
    while (m_device && m_device->framesAvailable() > 0) {
        const QCanBusFrame in = m_device->readFrame();
        if (in.frameType() != QCanBusFrame::DataFrame && in.frameType() != QCanBusFrame::RemoteRequestFrame)
            continue;
        SimCanFrame frame;
        frame.id = in.frameId();
        frame.extended = in.hasExtendedFrameFormat();
        frame.remote = in.frameType() == QCanBusFrame::RemoteRequestFrame;
        const QByteArray payload = in.payload();
        frame.length = quint8(qMin<int>(int(payload.size()), 8));
        if (!frame.remote)
            std::memcpy(frame.data, payload.constData(), frame.length);
        ++m_in;
        m_bus.transmit(frame);
        forwardReplies();
    }
}

void QtCanServer::forwardReplies()
{
    SimCanFrame frame;
    while (m_bus.take(frame, 0)) {
        if (send(frame))
            ++m_out;
    }
}
