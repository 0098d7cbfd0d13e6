#include "qtcanadapter_p.h"

#include "chlog_p.h"
#include "socketcaninfo_p.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

using ch::platform::SocketCanLink;

namespace {
bool isSocketCan(const QString &plugin)
{
    return plugin == QLatin1String("socketcan");
}

qint64 monotonicMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

// Keeps a count of the device's signals being handled: the device must outlive them.
class InSignal
{
public:
    explicit InSignal(int &depth) : m_depth(depth) { ++m_depth; }
    ~InSignal() { --m_depth; }
    InSignal(const InSignal &) = delete;
    InSignal &operator=(const InSignal &) = delete;

private:
    int &m_depth;
};
} // namespace

QtCanAdapter::QtCanAdapter() = default;

QtCanAdapter::~QtCanAdapter()
{
    releaseDevice();
}

bool QtCanAdapter::takeOpenArgument(const QVariant &device, int &kbitPerSecond, QString &error)
{
    const bool isList = device.canConvert<QVariantList>() && device.userType() != QMetaType::QString;
    const QVariantList items = isList ? device.toList() : QVariantList { device };
    bool ok = false;
    kbitPerSecond = items.value(0).toInt(&ok);
    if (items.isEmpty() || items.size() > 3 || !ok) {
        error = QStringLiteral("the device is the bit rate in kbit/s, or [kbit/s, interface] or "
                               "[kbit/s, interface, plugin]; not %1")
                    .arg(isList ? QStringLiteral("a list of %1 items").arg(items.size())
                                : QLatin1Char('\'') + device.toString() + QLatin1Char('\''));
        m_lastError = error;
        return false;
    }
    if (items.size() >= 2)
        m_interface = items.at(1).toString();
    if (items.size() >= 2) {
        const QString plugin = items.value(2).toString();
        m_plugin = plugin.isEmpty() ? QString::fromLatin1(kDefaultPlugin) : plugin;
    }
    return true;
}

QString QtCanAdapter::name() const
{
    return m_plugin + QLatin1Char(' ') + m_interface;
}

bool QtCanAdapter::fail(const QString &why, const CanTrace &trace)
{
    m_lastError = why;
    trace.line() << why;
    releaseDevice();
    return false;
}

