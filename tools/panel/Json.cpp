#include "Json.h"

#include <cstdio>

namespace astrel::tool {

std::string JsonText(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string JsonArray(const std::vector<std::string>& items) {
    // Appended piece by piece: a literal put in front of a temporary string
    // makes g++ 12 warn, at -O2 and above, of overlapping copies that cannot happen.
    std::string json = "[";
    for (const std::string& item : items) {
        if (json.size() > 1) json += ',';
        json += item;
    }
    json += ']';
    return json;
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
    if (text_.size() > 1) text_ += ',';
    text_ += JsonText(key);
    text_ += ':';
    text_ += json;
    return *this;
}

JsonObject& JsonObject::Number(std::string_view key, int64_t value) {
    return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
    return Raw(key, value ? "true" : "false");
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view value) {
    return Raw(key, JsonText(value));
}

JsonObject& JsonObject::Triple(std::string_view key, const Xyz& xyz) {
    return Raw(key,
               JsonArray({std::to_string(xyz[0]), std::to_string(xyz[1]), std::to_string(xyz[2])}));
}

}  // namespace astrel::tool
