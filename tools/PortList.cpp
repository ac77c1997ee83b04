#include "PortList.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace astrel::tool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKinds[] = {"ttyS", "ttyUSB", "ttyACM"};
// How far up from a tty's device its USB device may be (port, interface, device).
constexpr int kUsbLevels = 4;
constexpr int kPortVariables = 10;

// The first line of the sysfs attribute `file`; empty when there is none.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// (kind index, number) of a tty name such as "ttyUSB3"; kind -1 when it is
// none of the kinds listed.
std::pair<int, long> KindAndNumber(const std::string& name) {
    for (int kind = std::size(kKinds) - 1; kind >= 0; --kind) {
        const std::string prefix = kKinds[kind];
        const std::string digits = name.substr(std::min(prefix.size(), name.size()));
        if (name.starts_with(prefix) && !digits.empty() &&
            std::all_of(digits.begin(), digits.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return {kind, std::strtol(digits.c_str(), nullptr, 10)};
        }
    }
    return {-1, 0};
}

// Fills the USB fields from the USB device the tty `name` sits on, if any.
void ReadUsb(const fs::path& sysRoot, const std::string& name, PortInfo& port) {
    std::error_code error;
    const fs::path root = fs::canonical(sysRoot, error);
    fs::path at = fs::canonical(sysRoot / "class/tty" / name / "device", error);
    for (int level = 0; !error && level < kUsbLevels && at != root && at.has_parent_path();
         ++level, at = at.parent_path()) {
        if (!fs::exists(at / "idVendor")) continue;
        port.usbId = Attribute(at / "idVendor") + ":" + Attribute(at / "idProduct");
        port.manufacturer = Attribute(at / "manufacturer");
        port.product = Attribute(at / "product");
        port.serial = Attribute(at / "serial");
        return;
    }
}

// The link in devRoot/serial/by-id that points at the tty `name`.
std::string StablePath(const fs::path& devRoot, const std::string& name) {
    std::error_code error;
    for (fs::directory_iterator entry(devRoot / "serial/by-id", error), end; !error && entry != end;
         entry.increment(error)) {
        const fs::path target = fs::read_symlink(entry->path(), error);
        if (!error && target.filename() == name) return entry->path().string();
        error.clear();
    }
    return {};
}

}  // namespace

std::vector<PortInfo> ListPorts(const std::string& sysRoot, const std::string& devRoot) {
    std::vector<std::tuple<int, long, PortInfo>> found;
    std::error_code error;
    for (fs::directory_iterator entry(fs::path(sysRoot) / "class/tty", error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        const auto [kind, number] = KindAndNumber(name);
        if (kind < 0) continue;
        PortInfo port;
        port.device = (fs::path(devRoot) / name).string();
        if (kind == 0) {
            // Every possible ttyS has an entry; type 0 means no UART answered there.
            port.uart = Attribute(entry->path() / "type");
            if (port.uart.empty() || port.uart == "0") continue;
        } else {
            ReadUsb(sysRoot, name, port);
        }
        port.byId = StablePath(devRoot, name);
        found.emplace_back(kind, number, std::move(port));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    std::vector<PortInfo> ports;
    for (auto& entry : found) ports.push_back(std::move(std::get<2>(entry)));
    return ports;
}

std::vector<PortSetting> PortSettings() {
    std::vector<PortSetting> settings;
    for (int n = 1; n <= kPortVariables; ++n) {
        std::string variable = "ASTREL_COM" + std::to_string(n);
        const char* value = std::getenv(variable.c_str());
        if (value != nullptr && *value != '\0') settings.push_back({n - 1, variable, value});
    }
    return settings;
}

std::vector<std::string> PortMappings() {
    std::vector<std::string> mappings;
    for (const PortSetting& s : PortSettings()) {
        mappings.push_back(s.variable + "=" + s.device + " (port index " + std::to_string(s.index) +
                           ")");
    }
    return mappings;
}

std::string FormatPorts(const std::vector<PortInfo>& ports,
                        const std::vector<std::string>& mappings) {
    std::string out;
    for (const PortInfo& port : ports) {
        out += port.device;
        if (!port.uart.empty()) out += "  UART (type " + port.uart + ")";
        if (!port.usbId.empty()) out += "  USB " + port.usbId;
        for (const std::string* text : {&port.manufacturer, &port.product}) {
            if (!text->empty()) out += "  " + *text;
        }
        if (!port.serial.empty()) out += "  serial " + port.serial;
        out += "\n";
        if (!port.byId.empty()) out += "    " + port.byId + "\n";
    }
    if (ports.empty()) out += "no serial ports found\n";
    for (const std::string& mapping : mappings) out += mapping + "\n";
    if (mappings.empty()) out += "no ASTREL_COM<n> set: port index n opens /dev/ttyS<n>\n";
    return out;
}

}  // namespace astrel::tool
