#include "portkey_p.h"

namespace ch {
namespace platform {

QString windowsPortKey(const QString &portName)
{
    return portName.mid(3).rightJustified(3, QLatin1Char('0'));
}

QString naturalPortKey(const QString &portName)
{
    QString key;
    key.reserve(portName.size() + 16);
    int i = 0;
    while (i < portName.size()) {
        if (!portName.at(i).isDigit()) {
            key += portName.at(i++);
            continue;
        }
        int end = i;
        while (end < portName.size() && portName.at(end).isDigit())
            ++end;
        key += portName.mid(i, end - i).rightJustified(10, QLatin1Char('0'));
        i = end;
    }
    return key;
}

} // namespace platform
} // namespace ch
