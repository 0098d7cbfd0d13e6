#pragma once

#include "canmessage.h"
#include "commandhandler_global.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <vector>

// Drives a serial-line CAN adapter: one command or frame per line, ended by a carriage return.
// Lives in the thread that owns it; received data are handled when that thread's event loop
// runs onReadyRead().
class COMMANDHANDLER_EXPORT SLCANInterface : public QObject
{
    Q_OBJECT
public:
    explicit SLCANInterface(QObject *parent = nullptr);
    ~SLCANInterface() override;

    // Opens (or re-opens) the port at 115200 8N1 and wakes the adapter.
    bool openPort(const QString &portName, bool useAckNak);
    // 10, 20, 50, 100, 125, 250, 500, 800 or 1000 kbit/s; any other rate sends nothing.
    bool setBitrate(int kbitPerSecond);
    bool openChannel();
    bool closeChannel();
    void clearQueue();
    // One transmit line; with useAckNak true only when the adapter acknowledged within 10 ms.
    bool sendMessage(const CanMessage &frame);
    // The oldest received frame; false while the channel is closed or nothing arrived.
    bool takeMessage(CanMessage &frame);
    void closePort();

    bool isPortOpen() const { return m_port.isOpen(); }
    bool isChannelOpen() const { return m_channelOpen; }
    bool isAckReceived() const { return m_ackReceived; }
    bool isNakReceived() const { return m_nakReceived; }
    int queuedMessages() const { return static_cast<int>(m_rxQueue.size()); }

    // The transmit line of a frame (without writing it).
    static QByteArray lineFor(const CanMessage &frame);

signals:
    void receivedReply();
    void receivedCanMessage();
    // The port became unusable (the adapter was unplugged, the line hung up); once per opening.
    // `port` is the name as given to openPort, `text` names it and the cause.
    void portLost(const QString &port, const QString &text);

public slots:
    void onReadyRead();

private:
    // Letter, up to 8 identifier digits, length, up to 16 data digits, carriage return.
    static constexpr int kMaxLine = 1 + 8 + 1 + 16 + 1;
    static int formatLine(const CanMessage &frame, char (&line)[kMaxLine]);
    bool writeLine(const QByteArray &line);
    bool writeLine(const char *line, int size);
    void consume(const QByteArray &bytes);
    void onPortError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QString m_portName; // as given: QSerialPort shortens device paths
    std::vector<CanMessage> m_rxQueue;
    QByteArray m_rxText;
    int m_parseState = 0;
    int m_parsePos = 0;
    bool m_ackReceived = false;
    bool m_nakReceived = false;
    bool m_useAckNak = false;
    bool m_channelOpen = false;
    bool m_lost = false; // portLost was emitted for this opening
};
