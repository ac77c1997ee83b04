#include "makers/CAstrelPrior.h"

#include <string_view>

#include "driver/HostNumbers.h"
#include "driver/LimitTest.h"
#include "driver/ModelTable.h"
#include "driver/ReplyFields.h"

namespace {

constexpr astrel::ModelEntry kModels[] = {{"ProScan", 3}};
constexpr int16_t kUnitCount = 1;
constexpr const char* kSettingUnit = "1-100";

constexpr size_t kAxes = 3;  // X, Y, Z
constexpr uint16_t kAnyAxis = 0xFFFF;
// The limit bits of "LMT:": two for each axis.
constexpr uint32_t kLimitBits[kAxes] = {0x03, 0x0C, 0x30};
// A jog runs towards its value times this factor.
constexpr auto kJogFactor = static_cast<int32_t>(0x8FFFFFFFu);

}  // namespace

// ---------------------------------------------------------------- catalogue

int32_t CAstrelPrior::GetStageList(int16_t index, int32_t* axisCount, char* name) {
    return astrel::ListModel(kModels, index, axisCount, name);
}

int32_t CAstrelPrior::GetSpeedUnitList(int16_t index, char* name) {
    return astrel::ListUnit(kSettingUnit, kUnitCount, index, name);
}

int32_t CAstrelPrior::GetAcclUnitList(int16_t index, char* name) {
    return astrel::ListUnit(kSettingUnit, kUnitCount, index, name);
}

// ---------------------------------------------------------------- queries

bool CAstrelPrior::QueryHex(const char* query, Resend resend, uint32_t& value) {
    Reply reply;
    return Query(CommandLine("%s", query), reply, resend) &&
           astrel::ReadHexField(reply.View(), value);
}

int32_t CAstrelPrior::GetStageStatus() {
    // A read that fails is asked once more; any bit set in the reply means motion.
    uint32_t moving = 0;
    if (!QueryHex("$:", Resend::kOnce, moving)) return kStatusNoReply;
    return moving != 0 ? kStatusMoving : kStatusAtRest;
}

CAstrelBase::Motion CAstrelPrior::QueryMotion() {
    GetStageStatus();  // the controller is asked twice; only the second answer counts
    switch (GetStageStatus()) {
        case kStatusMoving:
            return kMotionMoving;
        case kStatusAtRest:
            return kMotionAtRest;
        default:
            return kMotionUnknown;
    }
}

int32_t CAstrelPrior::IsStopByLimit(uint16_t axis) {
    if (axis != kAnyAxis && axis >= kAxes) return astrel::NoSuchAxis(axis);
    uint32_t limits = 0;
    if (!QueryHex("LMT:", Resend::kNo, limits)) return Unanswered();
    const uint32_t mask = axis == kAnyAxis ? ~0u : kLimitBits[axis];
    return (limits & mask) != 0 ? 1 : 0;
}

int32_t CAstrelPrior::GetStagePosition(int32_t* x, int32_t* y, int32_t* z) {
    Reply reply;
    if (!Query(CommandLine("P:"), reply)) return 0;
    // "x,y,z": each of the three pieces must be a number; pieces past the third are ignored.
    std::string_view pieces[kAxes];
    int32_t position[kAxes] = {};
    if (astrel::SplitFields(reply.View(), ',', pieces, kAxes) < kAxes) return 0;
    for (size_t axis = 0; axis < kAxes; ++axis) {
        if (!astrel::ReadLeadingDecimal(pieces[axis], position[axis])) return 0;
    }
    int32_t* const outputs[kAxes] = {x, y, z};
    for (size_t axis = 0; axis < kAxes; ++axis) {
        if (outputs[axis] != nullptr) *outputs[axis] = position[axis];
    }
    return 1;
}

// ---------------------------------------------------------------- commands

int32_t CAstrelPrior::MoveABS(int32_t x, int32_t y, int32_t z) {
    return PurgeAndSend(CommandLine("G:%d,%d,%d", x, y, z));
}

int32_t CAstrelPrior::MoveREL(int32_t x, int32_t y, int32_t z) {
    return PurgeAndSend(CommandLine("GR:%d,%d,%d", x, y, z));
}

int32_t CAstrelPrior::SetStagePosition(int32_t x, int32_t y, int32_t z) {
    return PurgeAndSend(CommandLine("P:%d,%d,%d", x, y, z));
}

int32_t CAstrelPrior::MoveOriginPosition() {
    return PurgeAndSend(CommandLine("M"));
}

int32_t CAstrelPrior::StopMove() {
    return PurgeAndSend(CommandLine("I:"));
}

int32_t CAstrelPrior::StopNow() {
    return PurgeAndSend(CommandLine("K:"));
}

int32_t CAstrelPrior::JogTarget(int16_t jog) {
    return astrel::WrappingProduct(jog, kJogFactor);
}

int32_t CAstrelPrior::MoveJOG(int16_t x, int16_t y, int16_t z) {
    const int32_t tx = JogTarget(x), ty = JogTarget(y), tz = JogTarget(z);
    // Three jogging axes go at once; fewer are preceded by a stop, and a jog
    // of X or Y leaves Z as it is.
    if (x != 0 && y != 0 && z != 0) return PurgeAndSend(CommandLine("G:%d,%d,%d", tx, ty, tz));
    if (PurgeAndSend(CommandLine("I")) == 0) return 0;
    if (x != 0 && y != 0) return Send(CommandLine("G:%d,%d", tx, ty));
    if (x != 0) return Send(CommandLine("GX:%d", tx));
    if (y != 0) return Send(CommandLine("GY:%d", ty));
    if (z != 0) return Send(CommandLine("V:%d", tz));
    return 1;
}

int32_t CAstrelPrior::SetMoveSpeeds(int16_t axis, int32_t /*start*/, int32_t max, int32_t accel) {
    const auto which = static_cast<uint16_t>(axis);
    if (which >= kAxes) return 0;
    const bool z = which == 2;
    if (PurgeAndSend(CommandLine(z ? "SMZ:%d" : "SMS:%d", max)) == 0) return 0;
    return Send(CommandLine(z ? "SAZ:%d" : "SAS:%d", accel));
}

int32_t CAstrelPrior::SetStageDirection(int32_t axis, int32_t direction) {
    constexpr const char* kFormats[kAxes] = {"JXD:%d", "JYD:%d", "JZD:%d"};
    if (axis < 0 || static_cast<uint32_t>(axis) >= kAxes) return 0;
    return PurgeAndSend(CommandLine(kFormats[axis], direction == 1 ? 1 : -1));
}
