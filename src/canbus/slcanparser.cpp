#include "slcanparser_p.h"

namespace {
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool readHex(const char *text, int digits, quint32 &value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0)
            return false;
        value = (value << 4) | static_cast<quint32>(d);
    }
    return true;
}

bool isFrameLetter(char c)
{
    return c == 't' || c == 'T' || c == 'r' || c == 'R';
}
} // namespace

void SlcanLineParser::reset()
{
    m_text.clear();
    m_state = 0;
    m_pos = 0;
}

void SlcanLineParser::append(const QByteArray &bytes)
{
    m_text.append(bytes);
}

SlcanLineParser::Event SlcanLineParser::step(
    QByteArray &text, int &state, int &pos, bool framesEnabled, CanMessage &frame)
{
    while (pos < text.size()) {
        if (state == 0) {
            const char c = text.at(0);
            if (isFrameLetter(c)) {
                state = 1;
                pos = 1;
                continue;
            }
            text.remove(0, 1);
            if (c == '\r')
                return Event::Ack;
            if (c == '\a')
                return Event::Nak;
            continue; // anything else between lines is dropped ("z" of "z\r" included)
        }
        const int cr = text.indexOf('\r', pos);
        if (cr < 0)
            pos = text.size();
        if (cr > MaxLineLength || (cr < 0 && pos > MaxLineLength)) {
            // No valid line is this long: give up on its letter and resynchronise on the rest,
            // whether or not its carriage return has arrived yet, so that the outcome does not
            // depend on how the line was cut into reads.
            text.remove(0, 1);
            state = 0;
            pos = 0;
            continue;
        }
        if (cr < 0)
            return Event::None;
        const bool parsed = framesEnabled && parseLine(text.constData(), cr, frame);
        text.remove(0, cr + 1);
        state = 0;
        pos = 0;
        if (parsed)
            return Event::Frame;
    }
    return Event::None;
}

bool SlcanLineParser::parseLine(const char *line, int size, CanMessage &frame)
{
    if (size < 1 || !isFrameLetter(line[0]))
        return false;
    const bool extended = line[0] == 'T' || line[0] == 'R';
    const bool remote = line[0] == 'r' || line[0] == 'R';
    const int idDigits = extended ? 8 : 3;
    if (size < 2 + idDigits)
        return false;
    quint32 id = 0;
    if (!readHex(line + 1, idDigits, id))
        return false;
    const char lengthChar = line[1 + idDigits];
    if (lengthChar < '0' || lengthChar > '9')
        return false;
    const int length = qMin(lengthChar - '0', 8);
    CanMessage result;
    result.id = id;
    result.extended = extended;
    result.remote = remote;
    result.length = length;
    if (!remote) {
        const char *digits = line + 2 + idDigits;
        if (size < 2 + idDigits + 2 * length)
            return false; // shorter than its declared length: never read past the line
        for (int i = 0; i < length; ++i) {
            quint32 byte = 0;
            if (!readHex(digits + 2 * i, 2, byte))
                return false;
            result.data[i] = static_cast<quint8>(byte);
        }
    }
    frame = result;
    return true;
}
