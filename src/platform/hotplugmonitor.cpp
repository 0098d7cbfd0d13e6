#include "hotplugmonitor_p.h"

bool HotplugMonitor::qualifies(const QString &action, const QString &subsystem, const QString &deviceType)
{
    if (action != QLatin1String("add") && action != QLatin1String("remove"))
        return false;
    if (subsystem == QLatin1String("tty"))
        return true;
    return subsystem == QLatin1String("usb") && deviceType == QLatin1String("usb_device");
}
