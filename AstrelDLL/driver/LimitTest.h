// IsStopByLimit for a driver whose status query tells the limits: the steps
// every such driver takes, around its own query and its own limit letters.
#pragma once

#include <cstdint>

#include "diag/LastError.h"
#include "driver/CAstrelBase.h"

namespace astrel {

// The answer to a limit test of an axis the stage does not have: 0, and the
// call counts as failed, so that IsStopByLimitEx can tell it from "not at a limit".
inline int32_t NoSuchAxis(uint16_t axis) {
    NoteNoSuchAxis(axis);
    return 0;
}

// 0, nothing sent, for a single axis the driver does not answer
// (`answersAxis` false); otherwise runs `query` (a status code) and gives 0
// when it had no usable reply, for axis 0xFFFF whether the code is the limit
// code, and for a single axis whether `limitOn()` (asked after the query) holds.
template <typename Query, typename LimitOn>
int32_t TestLimit(uint16_t axis, bool answersAxis, Query query, LimitOn limitOn) {
    const bool anyAxis = axis == 0xFFFF;
    if (!anyAxis && !answersAxis) return NoSuchAxis(axis);
    const int32_t code = query();
    if (code == CAstrelBase::kStatusNoReply) return CAstrelBase::Unanswered();
    if (anyAxis) return code == CAstrelBase::kStatusLimit ? 1 : 0;
    return limitOn() ? 1 : 0;
}

}  // namespace astrel
