#pragma once

#include <QByteArray>
#include <QString>

// The controlling side of a pseudo-terminal in raw mode. The other side (path()) is what a
// host opens as a serial port.
class SimPty
{
public:
    SimPty();
    ~SimPty();
    SimPty(const SimPty &) = delete;
    SimPty &operator=(const SimPty &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString path() const { return m_path; }
    int fd() const { return m_master; }

    // Waits up to timeoutMs for bytes; returns what arrived (empty on time-out or hang-up).
    QByteArray read(int timeoutMs);
    // Writes everything; false when the other side is gone.
    bool write(const QByteArray &bytes);
    // Ends the line as an unplugged device would: the host's reads and writes start failing.
    void close();

private:
    int m_master = -1;
    int m_slave = -1; // held so the line survives while no host has it open
    QString m_path;
};
