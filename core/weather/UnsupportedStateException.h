// Thrown by NWSCodeService::getStateAlertCodes for a state abbreviation it does not know or a
// state without county codes; the location page catches it and logs its text.
#pragma once

#include <exception>
#include <string>

#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT UnsupportedStateException : public std::exception {
public:
    explicit UnsupportedStateException(const std::string& message);
    UnsupportedStateException(const UnsupportedStateException& other);
    UnsupportedStateException& operator=(const UnsupportedStateException& other);
    ~UnsupportedStateException() override;

    const char* what() const noexcept override;

private:
    std::string message;
};

}  // namespace vpcore
