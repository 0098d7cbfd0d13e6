#pragma once

#include "canmessage.h"
#include "commandhandler_global.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <vector>

/// Drives a serial-line CAN adapter: one command or frame per line, ended by a carriage return.
/// It opens the port, sets the bit rate, opens and closes the CAN channel, writes frames as
/// transmit lines ("t", "T", "r", "R", the identifier, the length, the data digits in
/// upper-case hexadecimal) and parses received lines into a queue of CanMessage. The two SLCAN
/// handlers each own one; a host may use one directly.
///
/// Threads: lives in the thread that owns it; received data are handled only when that thread's
/// event loop runs onReadyRead(). Order of use: openPort(), setBitrate(), openChannel(), then
/// sendMessage() and takeMessage(), closeChannel(), closePort().
///
/// The port is a COM port on Windows; on Linux any serial device path (/dev/ttyACM0,
/// /dev/serial/by-id/..., a pseudo-terminal).
class COMMANDHANDLER_EXPORT SLCANInterface : public QObject
{
    Q_OBJECT
public:
    /// A closed port.
    explicit SLCANInterface(QObject *parent = nullptr);
    /// Closes the port (the channel is not closed first).
    ~SLCANInterface() override;

    /// Opens (or re-opens) the port at 115200 8N1, clears its buffers and wakes the adapter
    /// (escape and three carriage returns). `useAckNak` decides whether sendMessage() waits for
    /// the adapter's acknowledge. False when the port cannot be opened; nothing is written then.
    bool openPort(const QString &portName, bool useAckNak);
    /// Writes the bit-rate command: "S0" for 10 up to "S8" for 1000 kbit/s (10, 20, 50, 100, 125,
    /// 250, 500, 800 or 1000); any other rate sends nothing and returns false.
    bool setBitrate(int kbitPerSecond);
    /// Writes "O", empties the queue and lets received lines become frames; true.
    bool openChannel();
    /// Writes "C", stops parsing frames and empties the queue; true.
    bool closeChannel();
    /// Empties the queue of received frames.
    void clearQueue();
    /// Writes one transmit line (the length and the data taken as at most 8 bytes). False while
    /// the channel is closed or when the port refuses the line. With the acknowledge wait on,
    /// runs a local event loop for at most 10 ms and is true only when the adapter acknowledged
    /// (a carriage return); an error answer (a bell) ends the wait early with false.
    bool sendMessage(const CanMessage &frame);
    /// Moves the oldest received frame into `frame`; false while the channel is closed or nothing
    /// arrived.
    bool takeMessage(CanMessage &frame);
    /// Stops reading, closes the port and empties the queue.
    void closePort();

    /// Whether the port is open.
    bool isPortOpen() const { return m_port.isOpen(); }
    /// Whether the channel is open (openChannel() without closeChannel()).
    bool isChannelOpen() const { return m_channelOpen; }
    /// Whether an acknowledge arrived since the last acknowledged send.
    bool isAckReceived() const { return m_ackReceived; }
    /// Whether an error answer arrived since the last acknowledged send.
    bool isNakReceived() const { return m_nakReceived; }
    /// How many received frames wait in the queue.
    int queuedMessages() const { return static_cast<int>(m_rxQueue.size()); }

    /// The transmit line of a frame (without writing it), carriage return included.
    static QByteArray lineFor(const CanMessage &frame);

signals:
    /// An acknowledge (carriage return) or an error answer (bell) arrived. A line the adapter
    /// answers with "z" or "Z" before its carriage return counts as one acknowledge.
    void receivedReply();
    /// A frame was appended to the queue.
    void receivedCanMessage();
    /// The port became unusable (the adapter was unplugged, the line hung up); once per opening.
    /// `port` is the name as given to openPort, `text` names it and the cause.
    void portLost(const QString &port, const QString &text);

public slots:
    /// Reads what the port holds and parses it: acknowledges and error answers in every state,
    /// frame lines only while the channel is open (lines that arrive while it is closed are
    /// consumed and dropped). Connected to the port's readyRead() by openPort().
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
