#pragma once

#include "commandhandler_global.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

class Command;

/// Decoded fields of one ZAPL frame, shared by the serial frames (9 bytes with a checksum) and
/// the CAN frames (one 8-byte data frame). Plain values without I/O; the setters never
/// recompute a checksum. Handlers report frames through
/// CommandHandlerInterface::variantMessageOutput() as pointers to this type's subclasses.
class COMMANDHANDLER_EXPORT ZAPLCommandInterface
{
public:
    /// All fields 0 but the module address; not valid, checksum valid, not extended.
    explicit ZAPLCommandInterface(uchar moduleAddress = 1);
    virtual ~ZAPLCommandInterface();
    /// The frame's bytes in wire order as two-digit hexadecimal numbers joined by blanks.
    virtual QString toString() const = 0;
    /// The frame's bytes as a bracketed list of "0x.." numbers, for logs and the host's history.
    virtual QString toHex() const = 0;

    /// Address of the module asked or answering.
    uchar moduleAddress() const { return m_moduleAddress; }
    /// Sets the value of moduleAddress().
    void setModuleAddress(uchar a) { m_moduleAddress = a; }
    /// Address the reply is sent to: the host's.
    uchar replyAddress() const { return m_replyAddress; }
    /// Sets the value of replyAddress().
    void setReplyAddress(uchar a) { m_replyAddress = a; }
    /// Command number (ZAPLMnemonics names them).
    uchar command() const { return m_command; }
    /// Sets the value of command().
    void setCommand(uchar c) { m_command = c; }
    /// Type byte of a request.
    uchar type() const { return m_type; }
    /// Sets the value of type().
    void setType(uchar t) { m_type = t; }
    /// Motor or bank byte of a request, possibly carrying high type bits.
    uchar motorNumber() const { return m_motorNumber; }
    /// Status byte of a reply; 100 means success.
    uchar status() const { return m_status; }
    /// Sets the value of status().
    void setStatus(uchar s) { m_status = s; }
    /// Signed 32-bit value, sent most significant byte first.
    int value() const { return m_value; }
    /// Sets the value of value().
    void setValue(int v) { m_value = v; }
    /// Checksum byte as built or as received (a CAN reply keeps no checksum here).
    uchar checkSum() const { return m_checkSum; }
    /// Sets the value of checkSum().
    void setCheckSum(uchar c) { m_checkSum = c; }
    /// Whether a frame was taken in.
    bool isValid() const { return m_valid; }
    /// Sets the value of isValid().
    void setValid(bool v) { m_valid = v; }
    /// Whether the received checksum matched (or was not tested).
    bool isChecksumValid() const { return m_checksumValid; }
    /// Whether the request carries an extended type (copied from the request record).
    bool isExtended() const { return m_extended; }
    /// Sets the value of isExtended().
    void setExtended(bool e) { m_extended = e; }

protected:
    /// Copies every field.
    ZAPLCommandInterface(const ZAPLCommandInterface &) = default;
    /// Copies every field.
    ZAPLCommandInterface &operator=(const ZAPLCommandInterface &) = default;

    uchar m_moduleAddress; ///< See moduleAddress().
    uchar m_replyAddress = 0; ///< See replyAddress().
    uchar m_command = 0; ///< See command().
    uchar m_type = 0; ///< See type().
    uchar m_status = 0; ///< See status().
    uchar m_motorNumber = 0; ///< See motorNumber().
    uchar m_checkSum = 0; ///< See checkSum().
    int m_value = 0; ///< See value().
    bool m_valid = false; ///< See isValid().
    bool m_checksumValid = true; ///< See isChecksumValid().
    bool m_extended = false; ///< See isExtended().
};

/// A request as written to a serial line: module address, command, type, motor or bank, the
/// value most significant byte first, and the sum of those 8 bytes modulo 256.
class COMMANDHANDLER_EXPORT ZAPLRequestCommand : public ZAPLCommandInterface
{
public:
    /// Stores the fields and the checksum computed from them.
    ZAPLRequestCommand(uchar moduleAddress, uchar command, uchar type, uchar motor, int value);
    /// Takes address, command and value from the record, type and motor byte as
    /// packTypeAndMotor() makes them, then the checksum.
    explicit ZAPLRequestCommand(const Command *request);
    /// Copies the frame.
    ZAPLRequestCommand(const ZAPLRequestCommand &) = default;
    /// Copies the frame.
    ZAPLRequestCommand &operator=(const ZAPLRequestCommand &) = default;
    ~ZAPLRequestCommand() override;

    /// The checksum of the current fields; not stored.
    uchar computeCheckSum() const;
    /// The 9 wire bytes, with the stored checksum; valid until the next call or the frame's end.
    const char *toChar();
    /// The 9 wire bytes by value.
    QByteArray toByteArray() const;
    /// For example "01 06 01 00 00 00 00 00 08".
    QString toString() const override;
    /// "Request[0x01, 0x06, ..., 0x08]".
    QString toHex() const override;

    /// Type and motor byte of a record. The type byte is the low 8 bits of the type. The motor
    /// byte is the record's motor or bank, except for an extended-type record whose command is
    /// not 146 or 148: then type bits 8-11 go to its upper and bank bits 0-3 to its lower four
    /// bits.
    static void packTypeAndMotor(const Command &request, uchar &type, uchar &motor);

private:
    char m_out[9] = {};
};

/// A reply as read from a serial line: reply address, module address, status, command, the
/// value most significant byte first, and the checksum.
class COMMANDHANDLER_EXPORT ZAPLReplyCommand : public ZAPLCommandInterface
{
public:
    /// An empty, invalid reply: every field 0.
    ZAPLReplyCommand();
    /// Parses 9 bytes, with the checksum test (see update()).
    explicit ZAPLReplyCommand(const char *bytes);
    /// Copies the frame.
    ZAPLReplyCommand(const ZAPLReplyCommand &) = default;
    /// Copies the frame.
    ZAPLReplyCommand &operator=(const ZAPLReplyCommand &) = default;
    ~ZAPLReplyCommand() override;

    /// Parses exactly 9 bytes in reply order and marks the frame valid, whatever the checksum.
    /// A checksum mismatch only clears isChecksumValid() and writes "invalid checksum!"; with
    /// `skipChecksumTest` (version and memory replies, which carry text in place of the fields)
    /// the checksum counts as valid.
    void update(const char *bytes, bool skipChecksumTest);
    /// Bounded form for buffers of unknown length: fewer than 9 bytes leave the frame invalid and
    /// return false; otherwise parses the first 9 and returns true.
    bool update(const QByteArray &bytes, bool skipChecksumTest);
    /// The 9 bytes in reply order, with the stored checksum.
    QByteArray toReply() const;
    /// Valid and with a matching (or untested) checksum.
    bool isReplyAndCheckSumValid() const { return m_valid && m_checksumValid; }
    /// The 9 reply bytes, as ZAPLRequestCommand::toString() renders a request.
    QString toString() const override;
    /// "Reply  [0x.., ...]" (two blanks), as ZAPLRequestCommand::toHex() renders a request.
    QString toHex() const override;
};

Q_DECLARE_METATYPE(ZAPLCommandInterface *)
Q_DECLARE_METATYPE(ZAPLRequestCommand *)
Q_DECLARE_METATYPE(ZAPLReplyCommand *)
