// The QT driver core on the in-memory device: models, catalogue,
// the status query and what is built on it, and the motion commands, by the
// exact command lines written and scripted replies.
#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "QtFixture.h"
#include "driver/ReplyFields.h"

namespace astrel::test {
namespace {

// ---------------------------------------------------------------- defaults and catalogue

TEST(QtCatalogue, SerialDefaults) {
    CAstrelQT qt;
    EXPECT_EQ(qt.GetDefaultDelimiter(), 0);
    EXPECT_EQ(qt.GetDefaultBaudRate(), 6);
    EXPECT_EQ(qt.GetDefaultParity(), 0);
    EXPECT_EQ(qt.GetDefaultStopBits(), 0);
    EXPECT_EQ(qt.GetDefaultDataBits(), 1);
    EXPECT_EQ(qt.GetDefaultFlowControl(), 0);
    EXPECT_EQ(qt.InitializeStage(), 1);
    EXPECT_EQ(qt.RemoteStage(1), 1);
    uint32_t value = 77;
    EXPECT_EQ(qt.GetFunctionProperty(0, &value), 0);
    EXPECT_EQ(value, 77u);
}

TEST(QtCatalogue, StageListFollowsTheModelTable) {
    CAstrelQT qt;
    const struct {
        const char* name;
        int32_t axes;
    } rows[] = {{"QT1", 1}, {"QT2", 2}, {"QT3", 3}, {"MSC2", 2}};
    for (int16_t i = 0; i < 4; ++i) {
        char name[64] = "x";
        int32_t axes = -1;
        EXPECT_EQ(qt.GetStageList(i, &axes, name), 1);
        EXPECT_STREQ(name, rows[i].name);
        EXPECT_EQ(axes, rows[i].axes);
    }
    for (int16_t past : {int16_t{4}, int16_t{-1}, int16_t{INT16_MAX}}) {
        char name[64] = "keep";
        int32_t axes = -7;
        EXPECT_EQ(qt.GetStageList(past, &axes, name), 0) << past;
        EXPECT_STREQ(name, "keep");
        EXPECT_EQ(axes, -7);
    }
}

TEST(QtCatalogue, UnitListsHaveFourEntries) {
    CAstrelQT qt;
    for (int16_t i = 0; i < 4; ++i) {
        char speed[64] = {};
        char accl[64] = {};
        EXPECT_EQ(qt.GetSpeedUnitList(i, speed), 1);
        EXPECT_EQ(qt.GetAcclUnitList(i, accl), 1);
        EXPECT_STREQ(speed, "pps");
        EXPECT_STREQ(accl, "msec");
    }
    for (int16_t past : {int16_t{4}, int16_t{-1}}) {
        char name[64] = "keep";
        EXPECT_EQ(qt.GetSpeedUnitList(past, name), 0);
        EXPECT_EQ(qt.GetAcclUnitList(past, name), 0);
        EXPECT_STREQ(name, "keep");
    }
}

// ---------------------------------------------------------------- model selection

using QtSelect = QtFixture;

TEST_F(QtSelect, NamesMatchWithoutRegardToCase) {
    const struct {
        const char* name;
        int32_t result;
        int32_t model;
    } rows[] = {{"qt3", 1, 2}, {"Qt1", 1, 0}, {"msc2", 1, 3}, {"QT2", 1, 1},
                {"QT4", 0, 1}, {"", 0, 1},    {"QT3 ", 0, 1}, {"QT", 0, 1}};
    for (const auto& row : rows) {
        CAstrelQT fresh;
        fresh.SetStageName(row.name);
        EXPECT_EQ(fresh.SelectStage(), row.result) << row.name;
        EXPECT_EQ(fresh.ModelIndex(), row.model) << row.name;
    }
}

TEST_F(QtSelect, UnknownNameKeepsTheModel) {
    Select("QT3");
    qt.SetStageName("QT4");
    EXPECT_EQ(qt.SelectStage(), 0);
    EXPECT_EQ(qt.ModelIndex(), CAstrelQT::kQT3);
    EXPECT_EQ(qt.AxisNumber(CAstrelQT::kZ), 2);
}

TEST_F(QtSelect, Qt2UnassignsZEvenOnAFailedMatch) {
    CAstrelQT fresh;  // default model "QT2", Z still on controller axis 2
    fresh.SetStageName("nope");
    EXPECT_EQ(fresh.SelectStage(), 0);
    EXPECT_EQ(fresh.AxisNumber(CAstrelQT::kZ), -1);
}

TEST_F(QtSelect, BeforeSelectionTheStatusQueryCarriesZ) {
    Script({"1,2,3"});
    EXPECT_EQ(qt.GetStageStatus(), 0);
    EXPECT_EQ(Written(), (Lines{"Q:A0B0C0"}));
}

TEST_F(QtSelect, Qt2ThenQt3LeavesZUnassigned) {
    Select("QT2");
    Select("QT3");
    Script({"1,2"});
    EXPECT_EQ(qt.GetStageStatus(), 0);
    EXPECT_EQ(qt.MoveABS(1, 2, 3), 1);
    EXPECT_EQ(Written(), (Lines{"Q:A0B0", "AGO:A1B2"}));
}

// ---------------------------------------------------------------- status query

using QtStatus = QtFixture;

TEST_F(QtStatus, QueryCommandPerModel) {
    const struct {
        const char* model;
        const char* query;
    } rows[] = {{"QT1", "Q:A0"},
                {"QT3", "Q:A0B0C0"},
                {"MSC2", "Q:0"},
                {"QT2", "Q:A0B0"}};  // "QT2" last: it unassigns Z for good
    for (const auto& row : rows) {
        Select(row.model);
        Script({"0"});
        EXPECT_EQ(qt.GetStageStatus(), 0) << row.model;
        EXPECT_EQ(Written(), (Lines{row.query})) << row.model;
    }
}

TEST_F(QtStatus, WorkedExample) {
    Select("QT3");
    Script({"1200,-500D,0"});
    EXPECT_EQ(qt.GetStageStatus(), 1);
    int32_t x = 0, y = 0, z = 9;
    Script({"1200,-500D,0"});
    EXPECT_EQ(qt.GetStagePosition(&x, &y, &z), 1);
    EXPECT_EQ(x, 1200);
    EXPECT_EQ(y, -500);
    EXPECT_EQ(z, 0);
}

TEST_F(QtStatus, LetterTableOnAxisA) {
    Select("QT3");
    const struct {
        const char* reply;
        int32_t code;
    } rows[] = {
        {"5D", 1}, {"5E", 2}, {"5H", 3}, {"5L", 4}, {"5C", 5},
        {"5", 0},  {"5X", 0}, {"5d", 0}, {"5l", 0}, {"D", 1},  // letters are case-sensitive
    };
    for (const auto& row : rows) {
        Script({row.reply});
        EXPECT_EQ(qt.GetStageStatus(), row.code) << row.reply;
    }
}

TEST_F(QtStatus, FirstAxisInLetterOrderDecides) {
    Select("QT3");
    const struct {
        const char* reply;
        int32_t code;
    } rows[] = {
        {"100,200L", 4}, {"100L,200D", 4}, {"100,200C", 5}, {"100D,200E", 1},
        {"1,2,3H", 3},   {"1X,2Y,3E", 2},  {"1C,2D,3L", 5}, {"1,2,3", 0},
    };
    for (const auto& row : rows) {
        Script({row.reply});
        EXPECT_EQ(qt.GetStageStatus(), row.code) << row.reply;
    }
}

TEST_F(QtStatus, LastLineTheControllerSentCounts) {
    Select("QT3");
    rig.line->responder = [this](const std::string&) { rig.line->Queue("1D,1,1\r\n2,2,2\r\n"); };
    EXPECT_EQ(qt.GetStageStatus(), 0);
    EXPECT_EQ(qt.AxisPosition(0), 2);
}

TEST_F(QtStatus, SilentFirstReadIsResentOnce) {
    Select("QT3");
    Script({"", "4,5D,6"});
    EXPECT_EQ(qt.GetStageStatus(), 1);
    EXPECT_EQ(Written(), (Lines{"Q:A0B0C0", "Q:A0B0C0"}));
}

TEST_F(QtStatus, SecondSilenceGivesSixAndKeepsPositions) {
    Select("QT3");
    Script({"11,22D,33"});
    ASSERT_EQ(qt.GetStageStatus(), 1);
    Written();
    const uint32_t before = rig.clock.now_;
    Script({});
    EXPECT_EQ(qt.GetStageStatus(), 6);
    EXPECT_EQ(Written(), (Lines{"Q:A0B0C0", "Q:A0B0C0"}));
    EXPECT_GT(rig.clock.now_ - before, 10000u);  // two time-outs, on the fake clock
    // The last good reply is still there.
    EXPECT_EQ(qt.AxisPosition(0), 11);
    EXPECT_EQ(qt.AxisPosition(1), 22);
    EXPECT_EQ(qt.AxisPosition(2), 33);
    EXPECT_EQ(qt.AxisStatusLetter(1), 'D');
    // A failed GetStagePosition writes nothing.
    int32_t x = -1, y = -1, z = -1;
    EXPECT_EQ(qt.GetStagePosition(&x, &y, &z), 0);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
    EXPECT_EQ(z, -1);
}

TEST_F(QtStatus, ResendThatCannotBeWrittenGivesSix) {
    Select("QT3");
    rig.line->responder = [this](const std::string&) { rig.line->failWrite = true; };
    EXPECT_EQ(qt.GetStageStatus(), 6);
    EXPECT_EQ(Written(), (Lines{"Q:A0B0C0"}));
}

TEST_F(QtStatus, ReplyResetsEveryAxisFirst) {
    Select("QT3");
    Script({"1D,2E,3L"});
    ASSERT_EQ(qt.GetStageStatus(), 1);
    Script({"5"});
    EXPECT_EQ(qt.GetStageStatus(), 0);
    EXPECT_EQ(qt.AxisPosition(0), 5);
    EXPECT_EQ(qt.AxisPosition(1), 0);
    EXPECT_EQ(qt.AxisStatusLetter(1), ' ');
    EXPECT_EQ(qt.AxisStatusLetter(2), ' ');
}

TEST_F(QtStatus, FailedSendGivesSix) {
    Select("QT3");
    rig.line->failWrite = true;
    EXPECT_EQ(qt.GetStageStatus(), 6);
    qt.ClosePort();
    EXPECT_EQ(qt.GetStageStatus(), 6);
}

TEST_F(QtStatus, RepliesAreParsedSafely) {
    Select("QT3");
    const std::string longReply(300, '9');
    const std::string fits = "1," + std::string(250, ' ') + "2D";  // 254 bytes: fits
    const struct {
        std::string reply;
        int32_t code;
        int32_t x, y, z;
    } rows[] = {
        {"5D", 1, 5, 0, 0},                 // fewer fields: the rest stay 0
        {"1,2,3,4L", 0, 1, 2, 3},           // fields past the third are ignored
        {",,7D,,8,", 1, 7, 8, 0},           // empty fields are skipped
        {",", 0, 0, 0, 0},                  // no field at all
        {" \t-42D,+17,x9", 1, -42, 17, 0},  // "%d": white space and sign
        {"99999999999999999999D,-99999999999999999999,2147483648", 1, INT32_MAX, INT32_MIN,
         INT32_MAX},  // saturation
        {"-2147483648,2147483647,-2147483649", 0, INT32_MIN, INT32_MAX, INT32_MIN},
        {"+,-,--1", 0, 0, 0, 0},                        // a sign alone is no number
        {"\x01\xff\x80,\x7f\xfe,\x1b[0m", 0, 0, 0, 0},  // binary garbage
        {longReply, 0, 0, 0, 0},                        // too long: dropped, read as empty
        {fits, 1, 1, 2, 0},
        {std::string("12\0,34D", 7), 0, 12, 0, 0},  // text ends at a NUL byte
    };
    for (const auto& row : rows) {
        Script({row.reply, row.reply});
        EXPECT_EQ(qt.GetStageStatus(), row.code) << row.reply;
        int32_t x = -9, y = -9, z = -9;
        EXPECT_EQ(qt.GetStagePosition(&x, &y, &z), 1);
        EXPECT_EQ(x, row.x) << row.reply;
        EXPECT_EQ(y, row.y) << row.reply;
        EXPECT_EQ(z, row.z) << row.reply;
    }
}

TEST_F(QtStatus, RandomRepliesNeverBreakTheParse) {
    Select("QT3");
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> length(0, 300);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        std::string reply;
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            int b = byte(random);
            if (b == '\r' || b == '\n') b = ',';  // no early end of the line
            reply += static_cast<char>(b);
        }
        rig.line->responder = [&](const std::string&) { rig.line->Queue(reply + "\r\n"); };
        const int32_t code = qt.GetStageStatus();
        EXPECT_GE(code, 0);
        EXPECT_LE(code, 5);
    }
}

