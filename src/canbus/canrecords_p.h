#pragma once

#include "canadapter_p.h"
#include "esdlibrary_p.h"
#include "ixxatlibrary_p.h"
#include "peaklibrary_p.h"

#include <cstddef>

// Conversions between each vendor library's frame record and the library's own frame, without
// any I/O, so that every layout can be checked byte by byte. A decoder never reads beyond the
// record it is given and never yields more than 8 data bytes, whatever length code it finds.
namespace canrecords {

// canRead's identifier, data buffer (`available` bytes of it are readable) and length code.
CanReceived fromKvaser(long id, const quint8 *data, size_t available, unsigned int dlc);

PeakMessage toPeak(const CanMessage &frame);
// False for the library's error and status records, which are not frames of any node.
bool fromPeak(const PeakMessage &message, CanReceived &received);

EsdMessage toEsd(const CanMessage &frame);
// Keeps the 16-byte record as the library delivered it: the ZAPL decoder reads it as it stands.
CanReceived fromEsd(const EsdMessage &message);

vci::Message toIxxat(const CanMessage &frame);
// False for anything but a data message (information, error and status messages).
bool fromIxxat(const vci::Message &message, CanReceived &received);

} // namespace canrecords
