#include "serialportname_p.h"

#include <QFile>
#include <sys/stat.h>

namespace ch {
bool serialPortNameAccepted(const QString &name, bool listed)
{
    if (listed)
        return true;
    if (!name.startsWith(QLatin1Char('/')))
        return false;
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(name).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}
} // namespace ch
