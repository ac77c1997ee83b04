#include "StageState.h"

#include "Json.h"
#include "StatusText.h"

namespace astrel::tool {

std::string StageState::Json() const {
    JsonObject json;
    json.Bool("connected", connected)
        .Text("maker", maker)
        .Text("model", model)
        .Text("device", device)
        .Number("makerType", makerType)
        .Number("epoch", static_cast<int64_t>(epoch));
    if (position) {
        json.Triple("position", *position);
    } else {
        json.Raw("position", "null");
    }
    if (target) {
        json.Triple("target", *target);
    } else {
        json.Raw("target", "null");
    }
    const bool known = connected && status >= 0;
    // Moving, at a limit (one of the axes the last motion drove, as
    // IsStopByLimitEx tells) and no reply have lights of their own; the error
    // light takes the statuses that are none of these nor at rest (7, and the
    // makers' own 2, 3, 5).
    json.Bool("stale", stale)
        .Number("status", status)
        .Text("statusText", known ? StatusMeaning(makerType, status) : "")
        .Bool("moving", known && status == 1)
        // null until asked, after the stage came to rest
        .Raw("limit", connected && atLimit ? (*atLimit ? "true" : "false") : "null")
        .Bool("noReply", connected && (status == 6 || stale))
        .Bool("error", known && status != 0 && status != 1 && status != 4 && status != 6)
        .Text("pollError", pollError)
        .Number("polls", static_cast<int64_t>(polls))
        .Bool("jogging", jogging)
        .Number("messages", static_cast<int64_t>(messages))
        .Text("message", message)
        .Bool("messageIsError", messageIsError);
    return json.Close();
}

}  // namespace astrel::tool
