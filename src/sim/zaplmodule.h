#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <mutex>

// A ZAPL module as seen from its bus: decoded request in, decoded reply out. No transport;
// the servers and vendor fakes put it behind a pseudo-terminal, an SLCAN line or a CAN bus.
// Thread-safe: a test may reconfigure a module while a server thread answers for it.
//
// Behaviour:
// - SAP (5) and STAP (7) store under GAP (6), SGP (9) under GGP (10), 146 under 148 and 147
//   under 149, keyed by command, type and motor byte; the reading commands answer the stored
//   value (0 when never written). A write answers its own value.
// - GetVersion (136): type 0 answers 8 text characters "TTTTVmnn" (type digits, "V", major
//   digit, two minor digits, e.g. "1161V207") in place of the reply fields; type 1 answers
//   (major << 8) | minor; type 5 answers the build number.
// - Any other command of the vocabulary answers status 100 with the request's value echoed.
// - Error statuses of our own: kStatusBadChecksum (serial request whose checksum is wrong),
//   kStatusUnknownCommand (a number outside the vocabulary), kStatusInvalidType (GetVersion
//   with a type other than 0, 1 or 5). Error replies carry the request's value.
class ZaplModuleModel
{
public:
    struct Request
    {
        quint8 address = 1;
        quint8 command = 0;
        quint8 type = 0;
        quint8 motor = 0;
        qint32 value = 0;
    };
    struct Reply
    {
        quint8 moduleAddress = 1;
        quint8 status = 0;
        quint8 command = 0;
        qint32 value = 0;
        // A type-0 version query answers 8 text characters in place of the frame fields.
        bool isText = false;
        QByteArray text;
    };

    explicit ZaplModuleModel(quint8 address = 1);

    quint8 address() const;
    void setAddress(quint8 address);
    // Four digits of the module type and the firmware version reported by version queries.
    // major 0..9 and minor 0..99 keep the version text at 8 characters; others are clamped.
    void setIdentity(const QString &typeDigits, int major, int minor, int build);
    // Answers type-0 version queries with these 8 bytes as they stand instead of the identity's
    // text: an older module's form ("016v1.05"), or bytes that are no text at all. Shorter
    // texts are padded with zero bytes; an empty one goes back to the identity's text.
    void setVersionText(const QByteArray &text);
    // The 8-character text a type-0 version query answers, e.g. "1161V207".
    QByteArray versionText() const;
    // Forgets every stored parameter.
    void clearStore();
    // Number of requests handled (answered or refused), for tests that count traffic.
    int requestCount() const;

    // Protocol core; every transport funnels through here. Addressing is the transport's job.
    Reply handle(const Request &request);

    // Serial transport: 9 request bytes -> 9 reply bytes, or empty when the request is not for
    // this module or not 9 bytes long. A request with a bad checksum is answered with status
    // kStatusBadChecksum. Reply byte 0 is hostAddress; a text reply fills bytes 1..8.
    QByteArray handleSerial(const QByteArray &request, quint8 hostAddress = 2);
    // CAN transport: 8 data bytes of a request on this module's identifier -> 8 reply bytes
    // (module address, status, command, value, spare 0; a text reply is the 8 characters).
    // Fewer than 7 bytes (no complete value) give an empty result: nothing is answered.
    QByteArray handleCan(const QByteArray &data);

    // Status values of our own for faults.
    static constexpr quint8 kStatusOk = 100;
    static constexpr quint8 kStatusBadChecksum = 1;
    static constexpr quint8 kStatusUnknownCommand = 2;
    static constexpr quint8 kStatusInvalidType = 3;

    // Command numbers the model gives meaning to.
    static constexpr quint8 kGetVersion = 136;

private:
    QByteArray versionTextLocked() const;

    mutable std::mutex m_lock; // guards every field below
    quint8 m_address;
    QString m_typeDigits = QStringLiteral("1161");
    int m_major = 2;
    int m_minor = 7;
    int m_build = 42;
    QByteArray m_versionText;
    int m_requests = 0;
    QHash<quint32, qint32> m_store;
};
