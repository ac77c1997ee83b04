// The lists the panel's pickers offer, as JSON: the makers with their models
// and units, and the serial ports present.
#pragma once

#include <string>

namespace astrel::tool {

// [{"type":0,"name":"...","models":[{"name":"QT1","axes":1},...],"speedUnit":"pps",...}]
std::string CatalogueJson();

// [{"label":"...","port":0,"device":"/dev/ttyUSB0"},...]; `simulated`, when
// not empty, is a simulated controller's device, offered first.
std::string PortsJson(const std::string& simulated);

}  // namespace astrel::tool
