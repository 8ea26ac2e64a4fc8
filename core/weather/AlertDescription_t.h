// The full text of one weather alert, read from its CAP document by the details retriever and
// shown by the alert details panel under the alert's headline.
#pragma once

#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

struct VPCORE_EXPORT AlertDescription_t {
    AlertDescription_t(const std::string& description, const std::string& instruction,
                       const std::string& event);

    // The event in upper case, the description, then the instruction, wrapped to width
    // columns. Never throws: on a failure the text comes back unwrapped.
    std::string toDisplayString(unsigned int width) const;

    std::string description;
    std::string instruction;
    std::string event;
};

}  // namespace vpcore
