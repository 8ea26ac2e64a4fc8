#include "weather/UnsupportedStateException.h"

namespace vpcore {

UnsupportedStateException::UnsupportedStateException(const std::string& message)
    : message(message) {}

UnsupportedStateException::UnsupportedStateException(const UnsupportedStateException& other) =
    default;

UnsupportedStateException& UnsupportedStateException::operator=(
    const UnsupportedStateException& other) = default;

UnsupportedStateException::~UnsupportedStateException() = default;

const char* UnsupportedStateException::what() const noexcept {
    return message.c_str();
}

}  // namespace vpcore
