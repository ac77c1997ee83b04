// The makers' models that the export contracts run against: shared by the
// contract tests on pseudo-terminals and the stages on COM ports under Wine.
#pragma once

#include <cstdint>
#include <ostream>

namespace astrel::test {

// A maker's model under test, and where its controller's language differs
// in what a contract can observe.
struct Maker {
    const char* name;  // for test names
    int16_t makerType;
    const char* model;
    int axes;                 // stage axes the model moves, X first
    int32_t limitStatus;      // GetStageStatus of a stage stopped at a limit
    bool busyQuery;           // IsStageRunning and IsStageRunningEx ask the controller
    bool limitQuery;          // IsStopByLimit asks the controller
    bool setsPosition;        // SetOriginNowPos makes the present position 0
    bool garbageStatus;       // a garbage status reply reads as no usable reply
    bool speedRefused;        // SetMoveSpeeds reports a maximum speed of 0 as refused (0)
    const char* speedUnits;   // the catalogue's speed units, joined by commas; "": no catalogue
    const char* acclUnits;    // its acceleration units
    int jogSign = 1;          // the side (+1 plus, -1 minus) a jog of +1 runs to
    int32_t freshStatus = 0;  // GetStageStatus before the first motion since power-on
    int32_t listedAxes = 0;   // the catalogue's axis count of the model when not `axes`
    bool overTcp = false;     // reached through a network serial server (the contracts)
};

inline void PrintTo(const Maker& maker, std::ostream* out) {
    *out << maker.name;
}

inline const Maker kMakers[] = {
    {"QT", 0, "QT3", 3, 4, true, true, true, true, false, "pps,pps,pps,pps", "msec,msec,msec,msec"},
    {"Prior", 1, "ProScan", 3, 0, true, true, true, true, false, "1-100", "1-100", -1},
    {"Suruga", 2, "MSC-10", 3, 4, true, true, true, false, false, "pps", "msec"},
    {"SigmaFC101G", 3, "FC-101G_2", 2, 4, true, true, true, true, true, "pps", "msec"},
    {"SigmaMark102", 3, "Mark-102", 2, 4, true, true, false, true, true, "pps", "msec"},
    {"SigmaSHOT202", 3, "SHOT-202", 2, 4, true, true, true, true, true, "pps", "msec"},
    {"SigmaSHOT204MS", 3, "SHOT-204MS", 2, 4, true, true, true, true, true, "pps", "msec"},
    {"HiroxTH3", 4, "TH3", 3, 7, true, false, true, true, true, "pps,pps,pps", "msec,msec,msec"},
    {"HiroxCT7_2", 4, "CT-7_2", 2, 7, true, false, true, true, true, "pps,pps,pps",
     "msec,msec,msec", 1, 0, 1},
    {"HiroxCT7_1", 4, "CT-7_1", 1, 7, true, false, true, true, true, "pps,pps,pps",
     "msec,msec,msec"},
    {"CP310", 6, "CP-310", 3, 4, true, true, false, false, false, "", "", 1, 2},
    {"CP500", 6, "CP-500", 2, 4, true, true, false, false, false, "", "", 1, 2},
};

}  // namespace astrel::test
