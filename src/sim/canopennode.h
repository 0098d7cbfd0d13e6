#pragma once

#include "canbus.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

// The LSS address of a node (object 0x1018).
struct CanOpenIdentity
{
    quint32 vendor = 0x000005A1;
    quint32 product = 0x00001161;
    quint32 revision = 0x00020007;
    quint32 serial = 0x00C0FFEE;
};

// A simulated CANopen slave: object dictionary, SDO server (expedited and segmented, both
// directions), NMT states with boot-up and heartbeat, TPDO1 on SYNC, and an LSS responder.
// Thread-safe: frames may arrive on any thread; the heartbeat runs on a thread of its own.
class CanOpenNode : public SimCanNode
{
public:
    enum class NmtState : quint8 { Initialising = 0x00, Stopped = 0x04, Operational = 0x05, PreOperational = 0x7F };
    // Ways to misbehave for tests of the master.
    enum class Fault { None, Silent, WrongToggle, WrongSize, Abort };
    using Identity = CanOpenIdentity;

    explicit CanOpenNode(quint8 nodeId, const Identity &identity = Identity());
    ~CanOpenNode() override;

    // Joins the bus: boot-up frame, then heartbeats while object 0x1017 is not 0.
    void attachTo(SimCanBus &bus);
    void detach();

    void receive(const SimCanFrame &frame, SimCanBus &bus) override;

    // Adds or replaces an entry; `fixedSize` 0 accepts any length up to 1 MiB.
    void setEntry(quint16 index, quint8 subIndex, const QByteArray &value, bool writable, int fixedSize);
    QByteArray entry(quint16 index, quint8 subIndex) const;
    void setFault(Fault fault, quint32 abortCode = 0x08000000);
    void sendEmergency(quint16 errorCode, quint8 errorRegister);

    quint8 nodeId() const;
    NmtState state() const;
    bool inLssConfiguration() const;

    static constexpr quint32 kAbortToggle = 0x05030000;
    static constexpr quint32 kAbortCommand = 0x05040001;
    static constexpr quint32 kAbortReadOnly = 0x06010002;
    static constexpr quint32 kAbortNoObject = 0x06020000;
    static constexpr quint32 kAbortLength = 0x06070010;
    static constexpr quint32 kAbortNoSubIndex = 0x06090011;

private:
    struct Entry
    {
        QByteArray value;
        bool writable = false;
        int fixedSize = 0;
    };
    struct Transfer
    {
        enum Kind { None, Download, Upload } kind = None;
        quint16 index = 0;
        quint8 subIndex = 0;
        quint8 toggle = 0;
        QByteArray bytes;
        int offset = 0;
    };
    using Key = quint32;
    static Key key(quint16 index, quint8 subIndex) { return (quint32(index) << 8) | subIndex; }

    void loadDefaults();
    void bootUp(SimCanBus &bus);
    void send(SimCanBus &bus, quint32 id, const quint8 *bytes, int length);
    void handleNmt(const SimCanFrame &frame, SimCanBus &bus);
    void handleSdo(const SimCanFrame &frame, SimCanBus &bus);
    void handleLss(const SimCanFrame &frame, SimCanBus &bus);
    void sdoAbort(SimCanBus &bus, quint16 index, quint8 subIndex, quint32 code);
    void sdoReply(SimCanBus &bus, quint8 command, quint16 index, quint8 subIndex, quint32 payload);
    // 0 when the value may be stored, otherwise the abort code.
    quint32 checkWrite(quint16 index, quint8 subIndex, int length) const;
    void uploadSegment(SimCanBus &bus, quint8 requestToggle);
    void lssReply(SimCanBus &bus, std::initializer_list<quint8> bytes);
    quint32 identityPart(int part) const;
    void heartbeatLoop();

    mutable std::mutex m_lock;
    std::map<Key, Entry> m_od;
    quint8 m_nodeId;
    quint8 m_pendingNodeId;
    Identity m_identity;
    NmtState m_state = NmtState::Initialising;
    Fault m_fault = Fault::None;
    quint32 m_faultCode = 0;
    Transfer m_transfer;
    bool m_lssConfiguration = false;
    int m_lssSelectMatches = 0;
    int m_fastscanPosition = 0;

    SimCanBus *m_bus = nullptr;
    std::thread m_heartbeat;
    std::condition_variable m_wake;
    bool m_stop = false;
};
