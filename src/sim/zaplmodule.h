#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// A ZAPL module as seen from its bus: decoded request in, decoded reply out. No transport;
// the servers and vendor fakes put it behind a pseudo-terminal, an SLCAN line or a CAN bus.
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

    quint8 address() const { return m_address; }
    void setAddress(quint8 address) { m_address = address; }
    // Four digits of the module type and the firmware version reported by version queries.
    void setIdentity(const QString &typeDigits, int major, int minor, int build);

    // Protocol core; every transport funnels through here.
    Reply handle(const Request &request);

    // Serial transport: 9 request bytes -> 9 reply bytes, or empty when the request is not for
    // this module. A request with a bad checksum is answered with status kStatusBadChecksum.
    QByteArray handleSerial(const QByteArray &request, quint8 hostAddress = 2);
    // CAN transport: 8 data bytes of a request on this module's identifier -> 8 reply bytes.
    QByteArray handleCan(const QByteArray &data);

    // Status values of our own for faults.
    static constexpr quint8 kStatusOk = 100;
    static constexpr quint8 kStatusBadChecksum = 1;
    static constexpr quint8 kStatusUnknownCommand = 2;

private:
    quint8 m_address;
    QString m_typeDigits = QStringLiteral("1161");
    int m_major = 2;
    int m_minor = 7;
    int m_build = 42;
    QHash<quint32, qint32> m_store;
};
