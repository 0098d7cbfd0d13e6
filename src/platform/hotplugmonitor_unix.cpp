#include "hotplugmonitor_p.h"

#include "chlog_p.h"

#include <QFileInfo>
#include <QSocketNotifier>

#if defined(CH_HAVE_UDEV)
#include <libudev.h>
#endif

struct HotplugMonitor::Private
{
#if defined(CH_HAVE_UDEV)
    udev *context = nullptr;
    udev_monitor *monitor = nullptr;
#endif
    std::unique_ptr<QSocketNotifier> notifier;
};

HotplugMonitor::HotplugMonitor(QObject *parent) : QObject(parent), d(new Private)
{ }

HotplugMonitor::~HotplugMonitor()
{
    stop();
}

bool HotplugMonitor::isActive() const
{
    return d->notifier != nullptr;
}

#if defined(CH_HAVE_UDEV)
namespace {
QString text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}
} // namespace

bool HotplugMonitor::start()
{
    if (isActive())
        return true;
    d->context = udev_new();
    if (!d->context) {
        CH_WARNING << "udev is not available";
        return false;
    }
    // Without a running udev daemon no processed events arrive; the kernel's own events still do.
    const char *source = QFileInfo::exists(QStringLiteral("/run/udev/control")) ? "udev" : "kernel";
    d->monitor = udev_monitor_new_from_netlink(d->context, source);
    if (!d->monitor || udev_monitor_filter_add_match_subsystem_devtype(d->monitor, "tty", nullptr) < 0
        || udev_monitor_filter_add_match_subsystem_devtype(d->monitor, "usb", "usb_device") < 0
        || udev_monitor_enable_receiving(d->monitor) < 0) {
        CH_WARNING << "cannot open a udev monitor on" << source << "events";
        stop();
        return false;
    }
    d->notifier.reset(new QSocketNotifier(udev_monitor_get_fd(d->monitor), QSocketNotifier::Read));
    connect(d->notifier.get(), &QSocketNotifier::activated, this, [this]() {
        // One notification may stand for several queued events; take all that are ready.
        while (udev_device *device = d->monitor ? udev_monitor_receive_device(d->monitor) : nullptr) {
            const QString action = text(udev_device_get_action(device));
            const QString subsystem = text(udev_device_get_subsystem(device));
            const QString type = text(udev_device_get_devtype(device));
            const QString node = text(udev_device_get_devnode(device)).isEmpty()
                ? text(udev_device_get_sysname(device))
                : text(udev_device_get_devnode(device));
            udev_device_unref(device);
            if (qualifies(action, subsystem, type))
                emit deviceEvent(action, subsystem, node);
        }
    });
    CH_DEBUG << "watching" << source << "events of tty and usb devices";
    return true;
}

void HotplugMonitor::stop()
{
    d->notifier.reset();
    if (d->monitor)
        udev_monitor_unref(d->monitor);
    d->monitor = nullptr;
    if (d->context)
        udev_unref(d->context);
    d->context = nullptr;
}
#else
bool HotplugMonitor::start()
{
    CH_WARNING << "built without udev: no hot-plug monitor";
    return false;
}

void HotplugMonitor::stop()
{
    d->notifier.reset();
}
#endif
