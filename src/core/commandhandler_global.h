#pragma once

/// \file
/// The export macro of the library.

#include <QtCore/qglobal.h>

#if defined(COMMANDHANDLER_LIBRARY)
#define COMMANDHANDLER_EXPORT Q_DECL_EXPORT
#else
/// Marks the exported classes: imports them in a host and exports them while the library is
/// built (COMMANDHANDLER_LIBRARY defined), so the same headers serve a Windows DLL and its users.
#define COMMANDHANDLER_EXPORT Q_DECL_IMPORT
#endif
