#pragma once

#include "commandhandler_global.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

class Command;

// Decoded fields of one 9-byte ZAPL frame.
class COMMANDHANDLER_EXPORT ZAPLCommandInterface
{
public:
    explicit ZAPLCommandInterface(uchar moduleAddress = 1);
    virtual ~ZAPLCommandInterface();
    virtual QString toString() const = 0;
    virtual QString toHex() const = 0;

    uchar moduleAddress() const { return m_moduleAddress; }
    void setModuleAddress(uchar a) { m_moduleAddress = a; }
    uchar replyAddress() const { return m_replyAddress; }
    void setReplyAddress(uchar a) { m_replyAddress = a; }
    uchar command() const { return m_command; }
    void setCommand(uchar c) { m_command = c; }
    uchar type() const { return m_type; }
    void setType(uchar t) { m_type = t; }
    uchar motorNumber() const { return m_motorNumber; }
    uchar status() const { return m_status; }
    void setStatus(uchar s) { m_status = s; }
    int value() const { return m_value; }
    void setValue(int v) { m_value = v; }
    uchar checkSum() const { return m_checkSum; }
    void setCheckSum(uchar c) { m_checkSum = c; }
    bool isValid() const { return m_valid; }
    void setValid(bool v) { m_valid = v; }
    bool isChecksumValid() const { return m_checksumValid; }
    bool isExtended() const { return m_extended; }
    void setExtended(bool e) { m_extended = e; }

protected:
    ZAPLCommandInterface(const ZAPLCommandInterface &) = default;
    ZAPLCommandInterface &operator=(const ZAPLCommandInterface &) = default;

    uchar m_moduleAddress;
    uchar m_replyAddress = 0;
    uchar m_command = 0;
    uchar m_type = 0;
    uchar m_status = 0;
    uchar m_motorNumber = 0;
    uchar m_checkSum = 0;
    int m_value = 0;
    bool m_valid = false;
    bool m_checksumValid = true;
    bool m_extended = false;
};

// A request as written to a serial line.
class COMMANDHANDLER_EXPORT ZAPLRequestCommand : public ZAPLCommandInterface
{
public:
    ZAPLRequestCommand(uchar moduleAddress, uchar command, uchar type, uchar motor, int value);
    explicit ZAPLRequestCommand(const Command *request);
    ZAPLRequestCommand(const ZAPLRequestCommand &) = default;
    ZAPLRequestCommand &operator=(const ZAPLRequestCommand &) = default;
    ~ZAPLRequestCommand() override;

    uchar computeCheckSum() const;
    // The 9 wire bytes; valid until the next call or the frame's end.
    const char *toChar();
    QByteArray toByteArray() const;
    QString toString() const override;
    QString toHex() const override;

    // Type and motor byte of a record, with the extended-type packing of bits 8-11.
    static void packTypeAndMotor(const Command &request, uchar &type, uchar &motor);

private:
    char m_out[9] = {};
};

// A reply as read from a serial line.
class COMMANDHANDLER_EXPORT ZAPLReplyCommand : public ZAPLCommandInterface
{
public:
    ZAPLReplyCommand();
    // Parses 9 bytes.
    explicit ZAPLReplyCommand(const char *bytes);
    ZAPLReplyCommand(const ZAPLReplyCommand &) = default;
    ZAPLReplyCommand &operator=(const ZAPLReplyCommand &) = default;
    ~ZAPLReplyCommand() override;

    // Parses exactly 9 bytes in reply order.
    void update(const char *bytes, bool skipChecksumTest);
    // Bounded form for buffers of unknown length: fewer than 9 bytes leave the frame invalid and
    // return false; otherwise parses the first 9 and returns true.
    bool update(const QByteArray &bytes, bool skipChecksumTest);
    QByteArray toReply() const;
    bool isReplyAndCheckSumValid() const { return m_valid && m_checksumValid; }
    QString toString() const override;
    QString toHex() const override;
};

Q_DECLARE_METATYPE(ZAPLCommandInterface *)
Q_DECLARE_METATYPE(ZAPLRequestCommand *)
Q_DECLARE_METATYPE(ZAPLReplyCommand *)
