// The one error type of a weather update: thrown by the provider base when a document cannot be
// fetched, parsed or used, and caught by the concrete provider, which reports it.
#pragma once

#include <exception>
#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

enum VpUpdateErrorCode {
    VP_PARSE_ERROR = 0,            // the body is not well-formed XML
    VP_NO_NETWORK_CONNECTION = 1,  // the fetch failed and the network is not reachable
    VP_UNSUPPORTED_DOCUMENT = 2,   // a required element is missing
    VP_RETRIEVAL_ERROR = 3         // the fetch failed while the network is reachable
};

class VPCORE_EXPORT VpUpdateException : public std::exception {
public:
    VpUpdateException(const std::string& message, VpUpdateErrorCode errorCode);
    ~VpUpdateException() override;

    const char* what() const noexcept override;
    VpUpdateErrorCode getErrorCode() const { return errorCode; }

private:
    std::string message;
    VpUpdateErrorCode errorCode;
};

}  // namespace vpcore
