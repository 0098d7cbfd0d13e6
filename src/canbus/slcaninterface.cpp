#include "slcaninterface.h"

#include "chlog_p.h"
#include "portloss_p.h"
#include "slcanparser_p.h"

#include <QEventLoop>
#include <QTimer>

namespace {
constexpr int kAckWaitMs = 10;

const char *bitrateCommand(int kbitPerSecond)
{
    switch (kbitPerSecond) {
    case 10:
        return "S0\r";
    case 20:
        return "S1\r";
    case 50:
        return "S2\r";
    case 100:
        return "S3\r";
    case 125:
        return "S4\r";
    case 250:
        return "S5\r";
    case 500:
        return "S6\r";
    case 800:
        return "S7\r";
    case 1000:
        return "S8\r";
    default:
        return nullptr;
    }
}
} // namespace

SLCANInterface::SLCANInterface(QObject *parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SLCANInterface::onPortError);
}

SLCANInterface::~SLCANInterface()
{
    closePort();
}

bool SLCANInterface::openPort(const QString &portName, bool useAckNak)
{
    // Opening an open port would fail and leave the old one running: start afresh instead.
    if (m_port.isOpen())
        closePort();
    m_parseState = 0;
    m_parsePos = 0;
    m_rxText.clear();
    m_channelOpen = false;
    m_useAckNak = useAckNak;
    m_portName = portName;
    m_lost = false;
    m_port.setPortName(portName);
    if (!m_port.open(QIODevice::ReadWrite))
        return false;
    m_port.setBaudRate(115200, QSerialPort::AllDirections);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.clear(QSerialPort::AllDirections);
    writeLine(QByteArray("\x1b\r\r\r", 4));
    m_rxQueue.clear();
    connect(&m_port, &QSerialPort::readyRead, this, &SLCANInterface::onReadyRead, Qt::UniqueConnection);
    return true;
}

bool SLCANInterface::setBitrate(int kbitPerSecond)
{
    const char *command = bitrateCommand(kbitPerSecond);
    if (!command)
        return false;
    writeLine(QByteArray(command));
    return true;
}

bool SLCANInterface::openChannel()
{
    writeLine(QByteArrayLiteral("O\r"));
    m_rxQueue.clear();
    m_channelOpen = true;
    return true;
}

bool SLCANInterface::closeChannel()
{
    writeLine(QByteArrayLiteral("C\r"));
    m_channelOpen = false;
    m_rxQueue.clear();
    return true;
}

void SLCANInterface::clearQueue()
{
    m_rxQueue.clear();
}

int SLCANInterface::formatLine(const CanMessage &frame, char (&line)[kMaxLine])
{
    static const char digits[] = "0123456789ABCDEF";
    int n = 0;
    line[n++] = frame.remote ? (frame.extended ? 'R' : 'r') : (frame.extended ? 'T' : 't');
    const quint32 id = frame.id & (frame.extended ? 0x1FFFFFFFu : 0x7FFu);
    for (int shift = frame.extended ? 28 : 8; shift >= 0; shift -= 4)
        line[n++] = digits[(id >> shift) & 0xF];
    const int length = qBound(0, frame.length, 8);
    line[n++] = digits[length];
    if (!frame.remote) {
        for (int i = 0; i < length; ++i) {
            line[n++] = digits[frame.data[i] >> 4];
            line[n++] = digits[frame.data[i] & 0xF];
        }
    }
    line[n++] = '\r';
    return n;
}

QByteArray SLCANInterface::lineFor(const CanMessage &frame)
{
    char line[kMaxLine];
    return QByteArray(line, formatLine(frame, line));
}

bool SLCANInterface::writeLine(const QByteArray &line)
{
    return writeLine(line.constData(), line.size());
}

bool SLCANInterface::writeLine(const char *line, int size)
{
    if (!m_port.isOpen())
        return false;
    if (m_port.write(line, size) != size)
        return false;
    // Hand the bytes to the line now: the reply wait may not run the event loop for a while.
    m_port.flush();
    return true;
}

bool SLCANInterface::sendMessage(const CanMessage &frame)
{
    if (!m_channelOpen)
        return false;
    char line[kMaxLine];
    const int size = formatLine(frame, line);
    if (!m_useAckNak)
        return writeLine(line, size);
    m_ackReceived = false;
    m_nakReceived = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(this, &SLCANInterface::receivedReply, &loop, &QEventLoop::quit);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (!writeLine(line, size))
        return false;
    timer.start(kAckWaitMs);
    loop.exec();
    return m_ackReceived;
}

bool SLCANInterface::takeMessage(CanMessage &frame)
{
    if (!m_channelOpen || m_rxQueue.empty())
        return false;
    frame = m_rxQueue.front();
    m_rxQueue.erase(m_rxQueue.begin());
    return true;
}

void SLCANInterface::closePort()
{
    disconnect(&m_port, &QSerialPort::readyRead, this, &SLCANInterface::onReadyRead);
    if (m_port.isOpen())
        m_port.close();
    m_rxQueue.clear();
}

void SLCANInterface::onPortError(QSerialPort::SerialPortError error)
{
    // A removed adapter or a hung-up line: reads find the port readable and get nothing, or EIO,
    // and writes fail. Said once; the owner closes the port.
    const bool lost
        = error == QSerialPort::ResourceError || error == QSerialPort::ReadError || error == QSerialPort::WriteError;
    if (!lost || !m_port.isOpen() || m_lost)
        return;
    m_lost = true;
    const QString text = QStringLiteral("SLCAN port %1 is gone: %2").arg(m_portName, m_port.errorString());
    m_port.clearError();
    emit portLost(m_portName, text);
}

void SLCANInterface::onReadyRead()
{
    // Chunk by chunk, so the unconsumed text stays short whatever arrives at once.
    while (m_port.bytesAvailable() > 0) {
        const QByteArray chunk = m_port.read(255);
        if (chunk.isEmpty())
            break;
        consume(chunk);
    }
}

void SLCANInterface::consume(const QByteArray &bytes)
{
    m_rxText.append(bytes);
    CanMessage frame;
    for (;;) {
        const SlcanLineParser::Event event
            = SlcanLineParser::step(m_rxText, m_parseState, m_parsePos, m_channelOpen, frame);
        if (event == SlcanLineParser::Event::None)
            break;
        if (event == SlcanLineParser::Event::Ack) {
            m_ackReceived = true;
            emit receivedReply();
        } else if (event == SlcanLineParser::Event::Nak) {
            m_nakReceived = true;
            emit receivedReply();
        } else {
            m_rxQueue.push_back(frame);
            emit receivedCanMessage();
        }
    }
}
