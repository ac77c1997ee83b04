// The traffic trace ASTREL_TRACE turns on, read through a simulated stage.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "SimStage.h"
#include "StageHandles.h"

namespace astrel::test {
namespace {

using Trace = NoHandlesTaken;

TEST_F(Trace, FileGetsEachLineWrittenAndReadWithHandleAndPortAndNotesATimeOut) {
    const std::string path = ::testing::TempDir() + "astrel-trace-test.log";
    std::remove(path.c_str());
    ::setenv("ASTREL_TRACE", path.c_str(), 1);
    SimStage stage(0, "QT3");
    ::unsetenv("ASTREL_TRACE");
    ASSERT_EQ(GetStageStatus(stage.h), 0);
    stage.SetFault(sim::Fault::kSilent);
    GetStageStatus(stage.h);
    std::ifstream in(path);
    const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string port = " handle " + std::to_string(stage.h) + " " + stage.Path();
    for (const std::string& part : {port + " -> \"Q:A0B0C0\\r\\n\"", port + " <- \"",
                                    std::string("(time-out: no reply within 300 ms)")}) {
        EXPECT_NE(log.find(part), std::string::npos) << part << " in:\n" << log;
    }
}

}  // namespace
}  // namespace astrel::test
