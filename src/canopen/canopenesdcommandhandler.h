#pragma once

#include "canopenservicehandler.h"

// CANopen master on an esd adapter (ntcan library), net 0. Holds the library from construction
// to destruction.
class COMMANDHANDLER_EXPORT CANopenEsdCommandHandler : public CANopenServiceHandler
{
    Q_OBJECT
    Q_INTERFACES(CANopenHandlerInterface)
public:
    // The library's 16-byte message record: identifier (bit 29 marks a 29-bit one), length code
    // (0x10 marks a remote frame), lost-message count, two reserved bytes, eight data bytes. A
    // host that holds the library's own record passes it through a cast.
    struct CMSG
    {
        qint32 id;
        quint8 len;
        quint8 msg_lost;
        quint8 reserved[2];
        quint8 data[8];
    };

    explicit CANopenEsdCommandHandler(QObject *parent = nullptr);
    ~CANopenEsdCommandHandler() override;

    // Applies the sent-frame reporting rules to a frame in the library's record.
    void emitSentCanMessage(CMSG *message);
    using CANopenServiceHandler::emitSentCanMessage;
};
