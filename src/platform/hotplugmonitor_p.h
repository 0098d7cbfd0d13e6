#pragma once

#include <QObject>
#include <QString>
#include <memory>

// Watches serial and USB devices come and go where the system offers no device-change message
// (udev on Linux). Idle until started; Windows hosts forward WM_DEVICECHANGE instead.
class HotplugMonitor : public QObject
{
    Q_OBJECT
public:
    explicit HotplugMonitor(QObject *parent = nullptr);
    ~HotplugMonitor() override;

    // False when no monitor can be opened here (no udev support built in, no netlink socket).
    bool start();
    void stop();
    bool isActive() const;

    // Only events that change the port lists: a serial node or a whole USB device added or removed.
    static bool qualifies(const QString &action, const QString &subsystem, const QString &deviceType);

signals:
    void deviceEvent(const QString &action, const QString &subsystem, const QString &node);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
