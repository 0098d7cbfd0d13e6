#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Builds a small copy of /sys/bus/usb/devices in a temporary folder: one folder per device with
// its attributes and interface folders "<device>:1.0" below it.
class FakeSysfs
{
public:
    FakeSysfs() : m_root(m_dir.path() + QStringLiteral("/devices")) { QDir().mkpath(m_root); }

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_root; }
    QString base() const { return m_dir.path(); }

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

    // A Kvaser adapter with a SocketCAN interface (1-1) and a serial converter (1-2).
    void kvaserAndConverter()
    {
        interface(
            device(QStringLiteral("1-1"), QStringLiteral("0bfd"), QStringLiteral("0004"), QStringLiteral("Leaf Light")),
            QStringLiteral("kvaser_usb"), QStringLiteral("net/can0"));
        interface(
            device(QStringLiteral("1-2"), QStringLiteral("0403"), QStringLiteral("6001"), QStringLiteral("FT232R")),
            QStringLiteral("ftdi_sio"), QStringLiteral("ttyUSB0"));
    }

    static void write(const QString &path, const QString &text)
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8() + '\n');
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
};
