#pragma once

#include "ft4222hbridge_p.h"
#include "ft4222hcommandhandler.h"
#include "ft4222hdatathread_p.h"
#include "ft4222hlivemode_p.h"
#include "ft4222hreplies_p.h"

#include <memory>

// The handler's parts: the bridge session, the reader thread, and the state the two threads
// share (replies: atomics; live mode: its own mutex). The rest is the caller's thread's alone.
struct FT4222HCommandHandler::Private
{
    // Shared with the reader, which keeps it if it has to be left running.
    std::shared_ptr<FT4222HBridge> bridge;
    std::unique_ptr<FT4222HDataThread> thread;
    FT4222HReplies replies;
    FT4222HLiveMode live;

    quint8 currentAddress = 0;
    quint8 lastWriteType = 0;
    qint32 lastWriteValue = 0;
};
