#include "makers/CAstrelSuruga.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "driver/HostNumbers.h"
#include "driver/LimitTest.h"
#include "driver/ModelTable.h"
#include "driver/ReplyFields.h"

namespace {

constexpr astrel::ModelEntry kModels[] = {{"MSC-10", 3}};
constexpr int16_t kUnitCount = 1;

constexpr char kAxisLetters[] = "XYZ";
constexpr int kZ = 2;
constexpr uint16_t kAnyAxis = 0xFFFF;

// The status byte is a bit field: bits 0 to 3 flag the limits, bit 7 motion.
constexpr uint8_t kLimitBits = 0x0F;
constexpr uint8_t kMovingBit = 0x80;

// A jog is a relative move of this many counts per unit of direction.
constexpr int64_t kJogCounts = 99'999'999;

// The jog distance for `direction`. Directions beyond 21 would overflow 32
// bits; the distance saturates instead, so the stage still runs the way it
// was asked.
int32_t JogDistance(int16_t direction) {
    return static_cast<int32_t>(std::clamp<int64_t>(direction * kJogCounts, -INT32_MAX, INT32_MAX));
}

// The distance a relative move sends: the magnitude of `distance` as a 32-bit
// number. -2147483648 has no positive counterpart there: it wraps to itself
// and goes out as "-2147483648".
int32_t SentMagnitude(int32_t distance) {
    return static_cast<int32_t>(astrel::Magnitude(distance));
}

// The direction letter of a relative move: up for a positive distance, down
// for zero and below.
char DirectionLetter(int32_t distance) {
    return distance > 0 ? 'U' : 'D';
}

}  // namespace

// ---------------------------------------------------------------- catalogue

int32_t CAstrelSuruga::GetStageList(int16_t index, int32_t* axisCount, char* name) {
    return astrel::ListModel(kModels, index, axisCount, name);
}

int32_t CAstrelSuruga::GetSpeedUnitList(int16_t index, char* name) {
    return astrel::ListUnit("pps", kUnitCount, index, name);
}

int32_t CAstrelSuruga::GetAcclUnitList(int16_t index, char* name) {
    return astrel::ListUnit("msec", kUnitCount, index, name);
}

// ---------------------------------------------------------------- exchanges

int32_t CAstrelSuruga::RemoteStage(int32_t mode) {
    return PurgeAndSend(CommandLine("%s", mode != 0 ? "MODE3" : "MODE1"));
}

bool CAstrelSuruga::BeginExchange() {
    PurgeInput();
    return RemoteStage(1) == 1;
}

int32_t CAstrelSuruga::SendAfterRemote(std::initializer_list<CommandLine> commands) {
    if (!BeginExchange()) return 0;
    for (const CommandLine& command : commands) {
        if (Send(command) == 0) return 0;
    }
    return 1;
}

template <typename Take>
bool CAstrelSuruga::AskEachAxis(const char* format, Take take) {
    for (int axis = 0; axis < kStageAxes; ++axis) {
        // Each axis reads into a fresh reply: an empty line is no reply, never
        // the text of the axis before it. Query also drops whatever is left
        // of the previous exchange (a line end that came late).
        Reply reply;
        if (!Query(CommandLine(format, kAxisLetters[axis]), reply)) return false;
        if (!take(axis, reply.View())) return false;
    }
    return true;
}

// ---------------------------------------------------------------- status

bool CAstrelSuruga::ReadStatusBytes() {
    return BeginExchange() && AskEachAxis("?S%c", [this](int axis, std::string_view reply) {
               // An empty line, or the controller's refusal, holds no status byte.
               if (reply == "NG") Refused(reply);
               if (reply.empty() || reply == "NG") return false;
               statusBytes_[axis] = static_cast<uint8_t>(reply.front());
               return true;
           });
}

int32_t CAstrelSuruga::GetStageStatus() {
    if (!ReadStatusBytes()) return kStatusNoReply;
    // X before Y before Z; for each axis a limit before motion.
    for (const uint8_t status : statusBytes_) {
        if ((status & kLimitBits) != 0) return kStatusLimit;
        if ((status & kMovingBit) != 0) return kStatusMoving;
    }
    return kStatusAtRest;
}

