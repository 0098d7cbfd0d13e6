#pragma once

#include <QMetaType>
#include <QtGlobal>
#include <cstring>

/// One classic CAN frame, copied by value: the frame type of SLCANInterface and of every
/// CANopenHandlerInterface signal. Bytes at and above `length` are 0.
struct CanMessage
{
    quint32 id = 0; ///< Identifier: 11 bits, or 29 bits when `extended`.
    bool extended = false; ///< A 29-bit identifier.
    bool remote = false; ///< A remote (RTR) frame.
    qint32 length = 0; ///< Data length, 0 to 8.
    quint8 data[8] = {}; ///< Data bytes.

    /// Copies at most 8 bytes and zeroes the rest; a negative count is taken as 0.
    void setData(const void *bytes, int count)
    {
        count = qBound(0, count, 8);
        std::memset(data, 0, sizeof data);
        if (count > 0)
            std::memcpy(data, bytes, static_cast<size_t>(count));
        length = count;
    }

    /// Same identifier, flags, length and all eight data bytes.
    bool operator==(const CanMessage &o) const
    {
        return id == o.id && extended == o.extended && remote == o.remote && length == o.length
            && std::memcmp(data, o.data, sizeof data) == 0;
    }
    /// The negation of operator==().
    bool operator!=(const CanMessage &o) const { return !(*this == o); }
};
Q_DECLARE_METATYPE(CanMessage)
