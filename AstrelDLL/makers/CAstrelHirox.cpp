#include "makers/CAstrelHirox.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "driver/LimitTest.h"
#include "driver/ModelTable.h"
#include "driver/ReplyFields.h"

using astrel::hirox::AxisStatus;

namespace {

struct ModelRow {
    const char* name;
    int32_t variant;
    int32_t axes;       // axes in use, X first
    int32_t axisCount;  // what the stage list reports: 1 for every CT-7 model
};

constexpr ModelRow kModels[] = {
    {"CT-7_2", CAstrelHirox::kCT7, 2, 1},
    {"CT-7_1", CAstrelHirox::kCT7, 1, 1},
    {"TH3", CAstrelHirox::kTH3, 3, 3},
};
constexpr int16_t kModelCount = static_cast<int16_t>(std::size(kModels));

// Controller axis numbers of X, Y and Z.
constexpr uint32_t kAxisNumbers[] = {1, 2, 3};

// STS bits the status codes come from.
constexpr uint32_t kBusyBit = 1u << 30;
constexpr uint32_t kErrorBit = 1u << 16;
constexpr uint32_t kReadyBit = 1u << 2;

// Other lines the controller may send before a status answer.
constexpr int kMaxStatusLines = 100;
constexpr int32_t kStatusLineSize = 128;

}  // namespace

// ---------------------------------------------------------------- models

int32_t CAstrelHirox::SelectStage() {
    const int found = astrel::FindModel(kModels, StageName());
    if (found < 0) return 0;
    axisCount_ = kModels[found].axes;
    variant_ = kModels[found].variant;
    return 1;
}

int32_t CAstrelHirox::GetStageList(int16_t index, int32_t* axisCount, char* name) {
    return astrel::ListModel(kModels, index, axisCount, name);
}

int32_t CAstrelHirox::GetSpeedUnitList(int16_t index, char* name) {
    return astrel::ListUnit("pps", kModelCount, index, name);
}

int32_t CAstrelHirox::GetAcclUnitList(int16_t index, char* name) {
    return astrel::ListUnit("msec", kModelCount, index, name);
}

int32_t CAstrelHirox::GetFunctionProperty(int32_t property, uint32_t* value) {
    // Property 0 reads 0 and property 1 reads 1; there are no others.
    if (value == nullptr || property < 0 || property > 1) return 0;
    *value = static_cast<uint32_t>(property);
    return 1;
}

int CAstrelHirox::AxesInUse() const {
    return std::clamp(axisCount_, 0, kMaxAxes);
}

// ---------------------------------------------------------------- sending

int32_t CAstrelHirox::SendLine(const CommandLine& command) {
    return command.Ok() && SendCommand(command.Text(), 1) != 0 ? 1 : 0;
}

int32_t CAstrelHirox::SendLines(std::initializer_list<CommandLine> commands) {
    for (const CommandLine& command : commands) {
        if (SendLine(command) == 0) return 0;
    }
    return 1;
}

template <typename SendAxis>
int32_t CAstrelHirox::PerAxis(SendAxis send) {
    for (int axis = 0; axis < AxesInUse(); ++axis) {
        if (send(axis, kAxisNumbers[axis]) == 0) return 0;
    }
    return 1;
}

// ---------------------------------------------------------------- status

int32_t CAstrelHirox::QueryAxisStatus(uint32_t axis, AxisStatus& status) {
    if (SendLine(CommandLine("@STS %u ?", axis)) == 0) return 0;
    // The answer is the first line that begins with "@". Other lines are
    // passed over, at most 100 of them and only while one time-out since the
    // query has not passed, so a controller that trickles other lines cannot
    // hold the search for a time-out per line.
    const uint32_t start = Now();
    char line[kStatusLineSize];
    for (int read = 0; read < kMaxStatusLines; ++read) {
        line[0] = '\0';
        if (ReadLine(line, kStatusLineSize) == 0) return 0;
        line[kStatusLineSize - 1] = '\0';
        const std::string_view text = astrel::ReplyText(line, sizeof line);
        if (astrel::hirox::BeginsWithAt(text)) {
            return astrel::hirox::ParseStatusLine(text, axis, status) ? 1 : 0;
        }
        if (RemainingMs(start, TimeOutMs()) == 0) return 0;
    }
    return 0;
}

int32_t CAstrelHirox::GetAxisStatus(uint32_t axis) {
    AxisStatus status;
    if (QueryAxisStatus(axis, status) == 0) return kStatusNoReply;
    // Busy is tested first: a moving axis is moving whatever else it reports.
    if ((status.sts & kBusyBit) != 0) return kStatusMoving;
    if ((status.sts & kReadyBit) == 0) return kStatusNotReady;
    if ((status.sts & kErrorBit) != 0) return kStatusError;
    return kStatusAtRest;
}

int32_t CAstrelHirox::GetStageStatus() {
    // The first axis, X first, that is not at rest decides.
    for (int axis = 0; axis < AxesInUse(); ++axis) {
        const int32_t code = GetAxisStatus(kAxisNumbers[axis]);
        if (code != kStatusAtRest) return code;
    }
    return kStatusAtRest;
}

CAstrelBase::Motion CAstrelHirox::QueryMotion() {
    // Any moving axis makes the stage run, whatever the axes before it report.
    for (int axis = 0; axis < AxesInUse(); ++axis) {
        const int32_t code = GetAxisStatus(kAxisNumbers[axis]);
        if (code == kStatusMoving) return kMotionMoving;
        if (code == kStatusNoReply) return kMotionUnknown;
    }
    return kMotionAtRest;
}