bool QtCanAdapter::bringUp(int kbitPerSecond, const CanTrace &trace)
{
    releaseDevice();
    m_queue.clear();
    m_rate = 0;
    m_rateNote.clear();
    m_configError.clear();
    m_lastError.clear();
    m_gone = false;
    QCanBus *bus = QCanBus::instance();
    const QStringList plugins = bus->plugins();
    if (!plugins.contains(m_plugin)) {
        return fail(QStringLiteral("no Qt SerialBus plugin '%1' (installed: %2)")
                        .arg(m_plugin, plugins.join(QLatin1String(", "))),
            trace);
    }
    if (m_interface.isEmpty())
        return fail(QStringLiteral("%1: no interface named").arg(m_plugin), trace);
    if (kbitPerSecond <= 0)
        return fail(QStringLiteral("%1: %2 kbit/s is no bit rate").arg(name()).arg(kbitPerSecond), trace);

    if (isSocketCan(m_plugin)) {
        const SocketCanLink link = ch::platform::querySocketCanLink(m_interface);
        if (link.result == SocketCanLink::NoSuchInterface)
            return fail(QStringLiteral("%1: no such network interface").arg(name()), trace);
        if (link.result == SocketCanLink::Found && !link.isCan)
            return fail(QStringLiteral("%1: not a CAN interface").arg(name()), trace);
    }

    QString error;
    QCanBusDevice *device = bus->createDevice(m_plugin, m_interface, &error);
    if (!device)
        return fail(QStringLiteral("%1: %2").arg(name(), error), trace);
    // Some plugins refuse an interface name only through the device's error, and would still
    // "connect" it.
    if (device->error() != QCanBusDevice::NoError) {
        error = device->errorString();
        delete device;
        return fail(QStringLiteral("%1: %2").arg(name(), error), trace);
    }
    device->setParent(m_owner);
    m_device = device;
    QObject::connect(device, &QCanBusDevice::framesReceived, device, [this] { drain(); });
    QObject::connect(
        device, &QCanBusDevice::errorOccurred, device, [this](QCanBusDevice::CanBusError e) { onError(int(e)); });
    QObject::connect(
        device, &QCanBusDevice::stateChanged, device, [this](QCanBusDevice::CanBusDeviceState s) { onState(int(s)); });

    // The plugin takes the rate before it connects; the owner stores it on the way. Even where
    // the rate cannot apply it is set: the plugin would otherwise try a default rate of its own.
    applyOwnerRate(kbitPerSecond, trace);
    if (!m_device)
        return fail(QStringLiteral("%1: the device went away while opening").arg(name()), trace);
    if (!device->connectDevice())
        return fail(QStringLiteral("%1: cannot connect: %2").arg(name(), device->errorString()), trace);
    if (!waitConnected()) {
        const QString why = m_device && !m_device->errorString().isEmpty()
            ? m_device->errorString()
            : QStringLiteral("not connected within %1 ms").arg(kConnectTimeoutMs);
        return fail(QStringLiteral("%1: cannot connect: %2").arg(name(), why), trace);
    }
    m_connected = true;
    readBackRate(kbitPerSecond, trace);
    // Without a known rate the note above has already said why; "0 kbit/s" would mislead.
    if (trace.debugEnabled() && m_rate > 0)
        trace.line() << name() << "connected, running at" << m_rate << "kbit/s";
    else if (trace.debugEnabled())
        trace.line() << name() << "connected";
    return true;
}

bool QtCanAdapter::waitConnected()
{
    if (!m_device)
        return false;
    if (m_device->state() == QCanBusDevice::ConnectedState)
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(m_device.data(), &QCanBusDevice::stateChanged, &loop, [&loop](QCanBusDevice::CanBusDeviceState s) {
        if (s == QCanBusDevice::ConnectedState || s == QCanBusDevice::UnconnectedState)
            loop.quit();
    });
    QObject::connect(m_device.data(), &QCanBusDevice::errorOccurred, &loop, [&loop](QCanBusDevice::CanBusError e) {
        if (e == QCanBusDevice::ConnectionError)
            loop.quit();
    });
    timer.start(kConnectTimeoutMs);
    // The device may connect between the check above and here only through the loop.
    if (m_device->state() != QCanBusDevice::ConnectedState)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return m_device && m_device->state() == QCanBusDevice::ConnectedState;
}

void QtCanAdapter::setRateKey(int kbitPerSecond)
{
    m_configError.clear();
    m_device->setConfigurationParameter(QCanBusDevice::BitRateKey, QVariant(kbitPerSecond * 1000));
    if (m_configError.isEmpty() && m_device->error() == QCanBusDevice::ConfigurationError)
        m_configError = m_device->errorString();
}

