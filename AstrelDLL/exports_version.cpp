// The export that tells a host which version of the library it loaded.
#include <algorithm>
#include <cstring>

#include "Astrel.h"

namespace {

// From the project's version, given by the build.
constexpr int32_t kVersion =
    ASTREL_VERSION_MAJOR * 10000 + ASTREL_VERSION_MINOR * 100 + ASTREL_VERSION_PATCH;

#define ASTREL_TEXT(x) #x
#define ASTREL_VERSION_TEXT(major, minor, patch) \
    ASTREL_TEXT(major) "." ASTREL_TEXT(minor) "." ASTREL_TEXT(patch)
constexpr char kVersionText[] =
    ASTREL_VERSION_TEXT(ASTREL_VERSION_MAJOR, ASTREL_VERSION_MINOR, ASTREL_VERSION_PATCH);

}  // namespace

extern "C" {

ASTREL_API int32_t AstrelVersion(char* text, int32_t size) {
    if (text != nullptr && size > 0) {
        const size_t n = std::min(sizeof kVersionText - 1, static_cast<size_t>(size) - 1);
        std::memcpy(text, kVersionText, n);
        text[n] = '\0';
    }
    return kVersion;
}

}  // extern "C"