TEST_F(QtStatus, FieldLastCharacterIsTheLetter) {
    Select("QT3");
    Script({"1,2L ,3"});  // the last character of "2L " is a space: no letter
    EXPECT_EQ(qt.GetStageStatus(), 0);
    Script({"1,D,3"});  // a field without a number still gives its letter
    EXPECT_EQ(qt.GetStageStatus(), 1);
}

TEST_F(QtStatus, IsStageRunningAnswersFromTheSecondQuery) {
    Select("QT3");
    const struct {
        const char* first;
        const char* second;
        int32_t running;
    } rows[] = {{"1D", "1", 0}, {"1", "1D", 1}, {"1D", "1E", 0}, {"1D", "", 0}};
    for (const auto& row : rows) {
        Script({row.first, row.second, ""});
        EXPECT_EQ(qt.IsStageRunning(), row.running) << row.first << "/" << row.second;
        Written();
    }
    Script({"1D", "1D"});
    EXPECT_EQ(qt.IsStageRunning(), 1);
    EXPECT_EQ(Written(), (Lines{"Q:A0B0C0", "Q:A0B0C0"}));
}

TEST_F(QtStatus, IsStageRunningExOnQt2) {
    Select("QT2");
    const struct {
        const char* reply;
        int32_t result;
        int32_t flag;  // -5: untouched
    } rows[] = {{"1,2", 1, 0}, {"1D,2", 1, 1}, {"1,2L", 1, 0}, {"1E,2", 0, -5},
                {"1H", 0, -5}, {"1C", 0, -5},  {"", 0, -5}};
    for (const auto& row : rows) {
        Script({row.reply, "1D,2"});  // a resend would be answered: there must be none
        int32_t flag = -5;
        EXPECT_EQ(qt.IsStageRunningEx(&flag), row.result) << row.reply;
        EXPECT_EQ(flag, row.flag) << row.reply;
        EXPECT_EQ(Written(), (Lines{"Q:A0B0"})) << row.reply;
    }
}

