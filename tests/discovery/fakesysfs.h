#pragma once

#include <QDir>
#include <QFile>
#include <QString>

// Builds a small copy of /sys/bus/usb/devices: one folder per device with its attributes and
// interface folders "<device>:1.0" below it.
class FakeSysfs
{
public:
    explicit FakeSysfs(const QString &root) : m_root(root) { }

    QString device(const QString &name, const QString &vendor, const QString &product, const QString &description)
    {
        const QString path = m_root + QLatin1Char('/') + name;
        QDir().mkpath(path);
        write(path + QStringLiteral("/idVendor"), vendor);
        write(path + QStringLiteral("/idProduct"), product);
        write(path + QStringLiteral("/product"), description);
        write(path + QStringLiteral("/manufacturer"), QStringLiteral("Maker"));
        return path;
    }

    // An interface bound to `driver` that offers a serial port or network interface `child`
    // ("tty/ttyACM0", "ttyUSB0" or "net/can0").
    void interface(const QString &devicePath, const QString &driver, const QString &child)
    {
        const QString iface = devicePath + QLatin1Char('/') + QDir(devicePath).dirName() + QStringLiteral(":1.0");
        QDir().mkpath(iface + QLatin1Char('/') + child);
        QDir().mkpath(m_root + QStringLiteral("/../drivers/") + driver);
        QFile::link(m_root + QStringLiteral("/../drivers/") + driver, iface + QStringLiteral("/driver"));
    }

    static void write(const QString &path, const QString &text)
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8() + '\n');
    }

private:
    QString m_root;
};