// Finds out at which rate the channel runs, and says so in one line when it is not the one
// asked for or cannot be told.
void QtCanAdapter::readBackRate(int kbitPerSecond, const CanTrace &trace)
{
    m_rateNote.clear();
    m_rate = 0;
    const QString refused = m_configError.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m_configError);
    if (isSocketCan(m_plugin)) {
        const SocketCanLink link = ch::platform::querySocketCanLink(m_interface);
        if (link.result == SocketCanLink::Found && link.isVirtual()) {
            m_rateNote = QStringLiteral("%1: a virtual interface has no bit rate; %2 kbit/s does not apply")
                             .arg(name())
                             .arg(kbitPerSecond);
        } else if (link.result == SocketCanLink::Found && link.bitRate > 0) {
            m_rate = int(link.bitRate / 1000);
            if (m_rate != kbitPerSecond)
                m_rateNote
                    = QStringLiteral("%1: runs at %2 kbit/s as the system configured it; %3 kbit/s not applied%4")
                          .arg(name())
                          .arg(m_rate)
                          .arg(kbitPerSecond)
                          .arg(refused);
        } else {
            const QString why
                = link.result == SocketCanLink::Found ? QStringLiteral("the interface reports none") : link.error;
            m_rateNote = QStringLiteral("%1: cannot tell the bit rate (%2); %3 kbit/s may not apply")
                             .arg(name(), why)
                             .arg(kbitPerSecond);
        }
    } else {
        const QVariant taken = m_device->configurationParameter(QCanBusDevice::BitRateKey);
        if (!m_configError.isEmpty()) {
            m_rateNote = QStringLiteral("%1: the plugin refuses %2 kbit/s%3; the interface keeps its own rate")
                             .arg(name())
                             .arg(kbitPerSecond)
                             .arg(refused);
        } else if (!taken.isValid()) {
            m_rateNote = QStringLiteral("%1: the plugin takes no bit rate; %2 kbit/s does not apply")
                             .arg(name())
                             .arg(kbitPerSecond);
        } else {
            m_rate = taken.toInt() / 1000;
        }
    }
    if (!m_rateNote.isEmpty())
        trace.line() << m_rateNote;
}

bool QtCanAdapter::shutDown(const CanTrace &trace)
{
    if (m_device && trace.debugEnabled())
        trace.line() << name() << "disconnecting";
    releaseDevice();
    m_queue.clear();
    return true;
}

void QtCanAdapter::releaseDevice()
{
    QCanBusDevice *device = m_device.data();
    m_device.clear();
    m_connected = false;
    if (!device)
        return;
    QObject::disconnect(device, nullptr, device, nullptr); // our handlers, which have the device as context
    if (device->state() == QCanBusDevice::ConnectedState || device->state() == QCanBusDevice::ConnectingState)
        device->disconnectDevice();
    if (m_inSignal > 0)
        device->deleteLater(); // one of its signals is being handled further up this stack
    else
        delete device;
}

bool QtCanAdapter::applyBitRate(int kbitPerSecond, const CanTrace &trace)
{
    if (kbitPerSecond <= 0) {
        trace.line() << QStringLiteral("%1: %2 kbit/s is no bit rate").arg(name()).arg(kbitPerSecond);
        return false;
    }
    if (!m_device)
        return true; // taken by the next bringUp
    setRateKey(kbitPerSecond);
    if (!m_connected)
        return m_configError.isEmpty(); // bringUp reads the rate back once connected
    readBackRate(kbitPerSecond, trace);
    return m_rateNote.isEmpty();
}

bool QtCanAdapter::send(const CanMessage &frame, const CanTrace &trace)
{
    if (!m_device || !m_connected)
        return false;
    const int length = qBound(0, frame.length, 8);
    QCanBusFrame out(frame.id,
        frame.remote ? QByteArray(length, '\0') : QByteArray(reinterpret_cast<const char *>(frame.data), length));
    out.setExtendedFrameFormat(frame.extended);
    if (frame.remote)
        out.setFrameType(QCanBusFrame::RemoteRequestFrame);
    const bool written = m_device->writeFrame(out);
    if (!written && trace.debugEnabled())
        trace.line() << name() << "frame not written:" << m_device->errorString();
    return written;
}

bool QtCanAdapter::take(CanReceived &received)
{
    if (m_queue.empty()) {
        if (m_dropped > 0)
            reportDropped();
        return false;
    }
    received = m_queue.front();
    m_queue.pop_front();
    return true;
}

void QtCanAdapter::drain()
{
    InSignal guard(m_inSignal);
    // The device's own queue has no bound; everything moves into ours at once.
    while (m_device && m_device->framesAvailable() > 0)
        queueFrame(m_device->readFrame());
    // One line when the flood is over (the queue ran empty), or each second while it lasts.
    if (m_dropped > 0 && monotonicMs() - m_firstDropAt >= 1000)
        reportDropped();
}

