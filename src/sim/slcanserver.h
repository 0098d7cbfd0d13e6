#pragma once

#include "canbus.h"
#include "simpty.h"
#include "zaplcannode.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A serial-line CAN adapter behind a pseudo-terminal, with ZAPL modules on its simulated bus.
// Served from a thread of its own. Other node models (a CANopen node) may join bus() at any time.
class SlcanServer
{
public:
    enum class Ack { Cr, Z, None }; // "\r" after every command; "z\r"/"Z\r" after frames; nothing
    struct Options
    {
        Ack ack = Ack::Cr;
        int splitParts = 1; // each line to the host goes out in this many writes ...
        int splitGapMs = 0; // ... with this pause between them
        int delayMs = 0; // before each received frame line
        bool lowerCaseHex = false;
        bool bellOnFrames = false; // answer every transmit line with a bell (adapter error)
    };

    explicit SlcanServer(const QList<quint8> &modules, quint32 replyId = 2);
    ~SlcanServer();
    SlcanServer(const SlcanServer &) = delete;
    SlcanServer &operator=(const SlcanServer &) = delete;

    // Configure modules before start(); the server thread uses them afterwards.
    ZaplCanNode *node(quint8 address);
    SimCanBus &bus() { return m_bus; }

    bool start();
    void stop(); // returns after the server thread has ended
    QString path() const { return m_path; }

    void setOptions(const Options &options);
    Options options() const;
    // Writes raw bytes to the host as they stand (garbage, bells, hand-made lines).
    void inject(const QByteArray &bytes);
    // Ends the line as an unplugged adapter would; returns once it is closed.
    void unplug();

    // Command lines taken in so far, without their carriage return, in order.
    QList<QByteArray> commands() const;
    bool isChannelOpen() const { return m_channelOpen; }
    // The last "Sn" digit taken, -1 before any.
    int bitrateCode() const { return m_bitrateCode; }

    // One frame as a line ("t"/"T"/"r"/"R", identifier, length, data, "\r").
    static QByteArray lineFor(const SimCanFrame &frame, bool lowerCase = false);
    // Strict decode of a transmit command without its carriage return.
    static bool parseLine(const QByteArray &line, SimCanFrame &frame);

private:
    void serve();
    void command(const QByteArray &line);
    void forwardBusFrames();
    void send(const QByteArray &bytes);
    bool pause(int ms); // false when stopping
    void closeLine();

    SimPty m_pty;
    QString m_path;
    SimCanBus m_bus;
    ZaplCanModules m_modules; // after the bus: they leave it before it goes
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_channelOpen { false };
    std::atomic<bool> m_unplugged { false };
    std::atomic<bool> m_lineClosed { false }; // set under m_lock, for m_wake
    std::atomic<int> m_bitrateCode { -1 };
    mutable std::mutex m_lock; // guards m_options and m_commands; m_wake waits on it
    std::mutex m_writeLock; // one line at a time on the pty
    std::condition_variable m_wake;
    Options m_options;
    QList<QByteArray> m_commands;
};
