// A maker's driver on an open in-memory port, for the per-maker command
// tables: each row makes one call and checks the result and every line the
// driver wrote. Replies are scripted as (line, reply) pairs taken in order:
// a written line equal to the next pair's line gets that pair's reply (an
// empty reply: silence) and moves on to the pair after it. A reply without
// CR or LF is sent as one line ended by CR LF; one with them, byte for byte.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "FakeSerialDevice.h"

namespace astrel::test {

using Lines = std::vector<std::string>;
using Script = std::deque<std::pair<std::string, std::string>>;

template <typename Driver>
struct DriverBench {
    // `model` (may be null) is selected before the port opens. With
    // `writable` >= 0 the port takes that many lines and stalls on the next.
    explicit DriverBench(const char* model, int writable = -1, int32_t delimiter = -1)
        : writesLeft(writable) {
        rig.Attach(driver);
        if (model != nullptr) {
            driver.SetStageName(model);
            EXPECT_NE(driver.SelectStage(), 0) << model;
        }
        driver.settings.delimiter = delimiter >= 0 ? delimiter : driver.GetDefaultDelimiter();
        EXPECT_EQ(driver.OpenPort(), 1);
        if (writesLeft == 0) rig.line->writeStalls = 2;  // the port gives up after two
        rig.line->responder = [this](const std::string& line) {
            if (writesLeft > 0 && --writesLeft == 0) rig.line->writeStalls = 2;
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
