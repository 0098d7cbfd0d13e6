#include "console.h"

#include <QMetaObject>
#include <cstdlib>
#include <io.h>
#include <windows.h>

namespace {
// Runs in a thread of its own that the system starts for each control event.
BOOL WINAPI onControlEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    // A second Ctrl-C ends a command that does not come back from a blocking call.
    if (zapl::interruptCount().fetch_add(1) > 0)
        return FALSE;
    QMetaObject::invokeMethod(
        zapl::Interrupt::instance(), [] { zapl::notifyInterrupt(); }, Qt::QueuedConnection);
    return TRUE;
}
} // namespace

namespace zapl {

void installInterruptHandler()
{
    SetConsoleCtrlHandler(onControlEvent, TRUE);
}

bool isTerminal(std::FILE *stream)
{
    return _isatty(_fileno(stream)) != 0;
}

} // namespace zapl