void QtCanAdapter::queueFrame(const QCanBusFrame &frame)
{
    switch (frame.frameType()) {
    case QCanBusFrame::ErrorFrame: {
        if (frame.error() & QCanBusFrame::BusOffError) {
            notify(CanAdapterNotice::BusOff, QStringLiteral("%1: bus off").arg(name()));
            return;
        }
        QString what = m_device ? m_device->interpretErrorFrame(frame) : QString();
        if (what.isEmpty())
            what = QStringLiteral("error flags 0x%1").arg(quint32(frame.error()), 0, 16);
        notify(CanAdapterNotice::ErrorFrame, QStringLiteral("%1: error frame: %2").arg(name(), what));
        return;
    }
    case QCanBusFrame::DataFrame:
    case QCanBusFrame::RemoteRequestFrame:
        break;
    default:
        countDropped(); // nothing a CAN frame could be made of
        return;
    }
    CanReceived received;
    received.frame.id = frame.frameId();
    received.frame.extended = frame.hasExtendedFrameFormat();
    received.frame.remote = frame.frameType() == QCanBusFrame::RemoteRequestFrame;
    const QByteArray payload = frame.payload();
    received.rawLength = int(payload.size());
    if (received.frame.remote)
        received.frame.length = qMin(received.rawLength, 8); // the length code alone, no data
    else
        received.frame.setData(payload.constData(), int(payload.size()));
    if (m_queue.size() >= size_t(kQueueLimit)) {
        m_queue.pop_front();
        countDropped();
    }
    m_queue.push_back(received);
}

void QtCanAdapter::countDropped()
{
    if (m_dropped++ == 0)
        m_firstDropAt = monotonicMs();
}

void QtCanAdapter::reportDropped()
{
    CH_WARNING << QStringLiteral("%1: %2 received frames dropped (more than %3 waiting, or not CAN frames)")
                      .arg(name())
                      .arg(m_dropped)
                      .arg(kQueueLimit);
    m_dropped = 0;
}

void QtCanAdapter::onError(int error)
{
    InSignal guard(m_inSignal);
    if (!m_device)
        return;
    if (error == QCanBusDevice::ConfigurationError)
        m_configError = m_device->errorString();
    else if ((error == QCanBusDevice::ConnectionError || error == QCanBusDevice::ReadError) && m_connected)
        reportGone(m_device->errorString());
    else if (error == QCanBusDevice::WriteError && m_connected && isSocketCan(m_plugin))
        checkInterfaceAfterWriteError();
}

void QtCanAdapter::checkInterfaceAfterWriteError()
{
    // A SocketCAN interface that is taken down or removed shows only as a failed write (a full
    // transmit queue does too): the kernel tells which.
    const SocketCanLink link = ch::platform::querySocketCanLink(m_interface);
    if (link.result == SocketCanLink::NoSuchInterface)
        reportGone(QStringLiteral("the interface is gone"));
    else if (link.result == SocketCanLink::Found && !link.up)
        reportGone(QStringLiteral("the interface is down"));
}

void QtCanAdapter::onState(int state)
{
    InSignal guard(m_inSignal);
    if (state != QCanBusDevice::UnconnectedState || !m_connected || !m_device)
        return;
    const QString why = m_device->errorString();
    reportGone(!why.isEmpty()                         ? why
            : m_plugin == QLatin1String("virtualcan") ? QStringLiteral("the bus server went away")
                                                      : QStringLiteral("the device disconnected"));
}

void QtCanAdapter::reportGone(const QString &why)
{
    if (m_gone)
        return;
    m_gone = true;
    m_connected = false; // frames already taken in stay takeable; nothing more is sent
    notify(CanAdapterNotice::DeviceGone, QStringLiteral("%1: %2").arg(name(), why), m_interface);
}
