// The host of each outside service (NWS feeds, radar images, the home site, ...) is a named
// default that an environment variable overrides with "host" or "host:port", so the program
// and its tests can be pointed at a server on 127.0.0.1. Read anew at every call.
#pragma once

#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

// The value of the environment variable when it is set and not blank, else defaultHost.
VPCORE_EXPORT std::string serviceHost(const char* variable, const std::string& defaultHost);

// "scheme://host[:port]" for services whose default is reached over HTTPS: the variable's
// value gets "http://" unless it names its scheme; defaultRoot names its own.
VPCORE_EXPORT std::string serviceRoot(const char* variable, const std::string& defaultRoot);

}  // namespace vpcore
