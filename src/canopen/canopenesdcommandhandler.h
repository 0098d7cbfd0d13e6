#pragma once

#include "canopenservicehandler.h"

/// CANopen master on an esd adapter (ntcan library), net 0, named "CANopen ESD". Holds the
/// library from construction to destruction (a use count shared with CANEsdCommandHandler), so a
/// missing library is known at construction and openDevice() then returns false. Receives all
/// 2048 standard identifiers, NMT's 0 among them. NMT, SYNC and LSS frames are reported only
/// when the library took them; SYNC has no data byte.
///
/// The library is ntcan.dll on Windows, libntcan.so.4 or libntcan.so on Linux.
class COMMANDHANDLER_EXPORT CANopenEsdCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    /// The library's 16-byte message record: identifier (bit 29 marks a 29-bit one), length code
    /// (0x10 marks a remote frame), lost-message count, two reserved bytes, eight data bytes. A
    /// host that holds the library's own record passes it through a cast.
    struct CMSG
    {
        qint32 id; ///< Identifier.
        quint8 len; ///< Length code.
        quint8 msg_lost; ///< Messages lost before this one.
        quint8 reserved[2]; ///< Unused.
        quint8 data[8]; ///< Data bytes.
    };

    /// A closed handler at 1000 kbit/s.
    explicit CANopenEsdCommandHandler(QObject *parent = nullptr);
    /// Closes the net and releases this handler's use of the library.
    ~CANopenEsdCommandHandler() override;

    /// Applies the sent-frame reporting rules to a frame in the library's record (null: nothing).
    void emitSentCanMessage(CMSG *message);
    using CANopenServiceHandler::emitSentCanMessage;
};