int32_t CAstrelHirox::IsStopByLimit(uint16_t axis) {
    // No limit state is read from the status word: the axis is asked, its
    // answer dropped, and the result is always 0.
    const auto index = static_cast<int16_t>(axis);
    if (InUse(index)) {
        AxisStatus status;
        if (QueryAxisStatus(kAxisNumbers[index], status) == 0) return Unanswered();
    } else if (axis != 0xFFFF) {
        return astrel::NoSuchAxis(axis);
    }
    return 0;
}

int32_t CAstrelHirox::GetStagePosition(int32_t* x, int32_t* y, int32_t* z) {
    // Every axis in use is asked before anything is written; axes not in use read 0.
    int32_t positions[kMaxAxes] = {};
    for (int axis = 0; axis < AxesInUse(); ++axis) {
        AxisStatus status;
        if (QueryAxisStatus(kAxisNumbers[axis], status) == 0) return 0;
        positions[axis] = status.pos;
    }
    int32_t* const outputs[kMaxAxes] = {x, y, z};
    for (int axis = 0; axis < kMaxAxes; ++axis) {
        if (outputs[axis] != nullptr) *outputs[axis] = positions[axis];
    }
    return 1;
}

// ---------------------------------------------------------------- motion

int32_t CAstrelHirox::MoveABS(int32_t x, int32_t y, int32_t z) {
    const int32_t targets[kMaxAxes] = {x, y, z};
    return PerAxis([&](int axis, uint32_t n) {
        return SendLine(CommandLine("@PTP %u 8000H %d", n, targets[axis]));  // 8000H: absolute
    });
}

int32_t CAstrelHirox::MoveREL(int32_t x, int32_t y, int32_t z) {
    const int32_t distances[kMaxAxes] = {x, y, z};
    return PerAxis([&](int axis, uint32_t n) {
        return SendLine(CommandLine("@PTP %u 0 %d", n, distances[axis]));
    });
}

int32_t CAstrelHirox::MoveJOG(int16_t x, int16_t y, int16_t z) {
    const int16_t directions[kMaxAxes] = {x, y, z};
    return PerAxis([&](int axis, uint32_t n) {
        if (directions[axis] < 0) return SendLine(CommandLine("@JGR %u", n));
        if (directions[axis] > 0) return SendLine(CommandLine("@JGF %u", n));
        return SendLine(CommandLine("@DCL %u -1", n));  // a held axis decelerates to a stop
    });
}

int32_t CAstrelHirox::MoveOriginPosition() {
    return PerAxis([this](int, uint32_t n) { return SendLine(CommandLine("@ORG %u", n)); });
}

int32_t CAstrelHirox::StopMove() {
    return PerAxis([this](int, uint32_t n) { return SendLine(CommandLine("@DCL %u -1", n)); });
}

int32_t CAstrelHirox::StopNow() {
    return PerAxis([this](int, uint32_t n) { return SendLine(CommandLine("@EMR %u", n)); });
}

int32_t CAstrelHirox::SetStagePosition(int32_t x, int32_t y, int32_t z) {
    const int32_t positions[kMaxAxes] = {x, y, z};
    return PerAxis([&](int axis, uint32_t n) {
        // "@ORG n -1" makes the present position the origin.
        if (positions[axis] == 0) return SendLine(CommandLine("@ORG %u -1", n));
        return SendLine(CommandLine("@POS %u %d", n, positions[axis]));
    });
}

// ---------------------------------------------------------------- set-up

int32_t CAstrelHirox::SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) {
    if (start < 1 || max < 1 || accel < 0 || !InUse(axis)) return 0;
    const uint32_t n = kAxisNumbers[axis];
    // Parameters 4 to 8: maximum speed, start speed (twice), acceleration time (twice).
    if (variant_ == kTH3) {
        return SendLines(
            {CommandLine("@SYS %u 4 %d", n, max), CommandLine("@SYS %u 5 %d", n, start),
             CommandLine("@SYS %u 7 %d", n, accel), CommandLine("@SYS %u 8 %d", n, accel)});
    }
    return SendLine(
        CommandLine("@SYS %u 4 %d, %d, %d, %d, %d", n, max, start, start, accel, accel));
}

int32_t CAstrelHirox::SetAxisSpeedParam(int16_t axis, int32_t first, int32_t second,
                                        int32_t third) {
    if (first < 1 || second < 1 || third < 0 || !InUse(axis)) return 0;
    const uint32_t n = kAxisNumbers[axis];
    // Parameter 13 takes the second value, parameter 14 the first.
    if (variant_ == kTH3) {
        return SendLines(
            {CommandLine("@SYS %u 13 %d", n, second), CommandLine("@SYS %u 14 %d", n, first)});
    }
    return SendLine(CommandLine("@SYS %u 13 %d, %d", n, second, first));
}

int32_t CAstrelHirox::RemoteStage(int32_t mode) {
    if (SendLine(CommandLine("@MOD %u", 0u)) == 0) return 0;
    if (mode == 0) return 1;
    return PerAxis([this](int, uint32_t n) {
        return SendLines({CommandLine("@POS %u OFF ?", n + 1), CommandLine("@POS %u OFF ?", n),
                          CommandLine("@INI %u 0", n), CommandLine("@INI %u 1", n),
                          CommandLine("@INI %u 2", n)});
    });
}

int32_t CAstrelHirox::InitializeStage() {
    if (variant_ != kTH3) return 1;
    // "TH3" sets parameters 4 and 6 of its third axis.
    return SendLines(
        {CommandLine("@SYS %u 4 %d", 3u, 30000), CommandLine("@SYS %u 6 %d", 3u, 30000)});
}
