#pragma once

#include "canmessage.h"

#include <QString>

namespace zapl {

// One frame named by the service of the CANopen predefined connection set.
struct CanFrameText
{
    QString service; // "NMT", "SYNC", "EMCY", "TPDO1", "SDO reply", "heartbeat", "LSS request", ...
    int node = 0; // 0 when the frame names none
    QString data; // the data bytes in hexadecimal
    QString text; // e.g. "heartbeat node 5 pre-operational"
    QString line; // identifier, length, bytes and text, as zapl prints a frame
};
CanFrameText describeCanopenFrame(const CanMessage &frame);

// The meaning of an SDO abort code (CiA 301); "unknown abort code" for others.
QString sdoAbortText(quint32 code);
// A result code of the SDO services: its key for JSON (done, bad-size, ...) and a phrase.
struct SdoResult
{
    QString name;
    QString text;
};
SdoResult sdoResult(unsigned char result);

} // namespace zapl
