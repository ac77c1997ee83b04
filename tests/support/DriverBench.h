// A maker's driver on an open in-memory port, for the per-maker command
// tables: each row makes one call and checks the result and every line the
// driver wrote. Replies are scripted as (line, reply) pairs taken in order:
// a written line equal to the next pair's line gets that pair's reply (an
// empty reply: silence) and moves on to the pair after it. A reply without
// CR or LF is sent as one line ended by CR LF; one with them, byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "FakeSerialDevice.h"
#include "driver/CAstrelBase.h"

namespace astrel::test {

using Lines = std::vector<std::string>;
using Script = std::deque<std::pair<std::string, std::string>>;
using Values = std::vector<int32_t>;

// The calls the tables make, on any maker's driver.
inline const auto Status = [](CAstrelBase& d) { return d.GetStageStatus(); };
inline const auto Home = [](CAstrelBase& d) { return d.MoveOriginPosition(); };
inline const auto Stops = [](CAstrelBase& d) { return d.StopMove() + d.StopNow(); };
// The flag IsStageRunningEx leaves (-5: untouched) times 10, plus its result.
inline int32_t RunningEx(CAstrelBase& d) {
    int32_t flag = -5;
    const int32_t result = d.IsStageRunningEx(&flag);
    return flag * 10 + result;
}
// GetStagePosition's result; its outputs (-9 where untouched) must hold `xyz`.
inline auto Position(Values xyz) {
    return [xyz](CAstrelBase& d) {
        int32_t out[3] = {-9, -9, -9};
        const int32_t result = d.GetStagePosition(&out[0], &out[1], &out[2]);
        EXPECT_EQ(Values(out, out + 3), xyz);
        return result;
    };
}
// GetStagePosition fails and leaves the outputs alone.
inline const auto NoPosition = Position({-9, -9, -9});
// Calls with their arguments bound, for any maker's driver: Abs(1, 2) makes d.MoveABS(1, 2, 0).
#define ASTREL_BOUND_CALL(Name, Params, Call)          \
    inline auto Name Params {                          \
        return [=](CAstrelBase& d) { return d.Call; }; \
    }
// clang-format off
ASTREL_BOUND_CALL(Limit, (uint16_t axis), IsStopByLimit(axis))
ASTREL_BOUND_CALL(Abs, (int32_t x, int32_t y, int32_t z = 0), MoveABS(x, y, z))
ASTREL_BOUND_CALL(Rel, (int32_t x, int32_t y, int32_t z = 0), MoveREL(x, y, z))
ASTREL_BOUND_CALL(Jog, (int16_t x, int16_t y, int16_t z = 0), MoveJOG(x, y, z))
ASTREL_BOUND_CALL(SetPosition, (int32_t x, int32_t y, int32_t z = 0), SetStagePosition(x, y, z))
ASTREL_BOUND_CALL(Speeds, (int16_t axis, int32_t start, int32_t max, int32_t accel), SetMoveSpeeds(axis, start, max, accel))
ASTREL_BOUND_CALL(SpeedParams, (int16_t axis, int32_t a, int32_t b, int32_t c), SetAxisSpeedParam(axis, a, b, c))
ASTREL_BOUND_CALL(Direction, (int32_t axis, int32_t direction), SetStageDirection(axis, direction))
ASTREL_BOUND_CALL(Remote, (int32_t mode), RemoteStage(mode))
// clang-format on
#undef ASTREL_BOUND_CALL

template <typename Driver>
struct DriverBench {
    // `model` (may be null) is selected before the port opens. With
    // `writable` >= 0 the port takes that many lines and stalls on the next.
    explicit DriverBench(const char* model, int writable = -1) : writesLeft(writable) {
        EXPECT_EQ(rig.Open(driver, model), 1) << (model != nullptr ? model : "");
        if (writesLeft == 0) rig.line->writes = {0, 0};  // the port gives up after two stalls
        rig.line->responder = [this](const std::string& line) {
            if (writesLeft > 0 && --writesLeft == 0) rig.line->writes = {0, 0};
            if (script.empty() || script.front().first != line) return;
            const std::string& reply = script.front().second;
            const bool raw = reply.find_first_of("\r\n") != std::string::npos;
            if (!reply.empty()) rig.line->Queue(raw ? reply : reply + "\r\n");
            script.pop_front();
        };
    }
    Lines Written() { return rig.line->TakeLines(); }

    FakeRig rig;  // outlives the driver, which keeps its clock
    Script script;
    int writesLeft;
    Driver driver;
};

// One exchange: a call on a driver of `model`, the replies it gets, the
// lines it must write and the result it must give.
template <typename Driver>
struct CommandRow {
    const char* model;
    std::function<int32_t(Driver&)> call;
    Lines lines;
    int32_t result;
    Script script = {};
    int writable = -1;
};

// Runs every row on a fresh driver.
template <typename Driver, size_t N>
void RunCommandRows(const CommandRow<Driver> (&rows)[N]) {
    for (const CommandRow<Driver>& row : rows) {
        SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
        DriverBench<Driver> b(row.model, row.writable);
        b.script = row.script;
        EXPECT_EQ(row.call(b.driver), row.result);
        EXPECT_EQ(b.Written(), row.lines);
    }
}

}  // namespace astrel::test
