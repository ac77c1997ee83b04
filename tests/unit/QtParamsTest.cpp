// The QT driver's axis assignment, mask, speeds and parameters on
// the in-memory device.
#include <string>

#include "QtFixture.h"

namespace astrel::test {
namespace {

constexpr uint16_t kNone = 0xFFFF;

// ---------------------------------------------------------------- SetAxisNum

TEST(QtAxisNum, Table) {
    const struct {
        const char* model;
        uint16_t x, y, z;
        int32_t result;
        int16_t nx, ny, nz;  // numbers afterwards
    } rows[] = {
        {"QT3", 2, kNone, 0, 1, 2, -1, 0},
        {"QT3", 1, 1, kNone, 0, 0, 1, 2},          // duplicates refused
        {"QT3", kNone, kNone, kNone, 0, 0, 1, 2},  // nothing assigned
        {"QT3", 4, 1, 2, 0, 0, 1, 2},              // only 0 to 3 and 0xFFFF
        {"QT3", 0, 1, 0xFFFE, 0, 0, 1, 2},
        {"QT3", 3, 2, 1, 1, 3, 2, 1},
        {"QT2", 0, 1, 2, 1, 0, 1, 2},  // "QT2" can assign Z again
        {"QT2", 1, 0, kNone, 1, 1, 0, -1},
        {"QT1", kNone, kNone, kNone, 1, 0, 1, 2},
        {"QT1", 0, 0, 0, 1, 0, 0, 0},  // duplicates accepted
        {"QT1", 4, 0, 0, 0, 0, 1, 2},
        {"MSC2", kNone, kNone, kNone, 1, 0, 1, 2},
        {"MSC2", kNone, 0, kNone, 1, 1, 0, 2},
        {"MSC2", 3, kNone, kNone, 1, 3, 0, 1},
        {"MSC2", kNone, 1, 0, 1, 2, 1, 0},
    };
    for (const auto& row : rows) {
        CAstrelQT qt;
        qt.SetStageName(row.model);
        ASSERT_EQ(qt.SelectStage(), 1);
        const int16_t z0 = qt.AxisNumber(CAstrelQT::kZ);
        EXPECT_EQ(qt.SetAxisNum(row.x, row.y, row.z), row.result)
            << row.model << " " << row.x << "," << row.y << "," << row.z;
        EXPECT_EQ(qt.AxisNumber(CAstrelQT::kX), row.nx) << row.model;
        EXPECT_EQ(qt.AxisNumber(CAstrelQT::kY), row.ny) << row.model;
        // A refused call on "QT2" keeps Z unassigned.
        EXPECT_EQ(qt.AxisNumber(CAstrelQT::kZ), row.result == 0 ? z0 : row.nz) << row.model;
    }
}

using QtParams = QtFixture;

TEST_F(QtParams, Qt3ReassignmentResortsTheStatusQuery) {
    Select("QT3");
    ASSERT_EQ(qt.SetAxisNum(2, 1, 0), 1);
    Script({"10,20,30D"});
    int32_t x = 0, y = 0, z = 0;
    EXPECT_EQ(qt.GetStagePosition(&x, &y, &z), 1);
    EXPECT_EQ(Written(), (Lines{"Q:A0B0C0"}));
    EXPECT_EQ(z, 10);  // the first field is controller axis A, which carries Z
    EXPECT_EQ(y, 20);
    EXPECT_EQ(x, 30);
    EXPECT_EQ(qt.AxisStatusLetter(2), 'D');
}

TEST_F(QtParams, Qt3UnassignedAxisEndsTheWalk) {
    Select("QT3");
    ASSERT_EQ(qt.SetAxisNum(1, kNone, 0), 1);  // order Z(A), X(B), Y(none)
    Script({"5,6,7L"});
    int32_t x = 0, y = -3, z = 0;
    EXPECT_EQ(qt.GetStagePosition(&x, &y, &z), 1);
    EXPECT_EQ(Written(), (Lines{"Q:A0B0"}));
    EXPECT_EQ(z, 5);
    EXPECT_EQ(x, 6);
    EXPECT_EQ(y, -3);                  // unassigned: untouched
    EXPECT_EQ(qt.AxisPosition(2), 0);  // the third field had no axis to go to
}

TEST_F(QtParams, Msc2AutomaticNumbersKeepTheOrder) {
    Select("MSC2");
    ASSERT_EQ(qt.SetAxisNum(kNone, 0, kNone), 1);  // X=1, Y=0, Z=2; order still X, Y, Z
    Script({"11,22D"});
    int32_t x = 0, y = 0;
    EXPECT_EQ(qt.GetStagePosition(&x, &y, nullptr), 1);
    EXPECT_EQ(x, 11);  // the first field follows the unsorted order: X, on B
    EXPECT_EQ(y, 22);
    EXPECT_EQ(qt.AxisPosition(1), 11);
    EXPECT_EQ(qt.AxisStatusLetter(0), 'D');
    EXPECT_EQ(qt.MoveABS(1, 2, 3), 1);
    EXPECT_EQ(Written(), (Lines{"Q:0", "AGO:A2B1"}));
}

TEST_F(QtParams, Qt1IgnoresReassignmentInItsStatusQuery) {
    Select("QT1");
    ASSERT_EQ(qt.SetAxisNum(0, 0, 0), 1);
    EXPECT_EQ(qt.MoveREL(1, 2, 3), 1);
    EXPECT_EQ(qt.MoveOriginPosition(), 1);
    Script({"4"});
    EXPECT_EQ(qt.GetStageStatus(), 0);
    EXPECT_EQ(Written(), (Lines{"MGO:A1", "H:A", "Q:A0"}));
}

// ---------------------------------------------------------------- use-axis mask

TEST(QtMask, OnlyOneToSevenIsStored) {
    CAstrelQT qt;
    EXPECT_EQ(qt.GetUseAxisMask(), 7);
    const struct {
        int32_t mask;
        int32_t result;
        int32_t after;
    } rows[] = {{0, 0, 7}, {8, 0, 7},       {-1, 0, 7},      {2, 1, 2},         {7, 1, 7},
                {1, 1, 1}, {0x10000, 0, 1}, {0x10005, 1, 5}, {0x7FFF0003, 1, 3}};
    for (const auto& row : rows) {
        EXPECT_EQ(qt.SetUseAxisMask(row.mask), row.result) << row.mask;
        EXPECT_EQ(qt.GetUseAxisMask(), row.after) << row.mask;
    }
}

// ---------------------------------------------------------------- speeds

TEST_F(QtParams, SetMoveSpeeds) {
    Select("QT3");
    EXPECT_EQ(qt.SetMoveSpeeds(1, 100, 2000, 300), 1);
    EXPECT_EQ(qt.SetMoveSpeeds(0, -1, 0, 2147483647), 1);
    EXPECT_EQ(qt.SetMoveSpeeds(3, 1, 2, 3), 0);
    EXPECT_EQ(qt.SetMoveSpeeds(-1, 1, 2, 3), 0);
    EXPECT_EQ(Written(), (Lines{"D:B100,2000,300", "D:A-1,0,2147483647"}));
    Select("QT2");
    EXPECT_EQ(qt.SetMoveSpeeds(2, 1, 2, 3), 0);  // Z unassigned
    EXPECT_EQ(Written(), Lines{});
    ASSERT_EQ(qt.SetAxisNum(3, 0, 1), 1);
    EXPECT_EQ(qt.SetMoveSpeeds(2, 1, 2, 3), 1);  // the model is not consulted
    EXPECT_EQ(qt.SetMoveSpeeds(0, 4, 5, 6), 1);
    EXPECT_EQ(Written(), (Lines{"D:B1,2,3", "D:D4,5,6"}));
}

TEST_F(QtParams, SetAxisSpeedParam) {
    Select("QT3");
    EXPECT_EQ(qt.SetAxisSpeedParam(2, 10, -20, 30), 1);
    EXPECT_EQ(qt.SetAxisSpeedParam(5, 1, 2, 3), 0);
    EXPECT_EQ(Written(), (Lines{"P:08C10", "P:09C-20", "P:10C30"}));
    // The second send fails: the first stays sent, the third is not tried.
    int writes = 0;
    rig.line->responder = [&](const std::string&) {
        if (++writes == 1) rig.line->failWrite = true;
    };
    EXPECT_EQ(qt.SetAxisSpeedParam(0, 1, 2, 3), 0);
    EXPECT_EQ(Written(), (Lines{"P:08A1"}));
}

// ---------------------------------------------------------------- parameters

TEST_F(QtParams, ReadParameter) {
    Select("QT3");
    Script({"0,1,0"});
    char reply[CAstrelQT::kReplySize] = "old";
    EXPECT_EQ(qt.ReadParameter(18, reply), 1);
    EXPECT_STREQ(reply, "0,1,0");
    Script({"x"});
    EXPECT_EQ(qt.ReadParameter(5, nullptr), 1);
    EXPECT_EQ(Written(), (Lines{"P:18R", "P:05R"}));
    // No resend: a silent controller costs one time-out and gives 6.
    Script({});
    EXPECT_EQ(qt.ReadParameter(7, reply), 6);
    EXPECT_STREQ(reply, "0,1,0");
    EXPECT_EQ(Written(), (Lines{"P:07R"}));
    // A bare delimiter reads as an empty reply.
    rig.line->responder = [this](const std::string&) { rig.line->Queue("\r\n"); };
    EXPECT_EQ(qt.ReadParameter(8, reply), 1);
    EXPECT_STREQ(reply, "");
    qt.ClosePort();
    EXPECT_EQ(qt.ReadParameter(18, reply), 0);
}

struct DirectionRow {
    const char* model;
    int32_t axis;
    int32_t direction;
    const char* reply;  // "": the controller stays silent
    const char* write;  // the P:18 command
};

TEST(QtDirection, Table) {
    const DirectionRow rows[] = {
        {"QT3", 1, -1, "0,1,0", "P:18A0B1C0"},
        {"QT3", 1, -1, "", "P:18A-1B1C-1"},
        {"QT3", 0, -1, "0,0,0", "P:18A1B0C0"},
        {"QT3", 2, 1, "1,1,1", "P:18A1B1C0"},
        {"QT3", 2, 0, "1,1,1", "P:18A1B1C0"},  // any direction but -1 means 0
        {"QT3", 0, -2, "1,1,1", "P:18A0B1C1"},
        {"QT3", 1, 1, "1", "P:18A1B0C-1"},         // fields the reply lacks stay -1
        {"QT3", 1, -1, ",,0,,1,", "P:18A0B1C-1"},  // empty fields skipped
        {"QT3", 0, -1, "x,7y,99999999999", "P:18A1B7C2147483647"},
        {"QT2", 1, -1, "0,0,0", "P:18A0B1"},
        {"MSC2", 0, -1, "0,0", "P:18A1B0"},
        {"QT1", 0, -1, "0,0,0", "P:18A1"},
        {"QT1", 1, -1, "0,0,0", "P:18A0"},  // "QT1" writes X's value only
    };
    for (const DirectionRow& row : rows) {
        FakeRig rig;
        CAstrelQT qt;
        rig.Attach(qt);
        ASSERT_EQ(qt.OpenPort(), 1);
        qt.SetStageName(row.model);
        ASSERT_EQ(qt.SelectStage(), 1);
        const std::string reply = row.reply;
        rig.line->responder = [&](const std::string& line) {
            if (line == "P:18R" && !reply.empty()) rig.line->Queue(reply + "\r\n");
        };
        const uint64_t slept = rig.clock.slept_;
        EXPECT_EQ(qt.SetStageDirection(row.axis, row.direction), 1) << row.model << row.reply;
        EXPECT_EQ(rig.line->TakeLines(), (Lines{"P:18R", row.write})) << row.model << row.reply;
        EXPECT_EQ(rig.clock.slept_ - slept, 400u);  // two pauses on the port's clock
        qt.ClosePort();
    }
}

TEST_F(QtParams, SetStageDirectionRefusals) {
    Select("QT3");
    EXPECT_EQ(qt.SetStageDirection(3, -1), 0);
    EXPECT_EQ(qt.SetStageDirection(-1, -1), 0);
    Select("QT2");
    EXPECT_EQ(qt.SetStageDirection(2, -1), 0);  // Z unassigned
    EXPECT_EQ(Written(), Lines{});
    EXPECT_EQ(rig.clock.slept_, 0u);
}

TEST_F(QtParams, SetStageDirectionWithAClosedPortReturnsOne) {
    Select("QT3");
    qt.ClosePort();
    EXPECT_EQ(qt.SetStageDirection(0, -1), 1);
    EXPECT_EQ(rig.line->TakeLines(), Lines{});
    EXPECT_EQ(rig.clock.slept_, 0u);
}

TEST_F(QtParams, SetStageDirectionFailedWriteReturnsZero) {
    Select("QT3");
    rig.line->responder = [this](const std::string&) {
        rig.line->Queue("0,0,0\r\n");
        rig.line->failWrite = true;  // after the request
    };
    EXPECT_EQ(qt.SetStageDirection(0, -1), 0);
    EXPECT_EQ(Written(), (Lines{"P:18R"}));
    EXPECT_EQ(rig.clock.slept_, 200u);  // only the first pause
}

TEST_F(QtParams, SetStageDirectionFollowsTheAssignment) {
    Select("QT3");
    ASSERT_EQ(qt.SetAxisNum(2, kNone, 0), 1);  // X on C, Z on A
    Script({"0,0,0,0"});
    EXPECT_EQ(qt.SetStageDirection(0, -1), 1);
    EXPECT_EQ(Written(), (Lines{"P:18R", "P:18A0C1"}));
}

// ---------------------------------------------------------------- operations no export reaches

TEST_F(QtParams, WriteParameter) {
    Select("QT3");
    const struct {
        int16_t number;
        const char* value;
        Lines lines;
    } rows[] = {
        {52, "abc", {"P:52,abc", "F:", "RESTA:"}},
        {51, "1", {"P:51,1", "F:", "RESTA:"}},
        {53, "1", {"P:53,1", "F:", "RESTA:"}},
        {50, "1", {"P:50,1"}},
        {54, "1", {"P:54,1"}},
        {7, nullptr, {"P:07,"}},
        {123, "x", {"P:123,x"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(qt.WriteParameter(row.number, row.value), 1) << row.number;
        EXPECT_EQ(Written(), row.lines) << row.number;
    }
    const std::string tooLong(300, '1');
    EXPECT_EQ(qt.WriteParameter(1, tooLong.c_str()), 0);
    EXPECT_EQ(Written(), Lines{});
    int writes = 0;
    rig.line->responder = [&](const std::string&) {
        if (++writes == 2) rig.line->failWrite = true;
    };
    EXPECT_EQ(qt.WriteParameter(52, "1"), 0);
    EXPECT_EQ(Written(), (Lines{"P:52,1", "F:"}));
}

TEST_F(QtParams, ReadSpeedSelect) {
    Select("QT3");
    uint16_t x = 0, y = 0, z = 0;
    Script({"3,4,5"});
    EXPECT_EQ(qt.ReadSpeedSelect(&x, &y, &z), 1);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
    EXPECT_EQ(z, 5);
    Script({"3"});
    EXPECT_EQ(qt.ReadSpeedSelect(&x, &y, nullptr), 1);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 0xFFFF);    // no field reached it
    Script({"65537,-2,x"});  // numbers wrap into the 16-bit outputs
    EXPECT_EQ(qt.ReadSpeedSelect(&x, &y, &z), 1);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 0xFFFE);
    EXPECT_EQ(z, 0xFFFF);  // no number in its field
    EXPECT_EQ(Written(), (Lines{"S:R", "S:R", "S:R"}));
    Select("QT2");
    Script({"1,2,3"});
    EXPECT_EQ(qt.ReadSpeedSelect(&x, &y, &z), 1);
    EXPECT_EQ(z, 0xFFFF);  // Z unassigned
    Script({});
    x = 9;
    EXPECT_EQ(qt.ReadSpeedSelect(&x, nullptr, nullptr), 6);
    EXPECT_EQ(x, 9);
    rig.line->failWrite = true;
    EXPECT_EQ(qt.ReadSpeedSelect(&x, nullptr, nullptr), 0);
}

TEST_F(QtParams, SetSpeedSelect) {
    Select("QT3");
    EXPECT_EQ(qt.SetSpeedSelect(1, 12, 16), 1);
    EXPECT_EQ(qt.SetSpeedSelect(0, 15, 7), 1);
    Select("QT1");
    EXPECT_EQ(qt.SetSpeedSelect(1, 2, 3), 1);
    Select("QT2");
    EXPECT_EQ(qt.SetSpeedSelect(1, 2, 3), 1);
    EXPECT_EQ(qt.SetSpeedSelect(0xFFFF, 99, 3), 1);
    EXPECT_EQ(Written(), (Lines{"S:A01B12", "S:A00B15C07", "S:A01", "S:A01B02", "S:"}));
}

TEST_F(QtParams, MoveABSXY) {
    Select("QT3");
    EXPECT_EQ(qt.MoveABSXY(1, -2), 1);
    ASSERT_EQ(qt.SetAxisNum(kNone, 0, 1), 1);
    EXPECT_EQ(qt.MoveABSXY(1, -2), 1);  // one unassigned axis: X adds nothing
    ASSERT_EQ(qt.SetAxisNum(0, kNone, kNone), 1);
    EXPECT_EQ(qt.MoveABSXY(1, 2), 0);  // two unassigned
    EXPECT_EQ(Written(), (Lines{"BGO:A1B-2", "BGO:A-2"}));
    Select("QT1");
    EXPECT_EQ(qt.MoveABSXY(1, 2), 0);
    Select("MSC2");
    ASSERT_EQ(qt.SetAxisNum(1, 0, 2), 1);
    EXPECT_EQ(qt.MoveABSXY(1, 2), 1);
    EXPECT_EQ(Written(), (Lines{"BGO:A2B1"}));
}

}  // namespace
}  // namespace astrel::test