CAstrelBase::Motion CAstrelSuruga::QueryMotion() {
    ReadStatusBytes();  // only the second answer counts
    if (!ReadStatusBytes()) return kMotionUnknown;
    // Any moving axis, whatever an axis before it reports.
    const bool moving = std::any_of(std::begin(statusBytes_), std::end(statusBytes_),
                                    [](uint8_t status) { return (status & kMovingBit) != 0; });
    return moving ? kMotionMoving : kMotionAtRest;
}

int32_t CAstrelSuruga::IsStopByLimit(uint16_t axis) {
    if (axis != kAnyAxis && axis >= kStageAxes) return astrel::NoSuchAxis(axis);
    if (!ReadStatusBytes()) return Unanswered();
    const auto atLimit = [](uint8_t status) { return (status & kLimitBits) != 0; };
    if (axis == kAnyAxis) {
        // Any axis on a limit, also behind an axis that is still moving.
        return std::any_of(std::begin(statusBytes_), std::end(statusBytes_), atLimit) ? 1 : 0;
    }
    return atLimit(statusBytes_[axis]) ? 1 : 0;
}

int32_t CAstrelSuruga::GetStagePosition(int32_t* x, int32_t* y, int32_t* z) {
    int32_t positions[kStageAxes] = {};
    const bool read = BeginExchange() && AskEachAxis("?POS%c", [&](int axis, std::string_view r) {
                          return astrel::ReadLeadingDecimal(r, positions[axis]);
                      });
    if (!read) return 0;
    int32_t* const outputs[kStageAxes] = {x, y, z};
    for (int axis = 0; axis < kStageAxes; ++axis) {
        if (outputs[axis] != nullptr) *outputs[axis] = positions[axis];
    }
    return 1;
}

// ---------------------------------------------------------------- motion

int32_t CAstrelSuruga::MoveABS(int32_t x, int32_t y, int32_t z) {
    return SendAfterRemote({CommandLine("AX%dY%dZ%dG", x, y, z)});
}

int32_t CAstrelSuruga::MoveREL(int32_t x, int32_t y, int32_t z) {
    // Each axis's distance without its sign, then the direction letters start all three.
    return SendAfterRemote(
        {CommandLine("INCX%d", SentMagnitude(x)), CommandLine("INCY%d", SentMagnitude(y)),
         CommandLine("INCZ%d", SentMagnitude(z)),
         CommandLine("X%cY%cZ%cG", DirectionLetter(x), DirectionLetter(y), DirectionLetter(z))});
}

int32_t CAstrelSuruga::MoveJOG(int16_t x, int16_t y, int16_t z) {
    if (!BeginExchange()) return 0;
    // An axis that is not to move is stopped first; the stop halts every axis.
    if ((x == 0 || y == 0 || z == 0) && SendData("H") == 0) return 0;
    if (x == 0 && y == 0 && z == 0) return 1;
    // A far relative move; axes with direction 0 take part with distance 0.
    return MoveREL(JogDistance(x), JogDistance(y), JogDistance(z));
}

int32_t CAstrelSuruga::MoveOriginPosition() {
    return SendAfterRemote({CommandLine("XYZOG")});
}

int32_t CAstrelSuruga::StopMove() {
    return SendAfterRemote({CommandLine("H")});
}

int32_t CAstrelSuruga::StopNow() {
    return SendAfterRemote({CommandLine("E")});
}

int32_t CAstrelSuruga::SetStagePosition(int32_t x, int32_t y, int32_t z) {
    return SendAfterRemote(
        {CommandLine("POSX%d", x), CommandLine("POSY%d", y), CommandLine("POSZ%d", z)});
}

// ---------------------------------------------------------------- speeds

int32_t CAstrelSuruga::SetMoveSpeeds(int16_t axis, int32_t start, int32_t max, int32_t accel) {
    // An axis outside the tables is refused before anything is sent.
    if (axis < 0 || axis >= kStageAxes) return 0;
    const int table = axis == kZ ? 1 : 0;
    // The table's start speed (field 1), maximum speed (2) and acceleration
    // time (3), then the axis is set to run on that table.
    return SendAfterRemote({CommandLine("SPEED%d1%d", table, start),
                            CommandLine("SPEED%d2%d", table, max),
                            CommandLine("SPEED%d3%d", table, accel),
                            CommandLine("SPSEL%c%d", kAxisLetters[axis], table)});
}
