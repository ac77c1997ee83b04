// A QT driver on the in-memory device, for the QT driver tests: the port is
// open, the model chosen by the test, and every status or parameter request
// is answered from a script of replies.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "FakeSerialDevice.h"
#include "makers/CAstrelQT.h"

namespace astrel::test {

class QtFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.Attach(qt);
        ASSERT_EQ(qt.OpenPort(), 1);
        rig.line->responder = [this](const std::string& line) { Respond(line); };
    }

    // Chooses the model as OpenComPort does; the name must be one of the four.
    void Select(const char* name) {
        qt.SetStageName(name);
        ASSERT_EQ(qt.SelectStage(), 1) << name;
    }

    // Each query line (Q:..., P:..R, S:R) takes the next scripted reply; an
    // empty entry, or an exhausted script, leaves the line silent.
    void Script(std::vector<std::string> replies) {
        replies_.assign(replies.begin(), replies.end());
    }

    // Every command line written since the last call.
    std::vector<std::string> Written() { return rig.line->TakeLines(); }

    FakeRig rig;  // outlives the driver, which keeps a pointer to its clock
    CAstrelQT qt;

  private:
    static bool IsQuery(const std::string& line) {
        return line.rfind("Q:", 0) == 0 || line == "S:R" ||
               (line.rfind("P:", 0) == 0 && line.back() == 'R');
    }

    void Respond(const std::string& line) {
        if (!IsQuery(line)) return;
        if (replies_.empty()) return;
        const std::string reply = replies_.front();
        replies_.pop_front();
        if (!reply.empty()) rig.line->Queue(reply + "\r\n");
    }

    std::deque<std::string> replies_;
};

using Lines = std::vector<std::string>;

}  // namespace astrel::test
