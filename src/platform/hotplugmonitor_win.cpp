#include "hotplugmonitor_p.h"

struct HotplugMonitor::Private
{
};

HotplugMonitor::HotplugMonitor(QObject *parent) : QObject(parent)
{ }

HotplugMonitor::~HotplugMonitor() = default;

bool HotplugMonitor::start()
{
    return false;
}

void HotplugMonitor::stop()
{ }

bool HotplugMonitor::isActive() const
{
    return false;
}
