#include "weather/AlertDescription_t.h"

#include <QString>
#include <exception>

#include "services/Logger.h"
#include "services/StringUtils.h"

namespace vpcore {

AlertDescription_t::AlertDescription_t(const std::string& description,
                                       const std::string& instruction, const std::string& event)
    : description(description), instruction(instruction), event(event) {}

std::string AlertDescription_t::toDisplayString(unsigned int width) const {
    // toUpper of QString, as the event may hold characters beyond ASCII.
    const std::string raw = QString::fromStdString(event).toUpper().toStdString() + "\n" +
                            description + "\n\n" + instruction + "\n";
    try {
        return StringUtils::wrapText(raw, width);
    } catch (const std::exception& e) {
        Logger::Instance().log("ERROR",
                               std::string("exception parsing alert description for display "
                                           "string:") +
                                   e.what() + ". Returning raw string");
    } catch (...) {
        Logger::Instance().log("ERROR",
                               "unknown exception parsing alert description for display string: "
                               "Returning raw string");
    }
    return raw;
}

}  // namespace vpcore