TEST_F(QtStatus, IsStageRunningExOnOtherModels) {
    Select("QT3");
    int32_t flag = -5;
    Script({});  // a dead line
    EXPECT_EQ(qt.IsStageRunningEx(&flag), 1);
    EXPECT_EQ(flag, 0);
    Script({"1D", "1D"});
    EXPECT_EQ(qt.IsStageRunningEx(&flag), 1);
    EXPECT_EQ(flag, 1);
    Script({"1E", "1E"});
    EXPECT_EQ(qt.IsStageRunningEx(&flag), 1);
    EXPECT_EQ(flag, 0);
    Script({"1D", "1D"});
    EXPECT_EQ(qt.IsStageRunningEx(nullptr), 1);
}

TEST_F(QtStatus, IsStopByLimit) {
    Select("QT3");
    const struct {
        uint16_t axis;
        const char* reply;
        int32_t result;
    } rows[] = {
        {0xFFFF, "1,2L", 1}, {0xFFFF, "1D,2L", 0}, {0xFFFF, "1", 0}, {0, "1L", 1},
        {0, "1,2L", 0},      {0, "1L,2D", 1},      {1, "1L,2L", 0},  {2, "1L,2L,3L", 0},
        {0xFFFF, "", 0},     {0, "", 0},
    };
    for (const auto& row : rows) {
        Script({row.reply});
        EXPECT_EQ(qt.IsStopByLimit(row.axis), row.result) << row.axis << " " << row.reply;
    }
}

