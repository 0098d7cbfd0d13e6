#pragma once

#include "commandhandler_global.h"
#include "zaplcommand.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

class Command;

// A ZAPL request as one 8-byte CAN data frame on the module's address.
class COMMANDHANDLER_EXPORT CANZAPLRequestCommand : public ZAPLCommandInterface
{
public:
    CANZAPLRequestCommand(quint8 address, quint8 command, quint8 type, quint8 motor, int value);
    // Packs the high type bits of an extended-type record into the motor byte.
    explicit CANZAPLRequestCommand(const Command *request);
    CANZAPLRequestCommand(const CANZAPLRequestCommand &) = default;
    CANZAPLRequestCommand &operator=(const CANZAPLRequestCommand &) = default;
    ~CANZAPLRequestCommand() override;

    quint32 id() const { return m_id; }
    quint8 length() const { return m_length; }
    quint8 dummy() const { return m_dummy; }

    // The 8 data bytes; the pointers stay valid until the object is changed or destroyed.
    const char *toKvaserChar();
    const char *toSocketCANArray();
    // The 16-byte esd message record: identifier LSB first, length, flags, 0, 0, data.
    const char *toESDChar();
    // The 8 data bytes by value, for callers that need no stable pointer.
    QByteArray data() const;

    QString toString() const override;
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

// A ZAPL reply decoded from a 16-byte received record (identifier MSB first, length, three
// flag bytes, eight data bytes).
class COMMANDHANDLER_EXPORT CANZAPLReplyCommand : public ZAPLCommandInterface
{
public:
    static constexpr int RecordSize = 16;

    CANZAPLReplyCommand();
    // Reads exactly RecordSize bytes.
    explicit CANZAPLReplyCommand(const char *record);
    CANZAPLReplyCommand(const CANZAPLReplyCommand &) = default;
    CANZAPLReplyCommand &operator=(const CANZAPLReplyCommand &) = default;
    ~CANZAPLReplyCommand() override;

    // Reads exactly RecordSize bytes; marks the reply valid.
    void update(const char *record);
    // Fills the fields from up to 8 received data bytes (shorter frames leave the rest 0).
    void updateFromData(const quint8 *data, int count);

    quint32 id() const { return m_id; }
    void setID(long id) { m_id = static_cast<quint32>(id); }
    quint8 length() const { return m_length; }
    void setLength(char length) { m_length = static_cast<quint8>(length); }
    quint8 dummy() const { return m_dummy; }
    void setDummy(quint8 dummy) { m_dummy = dummy; }

    // The 8 data bytes in wire order: module address, status, command, value, spare.
    QByteArray data() const;

    QString toString() const override;
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
