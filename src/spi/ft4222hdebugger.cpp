#include "ft4222hcommandhandler.h"

#include "chlog_p.h"
#include "ft4222hcommandhandler_p.h"
#include "ft4222hframe_p.h"
#include "vexadebuggerdataset.h"

#include <QElapsedTimer>

// The module's monitoring unit: its configuration registers, written and read back, and the
// start and stop of live data.

namespace {
constexpr int kConfigResetMs = 5000;

quint32 channelRegister(const VexaDebuggerDataset &set, int n)
{
    return (quint32(set.channelFlag31[n]) << 31) | (quint32(set.channelFlag30[n]) << 30)
        | (quint32(set.channelHigh[n]) << 24) | (quint32(set.channelMidHigh[n]) << 16)
        | (quint32(set.channelMidLow[n]) << 8) | quint32(set.channelLow[n]);
}

quint32 generalRegister(const VexaDebuggerDataset &set)
{
    // Bit 4 is always set.
    return (quint32(set.generalHigh) << 16) | (quint32(set.generalNibble12) << 12) | (quint32(set.generalNibble8) << 8)
        | quint32(set.generalLow | 0x10);
}
} // namespace

bool FT4222HCommandHandler::initializeDebugger(VexaDebuggerDataset *dataset)
{
    const bool ok = initializeVhdlModul(dataset);
    CH_DEBUG << (ok ? "Initialize VHDL Modul --> OK" : "Initialize VHDL Modul --> FAILED");
    return ok;
}

bool FT4222HCommandHandler::writeAndVerify(quint8 reg, quint32 value, const char *label)
{
    for (int round = 0; round < kMaxConfigRounds; ++round) {
        CH_DEBUG << label << ftHex(value);
        if (!sendConfigFrame(FT4222HFrame::WriteConfig, reg, value, true, 1))
            return false;
        if (readConfigRegister(reg, qint32(value)))
            return true;
    }
    CH_DEBUG << "register" << reg << "not verified after" << kMaxConfigRounds << "writes";
    return false;
}

bool FT4222HCommandHandler::initializeVhdlModul(VexaDebuggerDataset *dataset)
{
    CH_DEBUG << "called";
    if (!dataset)
        return false;
    setLiveModeActive(false);
    CH_DEBUG << "a)";
    static const char *const labels[4]
        = { "Channel 0 Register:", "Channel 1 Register:", "Channel 2 Register:", "Channel 3 Register:" };
    static const char *const computed[4] = { "b)", "d)", "f)", "h)" };
    static const char *const verified[4] = { "c)", "e)", "g)", "i)" };
    for (int n = 0; n < 4; ++n) {
        const quint32 value = channelRegister(*dataset, n);
        CH_DEBUG << computed[n];
        if (!writeAndVerify(quint8(n + 1), value, labels[n]))
            return false;
        CH_DEBUG << verified[n];
    }
    const quint32 general = generalRegister(*dataset);
    CH_DEBUG << "j)";
    if (!writeAndVerify(5, general, "General Config Register:"))
        return false;
    CH_DEBUG << "k)";
    if (!writeAndVerify(6, dataset->triggerValue, "TriggerValue:"))
        return false;
    CH_DEBUG << "l)";
    if (!writeAndVerify(7, dataset->singleShotValues, "Singleshot Values Register:"))
        return false;
    CH_DEBUG << "m)";
    return true;
}

bool FT4222HCommandHandler::readConfigRegister(quint8 reg, qint32 expected)
{
    // A reply already here (late, or unasked) would verify a register this read never saw.
    d->replies.clearConfigReply();
    if (!sendConfigFrame(FT4222HFrame::ReadConfig, reg, 0, true, 1)) {
        resetDebugger();
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    std::optional<FT4222HReplies::Reply> r;
    while (!(r = d->replies.takeConfigReply()) && timer.elapsed() < maxTimeoutMs)
        QThread::usleep(25);
    if (!r) {
        CH_DEBUG << "communicationTimeouted!";
        blockAddress(d->currentAddress, kConfigResetMs);
        return false;
    }
    if (r->reg != reg || r->value != expected) {
        CH_DEBUG << "(reg == lastReadedConfigReg) && (regValue == lastReadedConfigValue)!";
        return false;
    }
    return true;
}

bool FT4222HCommandHandler::startDebugger()
{
    reportLiveChange(d->live.start());
    const bool ok = sendConfigFrame(FT4222HFrame::StartDebugger, 0, 0, false, 1);
    CH_DEBUG << (ok ? "Start Debugger --> OK" : "Start Debugger --> FAILED");
    return ok;
}

bool FT4222HCommandHandler::stopDebugger()
{
    CH_DEBUG << "called";
    const bool ok = sendConfigFrame(FT4222HFrame::StopDebugger, 0, 0, false, 1);
    CH_DEBUG << (ok ? "Stop Debugger --> OK" : "Stop Debugger --> FAILED");
    reportLiveChange(d->live.stop());
    return ok;
}

bool FT4222HCommandHandler::resetDebugger()
{
    CH_DEBUG << "called";
    return spiReset();
}

void FT4222HCommandHandler::setLiveModeActive(bool active)
{
    reportLiveChange(d->live.set(active));
}

void FT4222HCommandHandler::reportLiveChange(int change)
{
    if (change == FT4222HLiveMode::NoChange)
        return;
    const bool enabled = change == FT4222HLiveMode::BecameOn;
    CH_LOW << (enabled ? "true" : "false");
    emit liveModeChanged(enabled);
}

bool FT4222HCommandHandler::isLiveModeActive() const
{
    return d->live.isActive();
}
