#pragma once
// Settings and small helpers shared by the collectors.
//
// The hosts of the public services the collectors use. Each can be changed
// without recompiling, for a service that has moved or for a test server:
// first the environment (MIREVA_WEATHER_HOST, MIREVA_MAP_HOST,
// MIREVA_AIRPHOTO_HOST, MIREVA_SKY_HOST), then the key of the same kind in the
// section [Hosts] of "Collectors.ini" in the working folder (Weather=, Map=,
// AirPhoto=, Sky=), else the built-in default. A host may carry a port
// ("127.0.0.1:8080"). Texts are Shift_JIS.
#include <string>

namespace mireva {

struct CallResult;

enum class Service { Weather, Map, AirPhoto, Sky };

std::string ServiceHost(Service service);
// "http://" + host
std::string ServiceTop(Service service);

// The current (working) folder as a Shift_JIS path without a trailing slash.
std::string CurrentFolder();

// The system's text for an error number, as Shift_JIS.
std::string SystemErrorText(int error);

// The status-bar word after a download list was made (or not).
std::string ListMadeText(const CallResult& made);

}  // namespace mireva
