#pragma once

#include "simpty.h"
#include "zaplmodule.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// ZAPL modules sharing one serial line behind a pseudo-terminal, served from a thread of its
// own. Only the addressed module answers, as on a bus. Faults can be switched at any time.
class SerialServer
{
public:
    struct Faults
    {
        int latencyMs = 0; // before each reply
        bool silent = false; // requests are taken in, nothing is answered
        bool corruptChecksum = false; // the reply's last byte is off by one
        QByteArray strayBytes; // written just before each reply, in the same write
        int splitParts = 1; // the reply goes out in this many writes ...
        int splitGapMs = 0; // ... with this pause between them
        bool holdRest = false; // ... or with the rest held back until releaseRest()
        bool closeOnRequest = false; // the next request ends the line unanswered (unplugged)
    };

    explicit SerialServer(const QList<quint8> &addresses, quint8 hostAddress = 2);
    ~SerialServer();
    SerialServer(const SerialServer &) = delete;
    SerialServer &operator=(const SerialServer &) = delete;

    // Configure modules before start(); the server thread owns them afterwards.
    ZaplModuleModel *module(quint8 address);

    bool start();
    void stop(); // returns after the server thread has ended
    QString path() const { return m_path; }
    bool isLineClosed() const { return m_lineClosed.load(); }
    // Ends the line as an unplugged device would, within a poll period of the server thread
    // (at once when it does not run).
    void unplug();

    void setFaults(const Faults &faults);
    Faults faults() const;

    // Complete 9-byte requests taken in so far, in order.
    QList<QByteArray> requests() const;
    int requestCount() const;
    // Lets a reply held back by holdRest go on.
    void releaseRest();

private:
    void serve();
    void answer(const QByteArray &request);
    bool pause(int ms); // false when stopping
    bool holdUntilReleased(); // false when stopping

    SimPty m_pty;
    QString m_path;
    quint8 m_hostAddress;
    std::vector<std::unique_ptr<ZaplModuleModel>> m_modules;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_lineClosed { false };
    std::atomic<bool> m_unplug { false };
    bool m_releaseRest = false; // guarded by m_lock
    mutable std::mutex m_lock; // guards m_faults and m_requests; m_wake waits on it
    std::condition_variable m_wake;
    Faults m_faults;
    QList<QByteArray> m_requests;
};