TEST_F(QtStatus, IsStopByLimitFollowsXsControllerAxis) {
    Select("QT3");
    ASSERT_EQ(qt.SetAxisNum(1, 0, 2), 1);  // order Y(A), X(B), Z(C)
    Script({"1,2L,3"});
    EXPECT_EQ(qt.IsStopByLimit(0), 1);
    ASSERT_EQ(qt.SetAxisNum(0xFFFF, 0, 2), 1);  // X unassigned
    Script({"1L,2L"});
    EXPECT_EQ(qt.IsStopByLimit(0), 0);
}

TEST_F(QtStatus, GetStagePositionWritesAssignedGivenOutputs) {
    Select("QT2");
    Script({"10,20E"});
    int32_t x = 0, y = 0, z = 99;
    EXPECT_EQ(qt.GetStagePosition(&x, &y, &z), 1);  // code 2 is still a reply
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    EXPECT_EQ(z, 99);  // Z unassigned on "QT2"
    Script({"30,40"});
    EXPECT_EQ(qt.GetStagePosition(nullptr, &y, nullptr), 1);
    EXPECT_EQ(y, 40);
}

// ---------------------------------------------------------------- motion commands

struct MotionRow {
    const char* model;
    const char* what;
    std::function<int32_t(CAstrelQT&)> call;
    Lines lines;
};

