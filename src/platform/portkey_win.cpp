#include "portkey_p.h"

#include "portclassifier_p.h"

QString ch::platform::portSortKey(const QString &portName)
{
    return discovery::windowsPortKey(portName);
}
