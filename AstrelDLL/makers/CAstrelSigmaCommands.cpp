// Sigma driver: moves, stops, origin, speeds, remote mode, properties and
// the trigger output. The controller answers every command with "OK" or,
// when it refuses it, "NG": each command here is acknowledged before the
// next is sent, and a refusal or a missing acknowledgement is a failure.
#include <algorithm>

#include "driver/HostNumbers.h"
#include "driver/ReplyFields.h"
#include "makers/CAstrelSigma.h"

using astrel::Magnitude;
using astrel::SignOf;

// ---------------------------------------------------------------- moves and stops

int32_t CAstrelSigma::SendMove(const char* oneAxis, const char* twoAxes, int32_t x, int32_t y) {
    const CommandLine target =
        axisCount_ == 1 ? CommandLine(oneAxis, SignOf(x), Magnitude(x))
                        : CommandLine(twoAxes, SignOf(x), Magnitude(x), SignOf(y), Magnitude(y));
    if (Acknowledged(target) == 0) return 0;
    return Acknowledged(CommandLine("%s", Row().start));
}

int32_t CAstrelSigma::MoveABS(int32_t x, int32_t y, int32_t /*z*/) {
    return SendMove("A:1%cP%u", "A:w%cP%u%cP%u", x, y);
}

int32_t CAstrelSigma::MoveREL(int32_t x, int32_t y, int32_t /*z*/) {
    return SendMove("M:1%cP%u", "M:w%cP%u%cP%u", x, y);
}

int32_t CAstrelSigma::MoveOriginPosition() {
    return Acknowledged(CommandLine("%s", Row().origin));
}

int32_t CAstrelSigma::StopMove() {
    return Acknowledged(CommandLine("%s", Row().stop));
}

int32_t CAstrelSigma::StopNow() {
    return Acknowledged(CommandLine("L:E"));
}

int32_t CAstrelSigma::SetStagePosition(int32_t x, int32_t y, int32_t z) {
    // Only the present position can be made the origin.
    if (x != 0 || y != 0 || z != 0 || Row().zero == nullptr) return 0;
    return Acknowledged(CommandLine("%s", Row().zero));
}

// ---------------------------------------------------------------- speeds and modes

int32_t CAstrelSigma::SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) {
    if (axis < 0 || !HasAxis(static_cast<uint16_t>(axis))) return 0;
    const int controllerAxis = axis + 1;
    if (family_ != kFC101G) {
        return Acknowledged(CommandLine("D:%dS%dF%dR%d", controllerAxis, start, max, accel));
    }
    // The FC-101G takes the start speed from its own settings and the ramp
    // time in tenths of a millisecond.
    if (Acknowledged(CommandLine("D:%dF%d", controllerAxis, max)) == 0) return 0;
    if (accel < 1) return 1;
    const auto tenths = static_cast<int32_t>(std::min<int64_t>(int64_t{accel} * 10, INT32_MAX));
    return Acknowledged(CommandLine("ACC:%d %d", controllerAxis, tenths));
}

int32_t CAstrelSigma::RemoteStage(int32_t mode) {
    if (family_ == kMark102) return 0;
    if (IsShot()) return Acknowledged(CommandLine(mode != 0 ? "P:H" : "P:R"));
    // FC-101G: asks its mode first and switches only when it differs.
    // The last line the controller sent is the answer.
    Reply reply;
    if (!Query(CommandLine("MODE?"), reply)) return 0;
    const bool local = astrel::EqualsIgnoringAsciiCase(reply.View(), "LOCAL");
    if (!local && !astrel::EqualsIgnoringAsciiCase(reply.View(), "REMOTE")) return 0;
    if (local && mode != 0) return Acknowledged(CommandLine("MODE:REMOTE"));
    if (!local && mode == 0) return Acknowledged(CommandLine("MODE:LOCAL"));
    return 1;
}

int32_t CAstrelSigma::GetFunctionProperty(int32_t property, uint32_t* value) {
    if (value == nullptr) return 0;
    if (property != 0 && (property != 1 || family_ != kFC101G)) return 0;
    *value = 0;
    return 1;
}

// ---------------------------------------------------------------- trigger output

int32_t CAstrelSigma::SetTrigger(int16_t first, int32_t second) {
    return IsShot() ? Acknowledged(CommandLine("T:P%dP%d", first + 1, second)) : 0;
}

int32_t CAstrelSigma::OnceTrigger() {
    return IsShot() ? Acknowledged(CommandLine("T:M")) : 0;
}

int32_t CAstrelSigma::StopTrigger() {
    return IsShot() ? Acknowledged(CommandLine("T:S")) : 0;
}

int32_t CAstrelSigma::GetTriggerRange(int32_t* lower, int32_t* upper) {
    if (!IsShot() || lower == nullptr || upper == nullptr) return 0;
    *lower = 2;
    *upper = 30000;
    return 1;
}
