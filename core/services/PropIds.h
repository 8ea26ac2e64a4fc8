// The ids under which values are published through the NotificationService. They are global
// to the application and fixed; the comment gives each id's value type.
#pragma once

namespace vpcore {

typedef short PropId;

constexpr PropId PROP_TEMP_F = 0;                   // float, degrees Fahrenheit
constexpr PropId PROP_TEMP_C = 1;                   // float, degrees Celsius
constexpr PropId PROP_FEELS_LIKE_F = 2;             // float
constexpr PropId PROP_FEELS_LIKE_C = 3;             // float
constexpr PropId PROP_DEWPOINT_F = 4;               // float
constexpr PropId PROP_DEWPOINT_C = 5;               // float
constexpr PropId PROP_PRESSURE_MB = 6;              // float
constexpr PropId PROP_PRESSURE_IN = 7;              // float
constexpr PropId PROP_RELATIVE_HUMIDITY = 8;        // int, percent
constexpr PropId PROP_WIND_MPH = 9;                 // float
constexpr PropId PROP_WIND_KMH = 10;                // float
constexpr PropId PROP_WIND_DIR = 11;                // std::string
constexpr PropId PROP_OBSERVATION_TIME = 12;        // std::string
constexpr PropId PROP_WEATHER = 13;                 // std::string
constexpr PropId PROP_VISIBILITY_MI = 14;           // float
constexpr PropId PROP_VISIBILITY_KM = 15;           // float
constexpr PropId PROP_LOCATION = 16;                // std::string
constexpr PropId PROP_CURRENT_LOCATION = 17;        // std::string, identity key of the location
constexpr PropId PROP_ICON_URL = 18;                // std::string
constexpr PropId PROP_PROVIDER_LINKS = 19;          // std::vector<std::pair<string, string>>
constexpr PropId PROP_PROVIDER_LOGO = 20;           // std::string
constexpr PropId PROP_PROVIDER_LINK = 21;           // std::string
constexpr PropId PROP_ALERTS_CHANGED = 22;          // event
constexpr PropId PROP_ALERT_NEW = 23;               // event
constexpr PropId PROP_ALERTS_EXPIRED = 24;          // event
constexpr PropId PROP_ALERT_DETAILS = 25;           // event
constexpr PropId PROP_ALERT_VIEWED = 26;            // event
constexpr PropId PROP_DEWPOINT_COMFORT_LEVEL = 27;  // std::string
constexpr PropId PROP_CONDITIONS_RESET = 28;        // event
constexpr PropId PROP_FORECAST_HI_LO = 29;          // std::pair<int, std::string>

}  // namespace vpcore
