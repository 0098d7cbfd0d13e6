#pragma once

#include <QtCore/qglobal.h>

#if defined(COMMANDHANDLER_LIBRARY)
#define COMMANDHANDLER_EXPORT Q_DECL_EXPORT
#else
#define COMMANDHANDLER_EXPORT Q_DECL_IMPORT
#endif
