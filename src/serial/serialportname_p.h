#pragma once

#include <QString>

namespace ch {
// Whether a port may be opened. `listed` tells whether the system's port list holds the name.
// Windows accepts listed "COM" names only; elsewhere a listed name or the full path of an
// existing character device (USB adapters by path, pseudo-terminals).
bool serialPortNameAccepted(const QString &name, bool listed);
} // namespace ch
