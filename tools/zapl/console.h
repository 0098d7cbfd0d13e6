#pragma once

#include <QObject>
#include <atomic>
#include <cstdio>
#include <functional>

namespace zapl {

// Ctrl-C (SIGINT, SIGTERM; on Windows the console's control events) for every command, handled
// here and nowhere else. The platform part only counts the event and wakes this object's thread;
// interrupted() is then emitted from the event loop, where Qt may be called.
class Interrupt : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    static Interrupt *instance();
    // Once, from main() after the application object exists.
    static void install();
    // True once Ctrl-C came; safe to poll between requests, also without an event loop.
    static bool requested();
    // For commands that run until stopped: Ctrl-C is their normal end, not an interruption.
    static void acknowledge();
    // Runs the event loop until Ctrl-C, until `ms` have passed (0: no limit), or until `ended`
    // (asked every 200 ms) says so; true when Ctrl-C ended it.
    static bool waitForInterrupt(int ms = 0, const std::function<bool()> &ended = {});

signals:
    void interrupted();
};

// Called by the platform part from the thread that owns Interrupt::instance().
void notifyInterrupt();
// The count of control events so far; the platform part increments it from its handler.
std::atomic<int> &interruptCount();
// The platform part: installs the handler that calls notifyInterrupt() (indirectly).
void installInterruptHandler();
// Whether the stream is an interactive terminal (the progress bar needs one).
bool isTerminal(std::FILE *stream);

} // namespace zapl
