#pragma once

#include <QtGlobal>

/// Set-up of the module's monitoring unit as the host keeps it, passed to
/// FT4222HCommandHandler::initializeDebugger(). Only these members are read; a host's own record
/// may carry more around them. Channel n (0 to 3) makes configuration register n + 1.
struct VexaDebuggerDataset
{
    quint8 channelLow[4] = {}; ///< channel register bits 0-7
    quint8 channelHigh[4] = {}; ///< from bit 24
    quint8 channelFlag31[4] = {}; ///< 0 or 1: bit 31
    quint8 channelFlag30[4] = {}; ///< 0 or 1: bit 30
    quint8 channelMidHigh[4] = {}; ///< bits 16-23
    quint8 channelMidLow[4] = {}; ///< bits 8-15
    quint8 generalLow = 0; ///< general configuration (register 5) bits 0-7; bit 4 is always set when written
    quint8 generalNibble12 = 0; ///< general configuration from bit 12
    quint8 generalNibble8 = 0; ///< general configuration from bit 8
    quint16 generalHigh = 0; ///< general configuration bits 16-31
    quint32 triggerValue = 0; ///< trigger register (6)
    quint32 singleShotValues = 0; ///< single-shot register (7)
};
