#include "slcanserver.h"

#include <chrono>

namespace {
constexpr int kPollMs = 5;
// No valid command is longer; a line that grows past this is noise and is dropped.
constexpr int kMaxLine = 64;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool hexField(const QByteArray &line, int from, int digits, quint32 &value)
{
    value = 0;
    if (from + digits > line.size())
        return false;
    for (int i = from; i < from + digits; ++i) {
        const int d = hexValue(line.at(i));
        if (d < 0)
            return false;
        value = (value << 4) | quint32(d);
    }
    return true;
}

QByteArray hexDigits(quint32 value, int digits, bool lowerCase)
{
    QByteArray text = QByteArray::number(value, 16).rightJustified(digits, '0').right(digits);
    return lowerCase ? text.toLower() : text.toUpper();
}
} // namespace

SlcanServer::SlcanServer(const QList<quint8> &modules, quint32 replyId)
    : m_path(m_pty.path()), m_modules(m_bus, modules, replyId)
{ }

SlcanServer::~SlcanServer()
{
    stop();
}

ZaplCanNode *SlcanServer::node(quint8 address)
{
    return m_modules.node(address);
}

bool SlcanServer::start()
{
    if (!m_pty.isOpen() || m_thread.joinable())
        return false;
    m_stop = false;
    m_thread = std::thread(&SlcanServer::serve, this);
    return true;
}

void SlcanServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SlcanServer::setOptions(const Options &options)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_options = options;
}

SlcanServer::Options SlcanServer::options() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_options;
}

QList<QByteArray> SlcanServer::commands() const
{
    // Deep copies: a list shared with the one the server thread appends to would leave the
    // ordering to the uninstrumented reference counting inside QtCore.
    std::lock_guard<std::mutex> lock(m_lock);
    QList<QByteArray> copy;
    for (const QByteArray &c : m_commands)
        copy.append(QByteArray(c.constData(), c.size()));
    return copy;
}

void SlcanServer::inject(const QByteArray &bytes)
{
    std::lock_guard<std::mutex> lock(m_writeLock);
    if (!m_unplugged)
        m_pty.write(bytes);
}

void SlcanServer::unplug()
{
    {
        std::lock_guard<std::mutex> lock(m_writeLock);
        m_unplugged = true;
    }
    if (!m_thread.joinable()) {
        closeLine();
        return;
    }
    // The server thread polls the line; it closes it between two reads, so that no read
    // meets a closed (or reused) descriptor.
    std::unique_lock<std::mutex> lock(m_lock);
    m_wake.wait_for(lock, std::chrono::seconds(5), [this] { return m_lineClosed || m_stop; });
}

void SlcanServer::closeLine()
{
    {
        std::lock_guard<std::mutex> lock(m_writeLock);
        m_pty.close();
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_lineClosed = true;
    }
    m_wake.notify_all();
}

bool SlcanServer::pause(int ms)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (ms > 0)
        m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
    return !m_stop;
}

QByteArray SlcanServer::lineFor(const SimCanFrame &frame, bool lowerCase)
{
    QByteArray line(1, frame.remote ? (frame.extended ? 'R' : 'r') : (frame.extended ? 'T' : 't'));
    line += hexDigits(frame.id, frame.extended ? 8 : 3, lowerCase);
    const int length = qMin<int>(frame.length, 8);
    line += char('0' + length);
    if (!frame.remote)
        for (int i = 0; i < length; ++i)
            line += hexDigits(frame.data[i], 2, lowerCase);
    return line + '\r';
}

bool SlcanServer::parseLine(const QByteArray &line, SimCanFrame &frame)
{
    if (line.isEmpty())
        return false;
    const char kind = line.at(0);
    if (kind != 't' && kind != 'T' && kind != 'r' && kind != 'R')
        return false;
    SimCanFrame f;
    f.extended = kind == 'T' || kind == 'R';
    f.remote = kind == 'r' || kind == 'R';
    const int idDigits = f.extended ? 8 : 3;
    quint32 length = 0;
    if (!hexField(line, 1, idDigits, f.id) || !hexField(line, 1 + idDigits, 1, length) || length > 8)
        return false;
    if (f.id > (f.extended ? 0x1FFFFFFFu : 0x7FFu))
        return false;
    f.length = quint8(length);
    const int dataDigits = f.remote ? 0 : int(length) * 2;
    if (line.size() != 2 + idDigits + dataDigits)
        return false;
    for (int i = 0; i < dataDigits / 2; ++i) {
        quint32 byte = 0;
        hexField(line, 2 + idDigits + 2 * i, 2, byte);
        f.data[i] = quint8(byte);
    }
    frame = f;
    return true;
}

void SlcanServer::send(const QByteArray &bytes)
{
    const Options o = options();
    const int parts = qBound(1, o.splitParts, bytes.size());
    int sent = 0;
    for (int i = 0; i < parts; ++i) {
        const int end = bytes.size() * (i + 1) / parts;
        {
            std::lock_guard<std::mutex> lock(m_writeLock);
            if (m_unplugged)
                return;
            m_pty.write(bytes.mid(sent, end - sent));
        }
        sent = end;
        if (i + 1 < parts && !pause(o.splitGapMs))
            return;
    }
}

void SlcanServer::command(const QByteArray &line)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_commands.append(line);
    }
    const Options o = options();
    const Ack ack = o.ack;
    const QByteArray ok = ack == Ack::None ? QByteArray() : QByteArray("\r");
    const QByteArray bell("\a");
    if (line.isEmpty() || line.at(0) == '\x1b')
        return; // wake-up and abort lines carry no command
    switch (line.at(0)) {
    case 'S':
        if (line.size() == 2 && line.at(1) >= '0' && line.at(1) <= '8') {
            m_bitrateCode = line.at(1) - '0';
            send(ok);
        } else {
            send(bell);
        }
        return;
    case 'O':
    case 'C':
        if (line.size() != 1) {
            send(bell);
            return;
        }
        m_channelOpen = line.at(0) == 'O';
        send(ok);
        return;
    case 't':
    case 'T':
    case 'r':
    case 'R': {
        SimCanFrame frame;
        if (!m_channelOpen || o.bellOnFrames || !parseLine(line, frame)) {
            send(bell);
            return;
        }
        if (ack == Ack::Z)
            send(frame.extended ? QByteArray("Z\r") : QByteArray("z\r"));
        else
            send(ok);
        m_bus.transmit(frame);
        return;
    }
    default:
        send(bell);
    }
}

void SlcanServer::forwardBusFrames()
{
    SimCanFrame frame;
    while (!m_stop && m_bus.take(frame, 0)) {
        if (!m_channelOpen)
            continue; // a closed adapter drops what it hears
        const Options o = options();
        if (!pause(o.delayMs))
            return;
        send(lineFor(frame, o.lowerCaseHex));
    }
}

void SlcanServer::serve()
{
    QByteArray pending;
    while (!m_stop) {
        if (m_unplugged) {
            if (!m_lineClosed)
                closeLine();
            pause(kPollMs);
            continue;
        }
        pending += m_pty.read(kPollMs);
        int cr;
        while ((cr = pending.indexOf('\r')) >= 0 && !m_stop) {
            const QByteArray line = pending.left(cr);
            pending.remove(0, cr + 1);
            command(line);
            forwardBusFrames();
        }
        if (pending.size() > kMaxLine) {
            pending.clear();
            send("\a");
        }
        forwardBusFrames();
    }
}
