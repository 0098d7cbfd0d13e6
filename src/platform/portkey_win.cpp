#include "portkey_p.h"

QString ch::platform::portSortKey(const QString &portName)
{
    return windowsPortKey(portName);
}
