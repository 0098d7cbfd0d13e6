#include "serialportname_p.h"

namespace ch {
bool serialPortNameAccepted(const QString &name, bool listed)
{
    return listed && name.startsWith(QLatin1String("COM"));
}
} // namespace ch
