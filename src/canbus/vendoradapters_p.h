#pragma once

#include "canadapter_p.h"
#include "esdlibrary_p.h"
#include "peaklibrary_p.h"
#include "vendorlibrary_p.h"

#include <QString>
#include <memory>

class QObject;
class SLCANInterface;

// The four vendor libraries and SLCAN as adapters. Where the two CAN families were given
// different texts or steps for the same library, the difference is a Profile field; each
// family's handlers pass their own profile.

// Kvaser CANlib: a channel handle, −1 when none. The library is held while a channel is open.
class KvaserAdapter final : public CanAdapter
{
public:
    struct Profile
    {
        bool openFailureBox; // a critical message box when no channel opens
        bool busOnLineShowsHandle; // "canBusOn -> ok" followed by the handle
    };
    explicit KvaserAdapter(const Profile &profile);
    ~KvaserAdapter() override;

    void setChannel(int channel) { m_channel = channel; }
    int channel() const { return m_channel; }

    bool bringUp(int kbitPerSecond, const CanTrace &trace) override;
    bool shutDown(const CanTrace &trace) override;
    bool applyBitRate(int kbitPerSecond, const CanTrace &trace) override;
    bool send(const CanMessage &frame, const CanTrace &trace) override;
    bool take(CanReceived &received) override;
    int runningRate() const override { return m_rate; }

private:
    bool channelOpen() const;
    void closeChannel();

    Profile m_profile;
    VendorLibraryUse m_library;
    int m_handle = -1;
    int m_channel = 0;
    int m_rate = 0;
};

// PEAK PCAN-Basic: a channel chosen by the handler, initialised by bringUp.
class PeakAdapter final : public CanAdapter
{
public:
    struct Profile
    {
        PeakChannel noChannel; // the channel value before the handler chose one
        bool loadSuccessLine; // "DLL load success!" after the library loaded
        bool scansChannels; // a diagnostic look at the USB channels before initialising
        bool logsInitStatusOnFailure; // "InitStatus:" also when the initialisation failed
        bool resetsBusBeforeSend; // reset a bus-light or bus-heavy channel before each write, log the write
    };
    explicit PeakAdapter(const Profile &profile);
    ~PeakAdapter() override;

    void setChannel(PeakChannel channel) { m_channel = channel; }
    PeakChannel channel() const { return m_channel; }
    bool isLoaded() const { return m_library.isLoaded(); }
    PeakStatus busStatus() const;

    bool bringUp(int kbitPerSecond, const CanTrace &trace) override;
    // True when a channel was initialised (and is now released).
    bool shutDown(const CanTrace &trace) override;
    // The library takes the rate only when a channel is initialised: kept for the next bringUp.
    bool applyBitRate(int, const CanTrace &) override { return true; }
    bool send(const CanMessage &frame, const CanTrace &trace) override;
    bool take(CanReceived &received) override;
    int runningRate() const override { return m_rate; }

private:
    Profile m_profile;
    VendorLibraryUse m_library;
    PeakChannel m_channel;
    PeakChannel m_initialisedChannel = 0;
    bool m_initialised = false;
    int m_rate = 0;
};

// esd NTCAN: a handle on a net, 0 when none. The library is held from construction on.
class EsdAdapter final : public CanAdapter
{
public:
    struct Profile
    {
        bool loadLineShowsHandle; // "DLL load success!" with the handle, and written whenever one is open
        qint32 firstReceivedId; // identifiers firstReceivedId..0x7FF are received
    };
    explicit EsdAdapter(const Profile &profile);
    ~EsdAdapter() override;

    bool isAvailable() const { return m_available; }
    void setNet(int net) { m_net = net; }

    bool bringUp(int kbitPerSecond, const CanTrace &trace) override;
    bool shutDown(const CanTrace &trace) override;
    bool applyBitRate(int kbitPerSecond, const CanTrace &trace) override;
    bool send(const CanMessage &frame, const CanTrace &trace) override;
    bool take(CanReceived &received) override;

private:
    void closeHandle();

    Profile m_profile;
    VendorLibraryUse m_library;
    bool m_available = false;
    int m_net = 0;
    EsdHandle m_handle = EsdHandle {};
};

// IXXAT VCI: the process-wide adapter objects of IxxatLibrary.
class IxxatAdapter final : public CanAdapter
{
public:
    struct Profile
    {
        bool reportsOpen; // the lines on loading, initialising and closing
    };
    explicit IxxatAdapter(const Profile &profile);
    ~IxxatAdapter() override;

    bool bringUp(int kbitPerSecond, const CanTrace &trace) override;
    bool shutDown(const CanTrace &trace) override;
    bool applyBitRate(int kbitPerSecond, const CanTrace &trace) override;
    bool send(const CanMessage &frame, const CanTrace &trace) override;
    bool take(CanReceived &received) override;

private:
    Profile m_profile;
    VendorLibraryUse m_library;
};

// A serial-line CAN adapter through SLCANInterface, a child of the owning handler so that it
// follows the handler into another thread.
class SlcanAdapter final : public CanAdapter
{
public:
    SlcanAdapter();
    ~SlcanAdapter() override;
    // Called from the owner's constructor body, once the owner is a complete QObject.
    void attachTo(QObject *owner);

    void setPortName(const QString &name) { m_portName = name; }
    QString portName() const { return m_portName; }
    void setAckNakUsage(bool use) { m_useAckNak = use; }
    SLCANInterface &interface() { return *m_slcan; }

    bool bringUp(int kbitPerSecond, const CanTrace &trace) override;
    bool shutDown(const CanTrace &trace) override;
    bool applyBitRate(int kbitPerSecond, const CanTrace &trace) override;
    bool send(const CanMessage &frame, const CanTrace &trace) override;
    bool take(CanReceived &received) override;
    int runningRate() const override { return m_rate; }
    bool needsEventLoop() const override { return true; }

private:
    std::unique_ptr<SLCANInterface> m_slcan;
    QString m_portName;
    bool m_useAckNak = false;
    int m_rate = 0;
};
