// JSON text for the panel's page: an object built field by field, with text
// escaped so that any bytes a controller or the library sends stay a string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Stage.h"

namespace astrel::tool {

// `text` as a JSON string, quotes included; control bytes are escaped.
std::string JsonText(std::string_view text);
// A JSON array of `items`, each JSON already.
std::string JsonArray(const std::vector<std::string>& items);

class JsonObject {
  public:
    JsonObject& Number(std::string_view key, int64_t value);
    JsonObject& Bool(std::string_view key, bool value);
    JsonObject& Text(std::string_view key, std::string_view value);
    // [x,y,z]
    JsonObject& Triple(std::string_view key, const Xyz& xyz);
    // A value that is JSON already (an array, an object, null).
    JsonObject& Raw(std::string_view key, std::string_view json);
    // The object's text, braces included.
    std::string Close() const { return text_ + "}"; }

  private:
    std::string text_ = "{";
};

}  // namespace astrel::tool