using QtMotion = QtFixture;

TEST_F(QtMotion, CommandTable) {
    const MotionRow rows[] = {
        {"QT3", "abs", [](CAstrelQT& d) { return d.MoveABS(1000, -250, 0); }, {"AGO:A1000B-250C0"}},
        {"QT2", "abs", [](CAstrelQT& d) { return d.MoveABS(1, 2, 3); }, {"AGO:A1B2"}},
        {"MSC2", "abs", [](CAstrelQT& d) { return d.MoveABS(1, 2, 3); }, {"AGO:A1B2"}},
        {"QT1", "abs", [](CAstrelQT& d) { return d.MoveABS(-5, 6, 7); }, {"AGO:A-5"}},
        {"QT3",
         "abs extremes",
         [](CAstrelQT& d) { return d.MoveABS(INT32_MIN, INT32_MAX, 0); },
         {"AGO:A-2147483648B2147483647C0"}},
        {"QT3", "pos", [](CAstrelQT& d) { return d.SetStagePosition(0, 0, 0); }, {"R:A0B0C0"}},
        {"QT2", "pos", [](CAstrelQT& d) { return d.SetStagePosition(1, 2, 3); }, {"R:A1B2"}},
        {"MSC2", "pos", [](CAstrelQT& d) { return d.SetStagePosition(1, 2, 3); }, {"R:A1B2"}},
        {"QT1", "pos", [](CAstrelQT& d) { return d.SetStagePosition(9, 2, 3); }, {"R:A9"}},
        {"QT3", "rel", [](CAstrelQT& d) { return d.MoveREL(0, 0, 0); }, {"MGO:"}},
        {"QT3", "rel", [](CAstrelQT& d) { return d.MoveREL(5, 0, -3); }, {"MGO:A5C-3"}},
        {"QT2", "rel", [](CAstrelQT& d) { return d.MoveREL(1, 2, 3); }, {"MGO:A1B2"}},
        {"MSC2", "rel", [](CAstrelQT& d) { return d.MoveREL(1, 2, 3); }, {"MGO:A1B2"}},
        {"QT1", "rel", [](CAstrelQT& d) { return d.MoveREL(1, 2, 3); }, {"MGO:A1"}},
        {"QT1", "rel", [](CAstrelQT& d) { return d.MoveREL(0, 2, 3); }, {"MGO:"}},
        {"QT3", "jog", [](CAstrelQT& d) { return d.MoveJOG(1, 0, -1); }, {"L:B", "JGO:A+C-"}},
        {"QT3", "jog", [](CAstrelQT& d) { return d.MoveJOG(0, 0, 0); }, {"L:A", "L:B", "L:C"}},
        {"QT3", "jog", [](CAstrelQT& d) { return d.MoveJOG(-3, 7, 1); }, {"JGO:A-B+C+"}},
        {"QT2", "jog", [](CAstrelQT& d) { return d.MoveJOG(0, 1, 1); }, {"L:A", "JGO:B+"}},
        {"QT1", "jog", [](CAstrelQT& d) { return d.MoveJOG(1, 1, 0); }, {"L:C", "JGO:A+B+"}},
        {"QT3", "origin", [](CAstrelQT& d) { return d.MoveOriginPosition(); }, {"H:ABC"}},
        {"QT2", "origin", [](CAstrelQT& d) { return d.MoveOriginPosition(); }, {"H:AB"}},
        {"MSC2", "origin", [](CAstrelQT& d) { return d.MoveOriginPosition(); }, {"H:AB"}},
        {"QT1", "origin", [](CAstrelQT& d) { return d.MoveOriginPosition(); }, {"H:A"}},
        {"QT3",
         "origin mask 2",
         [](CAstrelQT& d) {
             d.SetUseAxisMask(2);
             return d.MoveOriginPosition();
         },
         {"H:B"}},
        {"QT3",
         "origin mask 5",
         [](CAstrelQT& d) {
             d.SetUseAxisMask(5);
             return d.MoveOriginPosition();
         },
         {"H:AC"}},
        {"QT3", "stop", [](CAstrelQT& d) { return d.StopMove(); }, {"L:"}},
        {"QT3", "now", [](CAstrelQT& d) { return d.StopNow(); }, {"E:"}},
    };
    for (const MotionRow& row : rows) {
        FakeRig freshRig;  // outlives the driver
        CAstrelQT fresh;
        freshRig.Attach(fresh);
        ASSERT_EQ(fresh.OpenPort(), 1);
        fresh.SetStageName(row.model);
        ASSERT_EQ(fresh.SelectStage(), 1);
        EXPECT_EQ(row.call(fresh), 1) << row.model << " " << row.what;
        EXPECT_EQ(freshRig.line->TakeLines(), row.lines) << row.model << " " << row.what;
        fresh.ClosePort();
    }
}

