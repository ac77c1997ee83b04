// The QT driver on the in-memory device, judged by the exact command lines it
// writes and what it makes of scripted controller replies.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "FakeSerialDevice.h"
#include "makers/CAstrelQT.h"

namespace astrel::test {
namespace {

using Lines = std::vector<std::string>;
using Replies = std::deque<std::string>;
using Call = std::function<int32_t(CAstrelQT&)>;
constexpr uint16_t kNone = 0xFFFF;

// A driver on an open in-memory port, its model selected (unless null). Each
// query line (Q:..., P:..R, S:R) takes the next scripted reply; an empty entry
// or an empty script leaves the line silent. When `writable` is not negative,
// the command after the first `writable` lines is not taken; later ones are.
struct Bench {
    explicit Bench(const char* model, int writable = -1) : writesLeft(writable) {
        rig.Attach(qt);
        EXPECT_EQ(qt.OpenPort(), 1);
        if (writesLeft == 0) rig.line->writeStalls = 2;  // the port gives up after two
        rig.line->responder = [this](const std::string& line) {
            if (writesLeft > 0 && --writesLeft == 0) rig.line->writeStalls = 2;
            if (line.rfind("Q:", 0) != 0 && line.back() != 'R') return;
            if (replies.empty()) return;
            if (!replies.front().empty()) rig.line->Queue(replies.front() + "\r\n");
            replies.pop_front();
        };
        if (model == nullptr) return;
        qt.SetStageName(model);
        EXPECT_EQ(qt.SelectStage(), 1) << model;
    }
    Lines Written() { return rig.line->TakeLines(); }

