#include "PortList.h"

#include <glob.h>

#include <cstdlib>

namespace astrel::tool {

namespace {

constexpr int kPortIndexes = 10;
constexpr const char* kDevicePatterns[] = {"/dev/ttyS*", "/dev/ttyUSB*", "/dev/ttyACM*",
                                           "/dev/serial/by-id/*"};

void AddMatches(const char* pattern, std::vector<PortChoice>& ports) {
    glob_t found{};
    if (::glob(pattern, 0, nullptr, &found) == 0) {
        for (size_t i = 0; i < found.gl_pathc; ++i) {
            ports.push_back({found.gl_pathv[i], -1, found.gl_pathv[i]});
        }
    }
    ::globfree(&found);
}

}  // namespace

std::vector<PortChoice> PresentPorts() {
    std::vector<PortChoice> ports;
    for (int index = 0; index < kPortIndexes; ++index) {
        const std::string variable = "ASTREL_COM" + std::to_string(index + 1);
        const char* path = std::getenv(variable.c_str());
        if (path == nullptr || *path == '\0') continue;
        ports.push_back(
            {"COM" + std::to_string(index + 1) + " (" + variable + "=" + path + ")", index, path});
    }
    for (const char* pattern : kDevicePatterns) AddMatches(pattern, ports);
    return ports;
}

}  // namespace astrel::tool