TEST_F(QtMotion, CommandsEndWithTheDelimiter) {
    Select("QT3");
    EXPECT_EQ(qt.MoveABS(1, 2, 3), 1);
    EXPECT_EQ(rig.line->TakeWritten(), "AGO:A1B2C3\r\n");
}

TEST_F(QtMotion, StaleInputIsDiscardedFirst) {
    Select("QT3");
    rig.line->Queue("old reply\r\n");
    const int purges = rig.line->purges;
    EXPECT_EQ(qt.StopMove(), 1);
    EXPECT_EQ(rig.line->purges, purges + 1);
    EXPECT_EQ(rig.line->Ready(), 0u);
}

TEST_F(QtMotion, PiecesGoInLetterOrder) {
    Select("QT3");
    ASSERT_EQ(qt.SetAxisNum(2, 1, 0), 1);
    EXPECT_EQ(qt.MoveABS(1, 2, 3), 1);
    EXPECT_EQ(qt.MoveREL(1, 0, 3), 1);
    EXPECT_EQ(qt.MoveJOG(1, 0, -1), 1);
    EXPECT_EQ(Written(), (Lines{"AGO:A3B2C1", "MGO:A3C1", "L:B", "JGO:A-C+"}));
}

TEST_F(QtMotion, EqualLettersComeInTheOrderZYX) {
    Select("QT1");
    ASSERT_EQ(qt.SetAxisNum(0, 0, 0), 1);
    EXPECT_EQ(qt.MoveJOG(1, -1, 1), 1);
    Select("QT3");  // keeps the numbers
    EXPECT_EQ(qt.MoveABS(1, 2, 3), 1);
    EXPECT_EQ(Written(), (Lines{"JGO:A+A-A+", "AGO:A3A2A1"}));
}