    FakeRig rig;  // outlives the driver, which keeps its clock
    Replies replies;
    int writesLeft;
    CAstrelQT qt;
};

struct CommandRow {
    const char* model;
    Call call;
    Lines lines;  // every line written
    int32_t result;
    Replies replies = {};
    int writable = -1;
};

TEST(QtDriver, CommandTable) {
    const Lines q3 = {"Q:A0B0C0"}, q3twice = {q3[0], q3[0]};
    const CommandRow rows[] = {
        // The status query: one resend after a silent read, and the last line counts.
        {"QT3", [](auto& d) { return d.GetStageStatus(); }, q3twice, 1, {"", "4,5D,6"}},
        {"QT3", [](auto& d) { return d.GetStageStatus(); }, q3twice, 6},
        {"QT3", [](auto& d) { return d.GetStageStatus(); }, q3, 6, {}, 1},
        {"QT3", [](auto& d) { return d.GetStageStatus(); }, q3, 0, {"1D,1,1\r\n2,2,2"}},
        {"QT3", [](auto& d) { return d.IsStageRunning(); }, q3twice, 0, {"1D", "1"}},
        {"QT3", [](auto& d) { return d.IsStageRunning(); }, q3twice, 1, {"1", "1D"}},
        {"QT3", [](auto& d) { return d.IsStopByLimit(0xFFFF); }, q3, 1, {"1,2L"}},
        {"QT3", [](auto& d) { return d.IsStopByLimit(0xFFFF); }, q3, 0, {"1D,2L"}},
        {"QT3", [](auto& d) { return d.IsStopByLimit(0); }, q3, 1, {"1L,2D"}},
        {"QT3", [](auto& d) { return d.IsStopByLimit(0); }, q3, 0, {"1,2L"}},
        {"QT3", [](auto& d) { return d.IsStopByLimit(1); }, q3, 0, {"1L,2L"}},
        // Motion: pieces in letter order, for the axes each model carries.
        {"QT3", [](auto& d) { return d.MoveABS(1000, -250, 0); }, {"AGO:A1000B-250C0"}, 1},
        {"MSC2", [](auto& d) { return d.MoveABS(1, 2, 3); }, {"AGO:A1B2"}, 1},
        {"QT1", [](auto& d) { return d.MoveABS(-5, 6, 7); }, {"AGO:A-5"}, 1},
        {"QT3", [](auto& d) { return d.SetStagePosition(0, 0, 0); }, {"R:A0B0C0"}, 1},
        {"QT3", [](auto& d) { return d.MoveREL(0, 0, 0); }, {"MGO:"}, 1},
        {"QT3", [](auto& d) { return d.MoveREL(5, 0, -3); }, {"MGO:A5C-3"}, 1},
        {"MSC2", [](auto& d) { return d.MoveREL(1, 2, 3); }, {"MGO:A1B2"}, 1},
        {"QT1", [](auto& d) { return d.MoveREL(1, 2, 3); }, {"MGO:A1"}, 1},
        {"QT3", [](auto& d) { return d.MoveJOG(1, 0, -1); }, {"L:B", "JGO:A+C-"}, 1},
        {"QT3", [](auto& d) { return d.MoveJOG(0, 0, 0); }, {"L:A", "L:B", "L:C"}, 1},
        {"QT3", [](auto& d) { return d.MoveJOG(-3, 7, 1); }, {"JGO:A-B+C+"}, 1},
        {"QT1", [](auto& d) { return d.MoveJOG(1, 1, 0); }, {"L:C", "JGO:A+B+"}, 1},
        {"QT3", [](auto& d) { return d.MoveOriginPosition(); }, {"H:ABC"}, 1},
        {"MSC2", [](auto& d) { return d.MoveOriginPosition(); }, {"H:AB"}, 1},
        {"QT1", [](auto& d) { return d.MoveOriginPosition(); }, {"H:A"}, 1},
        {"QT3", [](auto& d) { return d.SetUseAxisMask(2) && d.MoveOriginPosition(); }, {"H:B"}, 1},
        {"QT3", [](auto& d) { return d.SetUseAxisMask(0) || d.SetUseAxisMask(8); }, {}, 0},
        {"QT3", [](auto& d) { return d.StopMove(); }, {"L:"}, 1},
        {"QT3", [](auto& d) { return d.StopNow(); }, {"E:"}, 1},
        // Speeds and parameters.
        {"QT3", [](auto& d) { return d.SetMoveSpeeds(1, 100, 2000, 300); }, {"D:B100,2000,300"}, 1},
        {"QT3", [](auto& d) { return d.SetMoveSpeeds(3, 1, 2, 3); }, {}, 0},
        {"QT2", [](auto& d) { return d.SetMoveSpeeds(2, 1, 2, 3); }, {}, 0},
        {"QT3",
         [](auto& d) { return d.SetAxisSpeedParam(2, 10, -20, 30); },
         {"P:08C10", "P:09C-20", "P:10C30"},
         1},
        {"QT3", [](auto& d) { return d.WriteParameter(52, "1"); }, {"P:52,1", "F:", "RESTA:"}, 1},
        {"QT3", [](auto& d) { return d.WriteParameter(53, "1"); }, {"P:53,1", "F:", "RESTA:"}, 1},
        {"QT3", [](auto& d) { return d.WriteParameter(50, "1"); }, {"P:50,1"}, 1},
        {"QT3", [](auto& d) { return d.WriteParameter(54, "1"); }, {"P:54,1"}, 1},
        {"QT3", [](auto& d) { return d.WriteParameter(1, std::string(300, '1').c_str()); }, {}, 0},
        {"QT3", [](auto& d) { return d.ReadParameter(7, nullptr); }, {"P:07R"}, 6},  // no resend
        {"QT3", [](auto& d) { return d.SetSpeedSelect(1, 12, 16); }, {"S:A01B12"}, 1},
        {"QT3", [](auto& d) { return d.MoveABSXY(1, -2); }, {"BGO:A1B-2"}, 1},
        {"QT1", [](auto& d) { return d.MoveABSXY(1, 2); }, {}, 0},
        // A command that is not taken ends the operation; what was sent stays sent.
        {"QT3", [](auto& d) { return d.MoveJOG(0, 0, 1); }, {"L:A"}, 0, {}, 1},
        {"QT3", [](auto& d) { return d.SetAxisSpeedParam(0, 1, 2, 3); }, {}, 0, {}, 0},
        {"QT3", [](auto& d) { return d.SetAxisSpeedParam(0, 1, 2, 3); }, {"P:08A1"}, 0, {}, 1},
        {"QT3", [](auto& d) { return d.WriteParameter(52, "1"); }, {"P:52,1"}, 0, {}, 1},
        {"QT3", [](auto& d) { return d.SetStageDirection(0, -1); }, {"P:18R"}, 0, {"0"}, 1},
    };
    for (const CommandRow& row : rows) {
        Bench b(row.model, row.writable);
        b.replies = row.replies;
        EXPECT_EQ(row.call(b.qt), row.result) << "row " << &row - rows;
        EXPECT_EQ(b.Written(), row.lines) << "row " << &row - rows;
    }
}

TEST(QtDriver, UnwrittenCommandsFail) {
    Bench b("QT3");
    b.rig.line->failWrite = true;
    const Call calls[] = {
        [](auto& d) { return d.MoveABS(1, 2, 3); },
        [](auto& d) { return d.MoveJOG(1, 1, 1); },
        [](auto& d) { return d.MoveOriginPosition(); },
        [](auto& d) { return d.StopMove(); },
        [](auto& d) { return d.StopNow(); },
        [](auto& d) { return d.SetMoveSpeeds(0, 1, 2, 3); },
        [](auto& d) { return d.ReadParameter(18, nullptr); },
        [](auto& d) { return d.GetStageStatus() == 6 ? 0 : 1; },
    };
    for (const Call& call : calls) EXPECT_EQ(call(b.qt), 0) << &call - calls;
    b.qt.ClosePort();  // a direction request that cannot be sent ends quietly
    EXPECT_EQ(b.qt.SetStageDirection(0, -1), 1);
    EXPECT_EQ(b.Written(), Lines{});
    EXPECT_EQ(b.rig.clock.slept_, 0u);
}

TEST(QtDriver, SelectionDecidesTheStatusQuery) {
    const struct {
        const char* before;  // model selected first, or null
        const char* name;    // then this name, or null for none
        int32_t matched;
        const char* query;
    } rows[] = {
        {nullptr, nullptr, 0, "Q:A0B0C0"},  // the default "QT2" still has Z on C
        {nullptr, "QT1", 1, "Q:A0"},       {nullptr, "QT2", 1, "Q:A0B0"},
        {nullptr, "qt3", 1, "Q:A0B0C0"},   {nullptr, "MSC2", 1, "Q:0"},
        {"QT3", "QT4", 0, "Q:A0B0C0"},   // an unknown name keeps the model
        {nullptr, "nope", 0, "Q:A0B0"},  // ...and a kept "QT2" drops Z all the same
        {"QT2", "QT3", 1, "Q:A0B0"},     // Z does not come back
    };
    for (const auto& row : rows) {
        Bench b(row.before);
        if (row.name != nullptr) {
            b.qt.SetStageName(row.name);
            EXPECT_EQ(b.qt.SelectStage(), row.matched) << &row - rows;
        }
        b.replies = {"0"};
        EXPECT_EQ(b.qt.GetStageStatus(), 0) << &row - rows;
        EXPECT_EQ(b.Written(), Lines{row.query}) << &row - rows;
    }
}

// Rows run in order on one "QT3" driver (X, Y, Z on A, B, C), so each reply
// must also clear what the one before it set.
TEST(QtDriver, StatusReplyTable) {
    Bench b("QT3");
    const struct {
        std::string reply;
        int32_t code, x, y, z;
    } rows[] = {
        {"1200,-500D,0", 1, 1200, -500, 0},
        {"5E", 2, 5, 0, 0},
        {"5H,6", 3, 5, 6, 0},
        {"5L", 4, 5, 0, 0},
        {"5C", 5, 5, 0, 0},
        {"5d", 0, 5, 0, 0},  // letters are case-sensitive
        {"100L,200D", 4, 100, 200, 0},
        {"100,200C", 5, 100, 200, 0},
        {"1C,2D,3L", 5, 1, 2, 3},  // axis A decides, whatever the letters
        {"5", 0, 5, 0, 0},
        {"1,2L ,3", 0, 1, 2, 3},  // the field's last character is its letter
        {"1,D,3", 1, 1, 0, 3},
        {"1,2,3,4L", 0, 1, 2, 3},
        {",,7D,,8,", 1, 7, 8, 0},
        {" \t-42D,+17,x9", 1, -42, 17, 0},
        {"18446744073709551621D,-18446744073709551621,2147483648", 1, INT32_MAX, INT32_MIN,
         INT32_MAX},
        {"-2147483648,2147483647,-2147483649", 0, INT32_MIN, INT32_MAX, INT32_MIN},
        {"\x01\xff\x80,\x7f\xfe,\x1b[0m", 0, 0, 0, 0},
        {std::string(300, '9'), 0, 0, 0, 0},  // too long for a reply: read as empty
        {std::string("12\0,34D", 7), 0, 12, 0, 0},
    };
    for (const auto& row : rows) {
        b.replies = {row.reply, row.reply};
        EXPECT_EQ(b.qt.GetStageStatus(), row.code) << row.reply;
        int32_t x = -9, y = -9, z = -9;
        EXPECT_EQ(b.qt.GetStagePosition(&x, &y, &z), 1) << row.reply;
        EXPECT_EQ(x, row.x) << row.reply;
        EXPECT_EQ(y, row.y) << row.reply;
        EXPECT_EQ(z, row.z) << row.reply;
    }
}

TEST(QtDriver, RandomStatusRepliesParseSafely) {
    Bench b("QT3");
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> length(1, 300), byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        std::string reply(static_cast<size_t>(length(random)), ',');
        for (char& c : reply) c = static_cast<char>(byte(random));
        std::replace_if(
            reply.begin(), reply.end(), [](char c) { return c == '\r' || c == '\n'; }, ',');
        b.replies = {reply};
        const int32_t code = b.qt.GetStageStatus();
        EXPECT_TRUE(code >= 0 && code <= 5) << code;
    }
}

TEST(QtDriver, TwoSilentReadsKeepThePreviousPositions) {
    Bench b("QT3");
    b.replies = {"11,22D,33"};
    ASSERT_EQ(b.qt.GetStageStatus(), 1);
    b.Written();
    b.rig.line->Queue("9L\r\n");  // stale input is dropped, not taken for a reply
    EXPECT_EQ(b.qt.GetStageStatus(), 6);
    EXPECT_EQ(b.rig.line->TakeWritten(), "Q:A0B0C0\r\nQ:A0B0C0\r\n");
    int32_t x = -1;
    EXPECT_EQ(b.qt.GetStagePosition(&x, nullptr, nullptr), 0);
    EXPECT_EQ(x, -1);                     // a failed query writes nothing...
    EXPECT_EQ(b.qt.AxisPosition(2), 33);  // ...and keeps the last good reply
    EXPECT_EQ(b.qt.AxisStatusLetter(1), 'D');
}

TEST(QtDriver, IsStageRunningEx) {
    const struct {
        const char* model;
        Replies replies;
        int32_t result, flag;  // flag -5: untouched
        size_t queries;
    } rows[] = {
        {"QT2", {"1D,2"}, 1, 1, 1},
        {"QT2", {"1,2L"}, 1, 0, 1},
        {"QT2", {"1E,2", "1D,2"}, 0, -5, 1},
        {"QT2", {"", "1D,2"}, 0, -5, 1},  // no resend
        {"QT3", {"1D", "1D"}, 1, 1, 2},
        {"QT3", {}, 1, 0, 4},  // a dead line: two queries, each sent twice
    };
    for (const auto& row : rows) {
        Bench b(row.model);
        b.replies = row.replies;
        int32_t flag = -5;
        EXPECT_EQ(b.qt.IsStageRunningEx(&flag), row.result) << &row - rows;
        EXPECT_EQ(flag, row.flag) << &row - rows;
        EXPECT_EQ(b.Written().size(), row.queries) << &row - rows;
    }
}

TEST(QtDriver, SetAxisNumTable) {
    const struct {
        const char* model;
        uint16_t x, y, z;
        int32_t result;
        int16_t nx, ny, nz;  // numbers afterwards
    } rows[] = {
        {"QT3", 2, kNone, 0, 1, 2, -1, 0},
        {"QT3", 1, 1, kNone, 0, 0, 1, 2},
        {"QT3", kNone, kNone, kNone, 0, 0, 1, 2},
        {"QT3", 4, 1, 2, 0, 0, 1, 2},
        {"QT2", 0, 1, 2, 1, 0, 1, 2},
        {"QT1", kNone, kNone, kNone, 1, 0, 1, 2},
        {"QT1", 0, 0, 0, 1, 0, 0, 0},
        {"MSC2", kNone, 0, kNone, 1, 1, 0, 2},
        {"MSC2", 3, kNone, kNone, 1, 3, 0, 1},
        {"MSC2", kNone, 1, 0, 1, 2, 1, 0},
    };
    for (const auto& row : rows) {
        Bench b(row.model);
        EXPECT_EQ(b.qt.SetAxisNum(row.x, row.y, row.z), row.result) << &row - rows;
        EXPECT_EQ(b.qt.AxisNumber(CAstrelQT::kX), row.nx) << &row - rows;
        EXPECT_EQ(b.qt.AxisNumber(CAstrelQT::kY), row.ny) << &row - rows;
        EXPECT_EQ(b.qt.AxisNumber(CAstrelQT::kZ), row.nz) << &row - rows;
    }
}

TEST(QtDriver, Qt3AssignmentReordersCommandsAndReplies) {
    Bench b("QT3");
    ASSERT_EQ(b.qt.SetAxisNum(2, 1, 0), 1);                 // X on C, Y on B, Z on A
    b.replies = {"10,20,30E", "1,2,3L", "7,8,9", "0,1,0"};  // code 2 is still an answer
    int32_t x = 0, y = 0, z = 0;
    EXPECT_EQ(b.qt.GetStagePosition(&x, &y, &z), 1);
    EXPECT_EQ(z, 10);  // the first field is A, which carries Z
    EXPECT_EQ(x, 30);
    EXPECT_EQ(b.qt.IsStopByLimit(0), 1);
    uint16_t speed = 0;
    EXPECT_EQ(b.qt.ReadSpeedSelect(&speed, nullptr, nullptr), 1);
    EXPECT_EQ(speed, 9);
    EXPECT_EQ(b.qt.MoveABS(1, 2, 3), 1);
    EXPECT_EQ(b.qt.MoveJOG(1, 0, -1), 1);
    EXPECT_EQ(b.qt.SetStageDirection(0, -1), 1);  // X's value is C's
    EXPECT_EQ(b.Written(), (Lines{"Q:A0B0C0", "Q:A0B0C0", "S:R", "AGO:A3B2C1", "L:B", "JGO:A-C+",
                                  "P:18R", "P:18A0B1C1"}));
    ASSERT_EQ(b.qt.SetAxisNum(kNone, 1, 0), 1);  // Z on A, Y on B, X none
    b.replies = {"5,6,7L"};
    x = -3;
    EXPECT_EQ(b.qt.GetStagePosition(&x, &y, &z), 1);
    EXPECT_EQ(z, 5);
    EXPECT_EQ(x, -3);  // unassigned: untouched, and the third field goes nowhere
    EXPECT_EQ(b.qt.AxisPosition(2), 0);
    b.qt.SetStageName("QT1");  // "QT1" without an X axis sends no absolute move
    ASSERT_EQ(b.qt.SelectStage(), 1);
    EXPECT_EQ(b.qt.MoveABS(1, 2, 3), 0);
    EXPECT_EQ(b.Written(), Lines{"Q:A0B0"});
}

TEST(QtDriver, Qt1AndMsc2KeepTheirAxisOrder) {
    Bench qt1("QT1");
    ASSERT_EQ(qt1.qt.SetAxisNum(2, kNone, kNone), 1);  // X on C; Y, Z get A, B
    qt1.replies = {"77D"};
    EXPECT_EQ(qt1.qt.MoveABS(5, 6, 7), 1);
    EXPECT_EQ(qt1.qt.SetStagePosition(8, 6, 7), 1);
    EXPECT_EQ(qt1.qt.GetStageStatus(), 1);
    ASSERT_EQ(qt1.qt.SetAxisNum(0, 0, 0), 1);
    EXPECT_EQ(qt1.qt.MoveJOG(1, -1, -1), 1);  // equal letters come in the order Z, Y, X
    EXPECT_EQ(qt1.Written(), (Lines{"AGO:C5", "R:C8", "Q:A0", "JGO:A-A-A+"}));
    Bench msc2("MSC2");
    ASSERT_EQ(msc2.qt.SetAxisNum(kNone, 0, kNone), 1);  // X=1, Y=0; the order stays X, Y, Z
    msc2.replies = {"11,22D"};
    int32_t x = 0;
    EXPECT_EQ(msc2.qt.GetStagePosition(&x, nullptr, nullptr), 1);
    EXPECT_EQ(x, 11);  // the first field still goes to X
    EXPECT_EQ(msc2.qt.MoveABS(1, 2, 3), 1);
    EXPECT_EQ(msc2.Written(), (Lines{"Q:0", "AGO:A2B1"}));
}

TEST(QtDriver, Qt2CarriesZOnceItIsAssigned) {
    Bench b("QT2");
    ASSERT_EQ(b.qt.SetAxisNum(0, 1, 2), 1);
    EXPECT_EQ(b.qt.MoveABS(1, 2, 3), 1);
    EXPECT_EQ(b.qt.SetMoveSpeeds(2, 4, 5, 6), 1);  // the model is not consulted
    EXPECT_EQ(b.Written(), (Lines{"AGO:A1B2C3", "D:C4,5,6"}));
}

TEST(QtDriver, SetStageDirectionTable) {
    const struct {
        const char* model;
        int32_t axis, direction;
        const char* reply;  // "": none
        Lines lines;
        int32_t result;
    } rows[] = {
        {"QT3", 1, -1, "0,1,0", {"P:18R", "P:18A0B1C0"}, 1},
        {"QT3", 1, -1, "", {"P:18R", "P:18A-1B1C-1"}, 1},
        {"QT3", 0, -2, "x,-z,1", {"P:18R", "P:18A0B-1C1"}, 1},  // only -1 reverses
        {"MSC2", 0, -1, "0,0,0", {"P:18R", "P:18A1B0"}, 1},
        {"QT1", 1, -1, "0,0,0", {"P:18R", "P:18A0"}, 1},  // "QT1" writes X's value only
        {"QT3", 3, -1, "0", {}, 0},
        {"QT2", 2, -1, "0", {}, 0},
    };
    for (const auto& row : rows) {
        Bench b(row.model);
        b.replies = {row.reply};
        EXPECT_EQ(b.qt.SetStageDirection(row.axis, row.direction), row.result) << &row - rows;
        EXPECT_EQ(b.Written(), row.lines) << &row - rows;
        EXPECT_EQ(b.rig.clock.slept_, row.result == 1 ? 400u : 0u) << &row - rows;
    }
}

}  // namespace
}  // namespace astrel::test
