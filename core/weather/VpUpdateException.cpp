#include "weather/VpUpdateException.h"

namespace vpcore {

VpUpdateException::VpUpdateException(const std::string& message, VpUpdateErrorCode errorCode)
    : message(message), errorCode(errorCode) {}

VpUpdateException::~VpUpdateException() = default;

const char* VpUpdateException::what() const noexcept {
    return message.c_str();
}

}  // namespace vpcore
