#pragma once

#include "canmessage.h"

#include <QByteArray>

// Incremental SLCAN receive parser without I/O. Feed it whatever arrived; it reports each
// acknowledge, bell and complete frame line. Garbage between lines is dropped character by
// character; an unfinished line waits for its carriage return.
class SlcanLineParser
{
public:
    enum class Event { None, Ack, Nak, Frame };

    // The longest valid line without its carriage return: "T", 8 id digits, length, 16 data
    // digits and the 4 digits of the time stamp that adapters may append.
    static constexpr int MaxLineLength = 30;

    void reset();
    void append(const QByteArray &bytes);
    // The next event, consuming input; None when more input is needed. Frame lines arriving
    // while framesEnabled is false are consumed and yield no frame.
    Event next(bool framesEnabled, CanMessage &frame) { return step(m_text, m_state, m_pos, framesEnabled, frame); }
    int pending() const { return m_text.size(); }

    // The same on state kept elsewhere: text not yet consumed, 0 between lines or 1 inside a
    // frame line, and the scan position inside that line.
    static Event step(QByteArray &text, int &state, int &pos, bool framesEnabled, CanMessage &frame);

    // Decodes one frame line (type letter through the last digit, no carriage return).
    // False for a line that is too short for its declared length or holds a non-hex digit.
    static bool parseLine(const char *line, int size, CanMessage &frame);

private:
    QByteArray m_text;
    int m_state = 0; // 0 between lines, 1 inside a frame line
    int m_pos = 0;
};
