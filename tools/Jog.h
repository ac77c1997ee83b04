// Jogging with "+" meaning plus on every maker. The library's MoveJOG keeps
// each controller family's own sense of a jog's direction, and one family
// (Prior's ProScan) runs a jog of +1 towards minus; hosts written for it rely
// on that. Every part of the tool that jogs (astrel jog, the demo, the panel)
// goes through here, so the tool's +1 always runs to plus.
#pragma once

#include <cstdint>

#include "Stage.h"

namespace astrel::tool {

// The side a MoveJOG of +1 runs to on this maker's controllers: 1 plus, -1 minus.
int JogSign(int16_t makerType);

// Starts a jog of each axis towards -1, 0 or 1 as the tool means them (1
// is plus); the result of MoveJOG.
int32_t StartJog(const Stage& stage, const Xyz& directions);

}  // namespace astrel::tool
