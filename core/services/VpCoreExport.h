// Symbol visibility of the core library: exported when building it, imported by its users.
#pragma once

#include <QtCore/qglobal.h>

#if defined(VPCORE_LIBRARY)
#define VPCORE_EXPORT Q_DECL_EXPORT
#else
#define VPCORE_EXPORT Q_DECL_IMPORT
#endif
