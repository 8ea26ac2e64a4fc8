#include "display/TickDisplay.h"

namespace vpcore {

TickDisplay::TickDisplay(const std::string& label) : label(label) {}

TickDisplay::~TickDisplay() = default;

MajorTickDisplay::MajorTickDisplay() : TickDisplay(std::string()) {}

MajorTickDisplay::MajorTickDisplay(const std::string& label) : TickDisplay(label) {}

MinorTickDisplay::MinorTickDisplay() : TickDisplay(std::string()) {}

MinorTickDisplay::MinorTickDisplay(const std::string& label) : TickDisplay(label) {}

}  // namespace vpcore
