#pragma once

#include "commandhandler_global.h"
#include "zaplcommand.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

class Command;

/// A ZAPL request as one 8-byte CAN data frame: the identifier is the module address, the data
/// are command, type, motor or bank, the value most significant byte first, and a spare byte
/// (3). There is no checksum on CAN.
class COMMANDHANDLER_EXPORT CANZAPLRequestCommand : public ZAPLCommandInterface
{
public:
    /// Identifier and module address `address`, length 8, spare byte 3.
    CANZAPLRequestCommand(quint8 address, quint8 command, quint8 type, quint8 motor, int value);
    /// Maps a record. An extended-type record carries its high type bits in the motor byte:
    /// with a register-address bit width of 11, type bits 8-10 in motor bits 5-7; with any other
    /// width, type bits 8-11 in motor bits 4-7.
    explicit CANZAPLRequestCommand(const Command *request);
    /// Copies the frame.
    CANZAPLRequestCommand(const CANZAPLRequestCommand &) = default;
    /// Copies the frame.
    CANZAPLRequestCommand &operator=(const CANZAPLRequestCommand &) = default;
    ~CANZAPLRequestCommand() override;

    /// The CAN identifier: the module address.
    quint32 id() const { return m_id; }
    /// The data length: 8.
    quint8 length() const { return m_length; }
    /// The spare eighth data byte: 3.
    quint8 dummy() const { return m_dummy; }

    /// The 8 data bytes; the pointers stay valid until the object is changed or destroyed.
    const char *toKvaserChar();
    /// The same 8 data bytes as toKvaserChar(), in a buffer of their own.
    const char *toSocketCANArray();
    /// The 16-byte esd message record: identifier LSB first, length, flags, 0, 0, data.
    const char *toESDChar();
    /// The 8 data bytes by value, for callers that need no stable pointer.
    QByteArray data() const;

    /// Module address, command, type, motor, the value bytes and a final 00.
    QString toString() const override;
    /// "ZAPLRequest[" and sixteen items (identifier LSB first, length, flags, 0, 0, command,
    /// type, motor, value LSB first, spare), each "0x0x..", joined by ", ", with no closing
    /// bracket: hosts parse this text as it has always looked.
    QString toHex() const override;

private:
    void fillData(char *out) const;

    quint32 m_id = 0;
    quint8 m_length = 8;
    quint8 m_flags = 0;
    quint8 m_dummy = 3;
    char m_esd[16] = {};
    char m_kvaser[8] = {};
    char m_socket[8] = {};
};

/// A ZAPL reply decoded from a CAN data frame: module address, status, command, the value most
/// significant byte first, and a spare byte. A reply carries no type and no motor; the handler
/// takes both from the request. Decoding marks the reply valid and its checksum valid.
class COMMANDHANDLER_EXPORT CANZAPLReplyCommand : public ZAPLCommandInterface
{
public:
    /// Bytes in a received record: identifier MSB first, length, three flag bytes, eight data
    /// bytes.
    static constexpr int RecordSize = 16;

    /// An empty, invalid reply with module address 1.
    CANZAPLReplyCommand();
    /// Decodes a record of exactly RecordSize bytes (see update()).
    explicit CANZAPLReplyCommand(const char *record);
    /// Copies the frame.
    CANZAPLReplyCommand(const CANZAPLReplyCommand &) = default;
    /// Copies the frame.
    CANZAPLReplyCommand &operator=(const CANZAPLReplyCommand &) = default;
    ~CANZAPLReplyCommand() override;

    /// Reads exactly RecordSize bytes; marks the reply valid.
    void update(const char *record);
    /// Fills the fields from up to 8 received data bytes (shorter frames leave the rest 0) and
    /// marks the reply valid; identifier, length and flags stay as they are.
    void updateFromData(const quint8 *data, int count);

    /// The identifier of the received record; nothing checks it (the receive filter decides).
    quint32 id() const { return m_id; }
    /// Sets the value of id().
    void setID(long id) { m_id = static_cast<quint32>(id); }
    /// The length byte of the received record.
    quint8 length() const { return m_length; }
    /// Sets the value of length().
    void setLength(char length) { m_length = static_cast<quint8>(length); }
    /// The eighth data byte; the handlers copy it into the reply record's checksum.
    quint8 dummy() const { return m_dummy; }
    /// Sets the value of dummy().
    void setDummy(quint8 dummy) { m_dummy = dummy; }

    /// The 8 data bytes in wire order: module address, status, command, value, spare.
    QByteArray data() const;

    /// Reply address, module address, status, command, the value bytes and a final 00.
    QString toString() const override;
    /// As CANZAPLRequestCommand::toHex(), headed "CANZAPLReply[".
    QString toHex() const override;

private:
    quint32 m_id = 0;
    quint8 m_length = 0;
    quint8 m_flags = 0;
    quint8 m_spare1 = 0;
    quint8 m_spare2 = 0;
    quint8 m_dummy = 0;
};

Q_DECLARE_METATYPE(CANZAPLRequestCommand *)
Q_DECLARE_METATYPE(CANZAPLReplyCommand *)
