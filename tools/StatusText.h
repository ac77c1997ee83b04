// What a stage status code means, in words, for a maker.
#pragma once

#include <cstdint>
#include <string>

namespace astrel::tool {

// "at rest", "moving", "stopped at a limit", ... Codes 2, 3 and 5 mean
// different things to different makers.
std::string StatusMeaning(int16_t makerType, int32_t status);

}  // namespace astrel::tool
