#pragma once

// What the ZAPL-over-CAN handlers write and do differently per adapter, as data. A null text
// means the adapter writes no line there.
struct CanZaplTexts
{
    const char *name; // object and device name
    int connectionType; // ConnectionType value
    const char *bitrateLabel = "bitrate:";
    const char *readOk = "-> ok lastSendAddress:";
    const char *readOkLength = "length:";
    const char *readFailed = nullptr; // after a take that found nothing
    const char *notOpen = "!open"; // reply wait on a closed device or a muted address
    bool notOpenShowsState = false; // the notOpen text is followed by true or false
    const char *triedToRead = "-> tried to read! ";
    const char *timedOut = "-> communicationTimeouted!";
    const char *handlerClosed = "can handler closed: ";
    const char *clearId = "clear CAN-ID:";
    const char *cleared = "cleared timeoutedAddresses.";
    bool directDecode = false; // fill the reply from the data bytes, not from a record
    bool setsReplyAddress = true; // copy the reply identifier into each decoded reply
    bool zeroSpareByte = false; // data byte 7 sent as 0 instead of the spare 3
    bool storesRateOnlyOnSuccess = false; // setDataRate keeps the old rate when the adapter refuses
    bool processEventsWhenForced = false; // the reply wait runs the event loop when forced
    bool logsVersionRequest = false; // the version query logs the request text first
};