TEST_F(QtMotion, Qt1SingleAxisCommandsUseXsLetter) {
    Select("QT1");
    ASSERT_EQ(qt.SetAxisNum(2, 0xFFFF, 0xFFFF), 1);  // X on C, Y on A, Z on B
    EXPECT_EQ(qt.MoveABS(5, 6, 7), 1);
    EXPECT_EQ(qt.SetStagePosition(8, 6, 7), 1);
    Script({"77D"});
    EXPECT_EQ(qt.GetStageStatus(), 1);
    // The status query ignores the reassignment; the reply's field goes to X.
    EXPECT_EQ(Written(), (Lines{"AGO:C5", "R:C8", "Q:A0"}));
    int32_t x = 0;
    Script({"78"});
    EXPECT_EQ(qt.GetStagePosition(&x, nullptr, nullptr), 1);
    EXPECT_EQ(x, 78);
}

TEST_F(QtMotion, Qt1WithoutAnXAxisSendsNothing) {
    Select("QT3");
    ASSERT_EQ(qt.SetAxisNum(0xFFFF, 0, 1), 1);
    Select("QT1");
    EXPECT_EQ(qt.MoveABS(1, 2, 3), 0);
    EXPECT_EQ(qt.SetStagePosition(1, 2, 3), 0);
    EXPECT_EQ(qt.MoveREL(1, 2, 3), 1);  // X carries no piece
    EXPECT_EQ(Written(), (Lines{"MGO:"}));
}

TEST_F(QtMotion, FailedSendsReturnZero) {
    Select("QT3");
    rig.line->failWrite = true;
    EXPECT_EQ(qt.MoveABS(1, 2, 3), 0);
    EXPECT_EQ(qt.MoveREL(1, 2, 3), 0);
    EXPECT_EQ(qt.MoveJOG(0, 1, 1), 0);
    EXPECT_EQ(qt.MoveJOG(1, 1, 1), 0);
    EXPECT_EQ(qt.MoveOriginPosition(), 0);
    EXPECT_EQ(qt.StopMove(), 0);
    EXPECT_EQ(qt.StopNow(), 0);
    EXPECT_EQ(qt.SetStagePosition(0, 0, 0), 0);
    EXPECT_EQ(Written(), Lines{});
    rig.line->failWrite = false;
    qt.ClosePort();
    EXPECT_EQ(qt.MoveABS(1, 2, 3), 0);
}

TEST_F(QtMotion, JogStopsAtTheFirstFailedStop) {
    Select("QT3");
    int writes = 0;
    rig.line->responder = [&](const std::string&) {
        if (++writes == 1) rig.line->failWrite = true;
    };
    EXPECT_EQ(qt.MoveJOG(0, 0, 1), 0);
    EXPECT_EQ(Written(), (Lines{"L:A"}));
}

// ---------------------------------------------------------------- joining pieces

TEST(QtJoin, JoinAxisPieces) {
    const struct {
        const char* x;
        const char* y;
        const char* z;
        const char* joined;
    } rows[] = {
        {"A1", "B2", "C3", "A1B2C3"}, {"C1", "B2", "A3", "A3B2C1"},
        {"B1", "", "A3", "A3B1"},     {"", "", "", ""},
        {"A1", "A2", "A3", "A3A2A1"}, {"B1", "A2", "B3", "A2B3B1"},
    };
    for (const auto& row : rows) {
        char pieces[3][CAstrelQT::kPieceSize] = {};
        std::strcpy(pieces[0], row.x);
        std::strcpy(pieces[1], row.y);
        std::strcpy(pieces[2], row.z);
        char out[32] = "junk";
        EXPECT_TRUE(CAstrelQT::JoinAxisPieces(pieces, out, sizeof out));
        EXPECT_STREQ(out, row.joined);
    }
    char pieces[3][CAstrelQT::kPieceSize] = {"A1", "B2", "C3"};
    char small[6];
    EXPECT_FALSE(CAstrelQT::JoinAxisPieces(pieces, small, sizeof small));
    char exact[7];
    EXPECT_TRUE(CAstrelQT::JoinAxisPieces(pieces, exact, sizeof exact));
    EXPECT_STREQ(exact, "A1B2C3");
}

}  // namespace
}  // namespace astrel::test
