#include "socketcaninfo_p.h"

namespace ch {
namespace platform {

SocketCanLink querySocketCanLink(const QString &)
{
    SocketCanLink link;
    link.error = QStringLiteral("SocketCAN exists on Linux only");
    return link;
}

bool decodeSocketCanLink(const void *, std::size_t, SocketCanLink &)
{
    return false;
}

} // namespace platform
} // namespace ch
